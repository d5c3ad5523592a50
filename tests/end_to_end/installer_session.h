// The real installer as its users meet it: started as a program of its own and led through
// its wizard by window messages, as a person would with the mouse.
#pragma once

#include "support/test_support.h"
#include "tools/test_driver/window_driver.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace end_to_end {

// The status line of the progress page once an installation has ended well.
inline const std::wstring kInstalledStatus = L"Click on 'Next' to continue.";

class InstallerSession {
public:
    // Starts the program (the built installer when empty) and waits for its wizard, unless
    // told not to (when a question comes first).
    explicit InstallerSession(const std::wstring& program = L"", bool awaitWizard = true);

    // Waits for the wizard; false when none appeared.
    bool AwaitWizard();

    bool Opened() const { return window_ != nullptr; }
    HWND window() const { return window_; }
    const driver::Process& process() const { return process_; }

    // The text of the visible control with that id, and whether it is enabled.
    std::wstring Text(int id) const;
    bool Enabled(int id) const;
    // Presses a button of the wizard and lets the click take effect.
    void Press(int id);

    // From the start page to the progress page in quick mode.
    void QuickModeToProgressPage();
    // From the start page to the progress page in advanced mode, into that folder, with the
    // shortcut options as given.
    void AdvancedModeToProgressPage(const std::wstring& folder, bool menuShortcuts, bool desktopShortcut);

    // Presses Next on the progress page and waits for the installation to end; true when
    // its status line says it ended well.
    bool Install();
    // The lines of the report; a rule line shows as "<rule>", the options' title rule as
    // "<rule Installation Options>".
    std::vector<std::wstring> Report() const;

    // Next to the final page, then Exit: the installer's exit code.
    std::optional<DWORD> Finish();
    // Exit: the text of the question it asks (empty when it asks none), answered Yes; the
    // installer's exit code is left in exitCode.
    std::wstring Leave(std::optional<DWORD>& exitCode);

private:
    driver::Process process_;
    HWND window_ = nullptr;
};

using testing_support::Lines;

// A path as the report shows it: quoted when it holds a space.
std::wstring Quoted(const std::wstring& path);

// The temporary folder an installation used, named by the report line of its first file
// (the DirectX setup library); empty when there is no such line.
std::wstring TemporaryFolderOf(const std::vector<std::wstring>& report);

} // namespace end_to_end
