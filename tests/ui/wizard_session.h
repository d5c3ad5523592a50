// Runs the whole wizard modally on the test's thread while a user thread drives it by window
// messages, as a person would, with a fake installation in place of the real one.
#pragma once

#include "install/install_state.h"
#include "ui/pages.h"

#include "product/language_state_guard.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace wizard_testing {

// The default folders of a fresh machine under Wine.
inline const std::wstring kDefaultInstallFolder = L"C:\\Program Files\\Korvane\\Tavelo 7";
inline const std::wstring kDefaultStartMenuFolder =
    L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Korvane\\Tavelo 7";

// The state start-up hands to the wizard on a machine without the product.
InstallState FreshState(PreviousInstallStatus status = PreviousInstallStatus::NotInstalled);

// An installation that writes a line into the report (the name of the attempt) and
// succeeds or fails; it counts its runs.
struct FakeInstallation {
    bool succeed = true;
    int runs = 0;
    std::function<void(InstallView&)> during;   // runs in the middle of the installation

    Installation Get();
};

// What start-up gives the process before the wizard: the product code, English as the
// language and the application's name in it. Language and name are put back afterwards.
class EnglishWizardEnvironment {
public:
    EnglishWizardEnvironment();

private:
    LanguageStateGuard guard_;
};

// The fixture of a wizard run over a fresh machine in English with a fake installation.
class WizardTest : public testing::Test {
protected:
    EnglishWizardEnvironment english_;
    InstallState state_ = FreshState();
    FakeInstallation installation_;
};

// Shows the wizard modally on this thread while user(frame) runs on another thread. What the
// user leaves open is closed afterwards (every question answered Yes). Returns DoModal's result.
INT_PTR RunWizard(InstallState& state, Installation installation, const std::function<void(HWND frame)>& user);

// The text of a control of the frame, such as its buttons.
std::wstring ControlText(HWND frame, int id);
// The page the frame shows (0 to 5), -1 when none is visible.
int VisiblePage(HWND frame);
// The window of a page (0 to 5), shown or not.
HWND PageWindowOf(HWND frame, int page);
// The text of the control with that id on page (by the page's own window), visible or not.
std::wstring PageControlText(HWND frame, int page, int id);
// The report of the progress page.
std::wstring ReportText(HWND frame);
using testing_support::Lines;

// Presses a button and waits for the frame to handle it.
void Press(HWND frame, int id);
// Presses the buttons in turn; returns the page shown after each press.
std::vector<int> Press(HWND frame, std::initializer_list<int> ids);
// Waits for a message box of this process and returns it; fails the test when none comes.
HWND ExpectMessageBox();
// Answers a message box with one of its buttons.
void Answer(HWND box, int button);

// Saves a picture of the window (in front of every other window) as build/screenshots/name.
void SaveWindowPicture(HWND window, const std::wstring& name);

} // namespace wizard_testing
