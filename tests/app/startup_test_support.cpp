#include "startup_test_support.h"

#include "support/test_support.h"
#include "support/unique_resource.h"

#include <stdexcept>

namespace startup_testing {

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

void SetValue(const wchar_t* keyName, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    kv::unique_hkey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr)
            != ERROR_SUCCESS
        || ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
        throw std::runtime_error("cannot write the registry value");
}

} // namespace

std::wstring InstallerText(int base, int offset)
{
    kv::unique_module module(::LoadLibraryExW(testing_support::BuiltFile(L"TAVELO_INSTALLER").c_str(), nullptr,
                                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module.get(), static_cast<UINT>(base + offset), reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

std::wstring WizardTitle(int base)
{
    return InstallerText(base, 0) + L" \u2013 Tavelo 7.01j";
}

driver::Process StartInstaller(const std::wstring& program)
{
    return driver::Process::Start(program.empty() ? testing_support::BuiltFile(L"TAVELO_INSTALLER") : program);
}

HWND WaitForWizard(const driver::Process& installer)
{
    return driver::WaitForDialog(installer.id(), L"Tavelo 7.01j", driver::milliseconds(60000));
}

std::optional<DWORD> CloseWizard(const driver::Process& installer, HWND wizard)
{
    driver::ClickControl(wizard, IDCANCEL);
    if (HWND question = driver::WaitForMessageBox(installer.id(), driver::milliseconds(3000)))
        driver::ClickControl(question, IDYES);
    return installer.WaitForExit(driver::milliseconds(30000));
}

RunningProduct::RunningProduct(const std::wstring& program)
    : process_(driver::Process::Start(program.empty() ? testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM") : program))
{
    window_ = driver::WaitForWindow(process_.id(), [](HWND) { return true; }, driver::milliseconds(30000));
}

void RunningProduct::Close()
{
    if (process_.Running()) {
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
        if (!process_.WaitForExit(driver::milliseconds(20000)))
            process_.Kill();
    }
}

void SetInstalledProgram(const std::wstring& path)
{
    SetValue(L"Software\\Korvane", L"Tavelo 7 Path", REG_SZ, path.c_str(),
             static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

void SetSavedLanguage(DWORD index)
{
    SetValue(kUninstallKey, L"KvLanguage", REG_DWORD, &index, sizeof index);
}

} // namespace startup_testing
