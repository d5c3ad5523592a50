// An InstallView that shows nothing and keeps every call in order, for installations run
// without a window.
#pragma once

#include "product/install_view.h"

#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

struct ViewCall {
    enum Kind { StatusText, StatusPath, Report, Progress, ProgressShown, Pump, WaitCursorOn, WaitCursorOff };
    Kind kind = StatusText;
    std::wstring text;     // StatusText, StatusPath, Report
    bool heading = false;  // Report
    int value = 0;         // Progress: the percent; ProgressShown: 1 when shown
    bool operator==(const ViewCall&) const = default;
};

// One AppendReport call.
struct ReportCall {
    std::wstring text;
    bool heading = false;
    bool operator==(const ReportCall&) const = default;
};

class RecordingInstallView : public InstallView {
public:
    explicit RecordingInstallView(HWND owner = nullptr) : owner_(owner) {}

    void SetStatusText(const std::wstring& text) override { calls.push_back({ViewCall::StatusText, text}); }
    void SetStatusPath(const std::wstring& text) override { calls.push_back({ViewCall::StatusPath, text}); }
    void AppendReport(const std::wstring& text, bool heading) override
    {
        calls.push_back({ViewCall::Report, text, heading});
    }
    void SetProgress(int percent) override { calls.push_back({ViewCall::Progress, {}, false, percent}); }
    void ShowProgress(bool visible) override { calls.push_back({ViewCall::ProgressShown, {}, false, visible ? 1 : 0}); }
    void PumpMessages() override { calls.push_back({ViewCall::Pump}); }
    HWND OwnerWindow() const override { return owner_; }
    void BeginWaitCursor() override { calls.push_back({ViewCall::WaitCursorOn}); }
    void EndWaitCursor() override { calls.push_back({ViewCall::WaitCursorOff}); }

    std::vector<ViewCall> calls;

    // The AppendReport calls, in order.
    std::vector<ReportCall> ReportCalls() const;
    // The last text the status line was given, plain or shortened; empty when none.
    std::wstring StatusLine() const;
    // The calls of one kind.
    std::vector<ViewCall> CallsOf(ViewCall::Kind kind) const;
    std::size_t Count(ViewCall::Kind kind) const { return CallsOf(kind).size(); }

private:
    HWND owner_;
};

void PrintTo(const ReportCall& call, std::ostream* out);
void PrintTo(const ViewCall& call, std::ostream* out);

} // namespace testing_support
