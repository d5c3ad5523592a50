// Drives a Windows program from another process, as a user would: finds its windows,
// reads their texts, presses their buttons and answers its message boxes, all by window
// messages. Tests and the run command use it on the real installer under Wine and Xvfb.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace driver {

using std::chrono::milliseconds;
inline constexpr milliseconds kDefaultWait{30000};

// A program started by the driver.
class Process {
public:
    // Starts the program with the command line "program" arguments, in the given working
    // folder (the program's own folder when empty). Throws std::runtime_error on failure.
    static Process Start(const std::wstring& program, const std::wstring& arguments = L"",
                         const std::wstring& folder = L"");

    DWORD id() const { return id_; }
    bool Running() const;
    // The exit code once the program has ended within the time, else nothing.
    std::optional<DWORD> WaitForExit(milliseconds wait = kDefaultWait) const;
    // Ends the program at once if it still runs.
    void Kill() const;

private:
    kv::unique_handle process_;
    DWORD id_ = 0;
};

// Visible top-level windows of a process, in z-order.
std::vector<HWND> TopLevelWindows(DWORD processId);

// Waits until a visible top-level window of the process satisfies the test; null when
// none did within the time.
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& test, milliseconds wait = kDefaultWait);

// Waits for a visible dialog box (class "#32770") of the process whose title contains the
// text; the newest one in z-order wins.
HWND WaitForDialog(DWORD processId, const std::wstring& titlePart, milliseconds wait = kDefaultWait);

// Whether a window is a message box: a dialog whose first control with the id 0xFFFF is a
// static text (in other dialogs that id marks pictures and fixed labels).
bool IsMessageBox(HWND window);
// Waits for a message box of the process.
HWND WaitForMessageBox(DWORD processId, milliseconds wait = kDefaultWait);
// The text of a message box.
std::wstring MessageBoxText(HWND box);
// The ids of the buttons of a message box (IDOK, IDCANCEL, IDYES ...), in window order.
std::vector<int> MessageBoxButtons(HWND box);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
bool IsEnabled(HWND window);
bool IsVisible(HWND window);

// The visible control with that id at any depth below root (pages are child dialogs of
// the frame); null when there is none.
HWND FindControl(HWND root, int id);
// Text of the visible control with that id below root; throws when there is none.
std::wstring ControlText(HWND root, int id);

// Presses a button as a click would: the owner gets BN_CLICKED. Posted, so that a
// modal box that the click opens does not block the driver.
void Click(HWND button);
// Presses the visible button with that id below root; throws when it is missing or disabled.
void ClickControl(HWND root, int id);
// Waits until the visible control with that id below root is enabled (or disabled).
bool WaitForEnabled(HWND root, int id, bool enabled = true, milliseconds wait = kDefaultWait);
// Waits until the control's text satisfies the test.
bool WaitForText(HWND root, int id, const std::function<bool(const std::wstring&)>& test,
                 milliseconds wait = kDefaultWait);

// Sets or clears a check box or selects a radio button as a click would.
void SetChecked(HWND root, int id, bool checked);
bool IsChecked(HWND root, int id);
// Replaces the text of an edit box.
void SetEditText(HWND root, int id, const std::wstring& text);

// Items of a combo box or extended combo box: their texts, and the selected index.
std::vector<std::wstring> ComboItems(HWND combo);
int ComboSelection(HWND combo);
// Selects an item as the user would: the owner gets CBN_SELCHANGE.
void SelectComboItem(HWND combo, int index);

// The window as the screen shows it, saved as a 24-bit PNG file.
void SaveScreenshot(HWND window, const std::wstring& path);

// Lets a posted click take effect before the next look at the windows.
void Settle(milliseconds wait = milliseconds(150));

} // namespace driver
