#include "install/uninstall_registration.h"

#include "actionlog/action_log.h"
#include "actionlog/journal.h"
#include "framework/wait_cursor.h"
#include "payload/answering_wait.h"
#include "product/languages.h"
#include "product/product_identity.h"
#include "support/strings.h"
#include "support/unique_resource.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace {

// A string value with its terminating NUL.
bool SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    const DWORD size = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), size) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value)
           == ERROR_SUCCESS;
}

} // namespace

bool WriteUninstallRegistration(const std::wstring& mainProgram, const std::wstring& uninstaller, ActionLog& log)
{
    kv::unique_hkey uninstallKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_ALL_ACCESS, uninstallKey.put()) != ERROR_SUCCESS)
        return false;
    kv::unique_hkey productKey;
    if (log.journal
        && ::RegOpenKeyExW(uninstallKey.get(), ProductRegistryName().c_str(), 0, KEY_READ, productKey.put())
               != ERROR_SUCCESS)
        // A new entry is in the journal before it is made, so that an installation cut short
        // loses it at the next start; an existing one is saved by AddUninstallKey before it changes.
        log.journal->Record(ActionRecord{ActionKind::UninstallKey, {}, {}, false, -1});
    productKey.reset();
    DWORD disposition = 0;
    if (::RegCreateKeyExW(uninstallKey.get(), ProductRegistryName().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, productKey.put(), &disposition)
        != ERROR_SUCCESS)
        return false;
    // An entry that was there already is saved first, so that a rollback can put it back.
    log.AddUninstallKey(disposition == REG_OPENED_EXISTING_KEY ? productKey.get() : nullptr);

    const HKEY key = productKey.get();
    bool result = SetString(key, L"DisplayName", ProductDisplayName(true));
    result = SetString(key, L"UninstallString", uninstaller) && result;
    SetString(key, L"DisplayIcon", mainProgram + L",0");
    SetString(key, L"DisplayVersion", product::kFileVersionText);
    SetString(key, L"Publisher", product::kMakerName);
    SetString(key, L"URLInfoAbout", product::kMakerWebSite);
    SetString(key, L"HelpLink", product::kMakerWebSite);
    SetString(key, L"URLUpdateInfo", product::kMakerWebSite);
    SetString(key, L"HelpTelephone", product::kMakerTelephone);
    // The system's list of programs then offers removal only.
    SetNumber(key, L"NoModify", 1);
    SetNumber(key, L"NoRepair", 1);
    // The next installer preselects this language.
    SetNumber(key, L"KvLanguage", static_cast<DWORD>(CurrentLanguage()));
    productKey.reset();
    log.Complete(result);
    return result;
}

bool WriteInstallationPathValue(const std::wstring& mainProgram)
{
    kv::unique_hkey makerKey;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMakerKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, makerKey.put(), &disposition)
        != ERROR_SUCCESS)
        return false;
    if (SetString(makerKey.get(), InstallationPathValueName().c_str(), mainProgram))
        return true;
    // The installation is rolled back: a maker key made only for this value goes with it.
    makerKey.reset();
    if (disposition == REG_CREATED_NEW_KEY)
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMakerKeyPath);
    return false;
}

std::wstring RegistrationCommandLine(const std::wstring& mainProgram)
{
    return kv::quoted_path(mainProgram) + L" /Register /Background";
}

RegistrationRun RunProductRegistration(const std::wstring& mainProgram, ApplicationMutex& mutex, InstallView* view)
{
    std::wstring commandLine = RegistrationCommandLine(mainProgram);
    wchar_t workingFolder[MAX_PATH];
    ::lstrcpynW(workingFolder, mainProgram.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(workingFolder);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};

    DWORD exitCode = 0;
    {
        // The product may itself check for a running installer.
        const ApplicationMutexRelease released(mutex);
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                              workingFolder, &startup, &process))
            return {};
        const kv::unique_handle processHandle(process.hProcess);
        const kv::unique_handle threadHandle(process.hThread);
        WaitAnswering(processHandle.get(), view);
        ::GetExitCodeProcess(processHandle.get(), &exitCode);
    }

    RegistrationRun run{true, static_cast<int>(exitCode)};
    if (run.exitCode == kRegistrationSucceeded) {
        // The product registered its file types: the shell re-reads the associations.
        const CWaitCursor waitCursor;
        const auto notify = [] { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr); };
        if (view)
            RunAnswering(*view, notify);   // the shell's windows answer in their own time
        else
            notify();
    }
    return run;
}
