// Starting the real installer under Wine and looking at what it shows.
#pragma once

#include "tools/test_driver/window_driver.h"

#include <windows.h>

#include <optional>
#include <string>

namespace startup_testing {

// The installer's text of an offset in a language block (base 1000 French, 2000 English,
// 6000 Italian ...), read from the built installer's own resources.
std::wstring InstallerText(int base, int offset);

// The wizard's title in a language: text 0 of its block, an EN DASH, the product.
std::wstring WizardTitle(int base);

// Starts the built installer.
driver::Process StartInstaller(const std::wstring& program = L"");

// The wizard window of a started installer; null when none appeared.
HWND WaitForWizard(const driver::Process& installer);

// Ends the wizard with Exit, confirming when it asks; the installer's exit code.
std::optional<DWORD> CloseWizard(const driver::Process& installer, HWND wizard);

// The demo product, started as a user would, until it is closed as a user would close it
// (its instance unit is given back only then).
class RunningProduct {
public:
    explicit RunningProduct(const std::wstring& program = L"");
    ~RunningProduct() { Close(); }
    RunningProduct(const RunningProduct&) = delete;
    RunningProduct& operator=(const RunningProduct&) = delete;

    bool Started() const { return window_ != nullptr; }
    void Close();

private:
    driver::Process process_;
    HWND window_ = nullptr;
};

// HKEY_LOCAL_MACHINE values the start-up reads.
void SetInstalledProgram(const std::wstring& path);
void SetSavedLanguage(DWORD index);

} // namespace startup_testing
