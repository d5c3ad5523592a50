// What the installation shows while it runs: the narrow interface through which the
// install procedure and the install handler reach the progress page. The wizard's page
// implements it with its controls; tests and window-free runs record the calls.
#pragma once

#include "product/texts.h"

#include <windows.h>

#include <string>

class InstallView {
public:
    virtual ~InstallView() = default;

    // The status line shows the text.
    virtual void SetStatusText(const std::wstring& text) = 0;
    // The status line shows a text that names a path; the page shortens it with an
    // ellipsis to fit its width.
    virtual void SetStatusPath(const std::wstring& text) = 0;
    // Adds text at the end of the running report, without a line end. With heading true,
    // or with an empty text, adds a full-width rule line with the text in its middle.
    virtual void AppendReport(const std::wstring& text, bool heading) = 0;
    // The progress bar: its position (0 to 100) and whether it is shown.
    virtual void SetProgress(int percent) = 0;
    virtual void ShowProgress(bool visible) = 0;
    // Hands the messages that wait for the user-interface thread to their windows, so that
    // the page repaints while the work goes on.
    virtual void PumpMessages() = 0;
    // The window that owns what the installation shows of its own (the DirectX setup).
    virtual HWND OwnerWindow() const = 0;
    // The hourglass for the duration of the installation.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

// The second half of a step's report line: "OK" or "Failed" and the line end.
inline void ReportOutcome(InstallView& view, bool succeeded)
{
    view.AppendReport(LoadText(succeeded ? kTextOk : kTextFailed) + L"\r\n", false);
}
