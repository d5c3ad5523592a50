// Demo build of the product's uninstaller, Uninstall.exe. It reads "Uninstall.ulog" beside
// itself with the installer's own reader and removes, newest first, what the installation
// recorded there: files and shortcuts, the folders it created (when they are empty), the
// product's uninstall entry; then the installation path value under the maker's key, and
// last its own file and the log. The product's own registration, the DirectX runtime and
// the access rights granted to the shared folders stay.
//
// A running program cannot delete its own file, so the uninstaller started by the user
// copies itself into the temporary folder and lets the copy do the work once the original
// has ended. The copy is opened for deletion on close and that handle is handed to it: the
// system deletes the copy when it ends.
//
//   Uninstall.exe [/Quiet]                       asks for confirmation unless /Quiet
//   <copy> /Remove HANDLE UNINSTALLER [/Quiet]   the copy: waits for the process HANDLE
//                                                to end, then removes the installation
//
// What could not be removed is shown in a message box (not with /Quiet), and written, one
// item a line in UTF-8, to the file named by the environment variable
// TAVELO_DEMO_UNINSTALL_REPORT when it is set. The copy's exit code is the number of
// items not removed.
#include "demo_support.h"

#include "actionlog/action_log.h"
#include "actionlog/paths_equivalent.h"
#include "install/uninstall_registration.h"
#include "payload/payload_archive.h"
#include "product/product_identity.h"
#include "support/strings.h"
#include "support/unique_resource.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kLogName[] = L"Uninstall.ulog";
constexpr wchar_t kCaption[] = L"Uninstall";

std::wstring FolderOf(const std::wstring& path)
{
    wchar_t folder[MAX_PATH];
    ::lstrcpynW(folder, path.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(folder);
    return folder;
}

std::wstring RunningProgram()
{
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Deletes a file, read-only or not; a file that is not there counts as removed.
bool RemoveFile(const std::wstring& path)
{
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(path.c_str()) || IsMissing(::GetLastError());
}

// Removes a folder if it is empty; a folder that is not there counts as removed. The shell
// and indexers keep a folder open for a moment after a change in it: such a folder is
// tried again for up to two seconds.
bool RemoveFolder(const std::wstring& path)
{
    for (int attempt = 0;; ++attempt) {
        if (::RemoveDirectoryW(path.c_str()))
            return true;
        const DWORD error = ::GetLastError();
        if (IsMissing(error))
            return true;
        if (error != ERROR_SHARING_VIOLATION || attempt == 20)
            return false;
        ::Sleep(100);
    }
}

class Uninstallation {
public:
    explicit Uninstallation(std::wstring uninstaller)
        : uninstaller_(std::move(uninstaller)), logPath_(FolderOf(uninstaller_) + L"\\" + kLogName)
    {
    }

    void Run()
    {
        if (::GetFileAttributesW(logPath_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            notRemoved_.push_back(logPath_ + L" (not found)");
            return;
        }
        ActionLog log;
        log.Read(logPath_);
        if (log.previousRecords.empty()) {
            // A log that cannot be read leaves the installation, and the means to remove it, in place.
            notRemoved_.push_back(logPath_ + L" (cannot be read)");
            return;
        }
        for (auto record = log.previousRecords.rbegin(); record != log.previousRecords.rend(); ++record)
            Undo(*record);
        RemoveInstallationPathValue(log);

        // Last, the uninstaller and its log; then the folders that held them.
        Note(RemoveFile(uninstaller_), uninstaller_);
        Note(RemoveFile(logPath_), logPath_);
        for (const std::wstring& folder : folders_)
            Note(RemoveFolder(folder), folder);
    }

    const std::vector<std::wstring>& notRemoved() const { return notRemoved_; }

private:
    void Note(bool removed, const std::wstring& item)
    {
        if (!removed)
            notRemoved_.push_back(item);
    }

    void Undo(const ActionRecord& record)
    {
        switch (record.kind) {
        case ActionKind::FileInstalled:
            if (!PathsEquivalent(record.text, uninstaller_))
                Note(RemoveFile(record.text), record.text);
            break;
        case ActionKind::ProgramShortcut:
        case ActionKind::UninstallShortcut:
        case ActionKind::DesktopShortcut:
            if (!record.text.empty())   // a shortcut that was never made has no path
                Note(RemoveFile(record.text), record.text);
            break;
        case ActionKind::FolderCreated:
            // The folder of the uninstaller is only empty once the uninstaller is gone.
            if (!RemoveFolder(record.text))
                folders_.push_back(record.text);
            break;
        case ActionKind::UninstallKey: {
            const std::wstring key = std::wstring(kUninstallKeyPath) + L"\\" + ProductRegistryName(product::kThisProductCode);
            const LSTATUS status = ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
            Note(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND, L"HKEY_LOCAL_MACHINE\\" + key);
            break;
        }
        default:
            // The product's own registration and the DirectX runtime stay.
            break;
        }
    }

    // The value by which installers find the product, when it names this installation's
    // main program; the maker's key goes with it when nothing else is left in it.
    void RemoveInstallationPathValue(const ActionLog& log)
    {
        kv::unique_hkey makerKey;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakerKeyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, makerKey.put())
            != ERROR_SUCCESS)
            return;
        const std::wstring name = InstallationPathValueName(product::kThisProductCode);
        wchar_t value[MAX_PATH] = {};
        DWORD type = 0;
        DWORD size = sizeof value - sizeof(wchar_t);
        if (::RegQueryValueExW(makerKey.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size)
                != ERROR_SUCCESS
            || type != REG_SZ || !NamesInstalledMainProgram(log, value))
            return;
        Note(::RegDeleteValueW(makerKey.get(), name.c_str()) == ERROR_SUCCESS,
             L"HKEY_LOCAL_MACHINE\\" + std::wstring(kMakerKeyPath) + L"\\" + name);

        DWORD subkeys = 0;
        DWORD values = 0;
        const bool empty = ::RegQueryInfoKeyW(makerKey.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                              &values, nullptr, nullptr, nullptr, nullptr)
                               == ERROR_SUCCESS
                           && subkeys == 0 && values == 0;
        makerKey.reset();
        if (empty)
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMakerKeyPath);
    }

    static bool NamesInstalledMainProgram(const ActionLog& log, const std::wstring& path)
    {
        for (const ActionRecord& record : log.previousRecords)
            if (record.kind == ActionKind::FileInstalled && record.detail == FileKindDetail(FileKind::MainProgram)
                && PathsEquivalent(record.text, path))
                return true;
        return false;
    }

    std::wstring uninstaller_;
    std::wstring logPath_;
    std::vector<std::wstring> folders_;   // not empty while the uninstaller was there, innermost first
    std::vector<std::wstring> notRemoved_;
};

void Report(const std::vector<std::wstring>& notRemoved, bool quiet)
{
    wchar_t reportPath[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"TAVELO_DEMO_UNINSTALL_REPORT", reportPath, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        const kv::unique_file file(::CreateFileW(reportPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        for (const std::wstring& item : notRemoved) {
            if (!file)
                break;
            const std::string line = kv::to_utf8(item) + "\n";
            DWORD written = 0;
            ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
    }
    if (quiet)
        return;
    std::wstring message = ProductDisplayName(false) + L" was removed from this computer.";
    if (!notRemoved.empty()) {
        message = ProductDisplayName(false) + L" was removed, except for these items, which you may remove yourself:\n";
        for (const std::wstring& item : notRemoved)
            message += L"\n" + item;
    }
    ::MessageBoxW(nullptr, message.c_str(), kCaption, notRemoved.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
}

int RemoveInstallation(const std::wstring& uninstaller, bool quiet)
{
    Uninstallation uninstallation(uninstaller);
    uninstallation.Run();
    Report(uninstallation.notRemoved(), quiet);
    return static_cast<int>(uninstallation.notRemoved().size());
}

// Starts a copy of this program in the temporary folder that removes the installation
// once this process has ended. False when the copy cannot be made or started.
bool StartRemovalCopy(const std::wstring& self, bool quiet)
{
    wchar_t folder[MAX_PATH];
    wchar_t copy[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH - 14 || !::GetTempFileNameW(folder, L"kvu", 0, copy))
        return false;
    if (!::CopyFileW(self.c_str(), copy, FALSE)) {
        ::DeleteFileW(copy);
        return false;
    }
    // The copy's process inherits this handle; when the last handle goes, the file goes.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const kv::unique_file deleteOnClose(::CreateFileW(copy, 0, FILE_SHARE_READ | FILE_SHARE_DELETE, &inheritable,
                                                      OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!deleteOnClose) {
        ::DeleteFileW(copy);
        return false;
    }
    kv::unique_handle selfProcess;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), selfProcess.put(),
                           SYNCHRONIZE, TRUE, 0))
        return false;

    std::wstring commandLine = L"\"" + std::wstring(copy) + L"\" /Remove "
                               + std::to_wstring(reinterpret_cast<ULONG_PTR>(selfProcess.get())) + L" \"" + self
                               + L"\"" + (quiet ? L" /Quiet" : L"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Started in the temporary folder, so that it holds no folder of the installation open.
    if (!::CreateProcessW(copy, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder, &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    struct ArgumentsFree {
        void operator()(wchar_t** arguments) const { ::LocalFree(arguments); }
    };
    const std::unique_ptr<wchar_t*, ArgumentsFree> arguments(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    wchar_t** argv = arguments.get();
    if (!argv)
        return 1;
    const bool quiet = demo::HasOption(argc, argv, L"/Quiet");

    if (argc >= 4 && ::lstrcmpiW(argv[1], L"/Remove") == 0) {
        // The copy: the original must have ended before its file can be removed.
        const kv::unique_handle original(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::wcstoull(argv[2], nullptr, 10))));
        ::WaitForSingleObject(original.get(), INFINITE);
        return RemoveInstallation(argv[3], quiet);
    }

    if (!quiet) {
        const std::wstring question = L"Do you want to remove " + ProductDisplayName(false)
                                      + L" and all of its components from this computer?";
        if (::MessageBoxW(nullptr, question.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 1;
    }
    const std::wstring self = RunningProgram();
    if (StartRemovalCopy(self, quiet))
        return 0;
    // Without a copy the uninstaller removes what it can in place; its own file and the
    // log stay and are reported.
    return RemoveInstallation(self, quiet);
}
