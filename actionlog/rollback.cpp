#include "actionlog/rollback.h"

#include "actionlog/action_log.h"
#include "actionlog/journal.h"
#include "product/product_identity.h"
#include "support/security_api.h"
#include "support/unique_resource.h"

#include <shlwapi.h>

#include <exception>

namespace {

// GetTempFileNameW needs room for "kvXXXX.TMP" and its terminating zero after the folder.
constexpr DWORD kLongestBackupFolder = MAX_PATH - 14;

// The product's registry name, or empty when the process has no product code; the rollback
// then leaves the registry alone rather than fail half-way.
std::wstring RegistryNameOrEmpty()
{
    try {
        return ProductRegistryName();
    } catch (const std::exception&) {
        return {};
    }
}

void RestoreUninstallKey(const ActionRecord& record)
{
    SetPrivilege(L"SeRestorePrivilege", true);
    kv::unique_hkey uninstall;
    const std::wstring name = RegistryNameOrEmpty();
    if (!name.empty()
        && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_ALL_ACCESS, uninstall.put()) == ERROR_SUCCESS) {
        if (!record.backup.empty()) {
            // The key existed before: put back its values and subkeys as they were saved.
            kv::unique_hkey product;
            if (::RegOpenKeyExW(uninstall.get(), name.c_str(), 0, KEY_ALL_ACCESS, product.put()) == ERROR_SUCCESS)
                ::RegRestoreKeyW(product.get(), record.backup.c_str(), 0);
            ::SetFileAttributesW(record.backup.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(record.backup.c_str());
        } else {
            // The installation created the key: remove it with everything below it.
            ::SHDeleteKeyW(uninstall.get(), name.c_str());
        }
    }
    SetPrivilege(L"SeRestorePrivilege", false);
}

// Deletes what the action wrote and moves its backup back under its name. A file still in
// use cannot be deleted, so its backup cannot move back and stays, with its attributes, in
// the temporary folder.
void RestoreFile(const ActionRecord& record)
{
    if (record.inPlace) {
        // The installation never changed the file: it stays, whatever became of its copy.
        if (!record.backup.empty()) {
            ::SetFileAttributesW(record.backup.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(record.backup.c_str());
        }
        return;
    }
    ::SetFileAttributesW(record.text.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(record.text.c_str());
    if (record.backup.empty())
        return;
    const DWORD attributes = ::GetFileAttributesW(record.backup.c_str());
    ::SetFileAttributesW(record.backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool moved = ::MoveFileW(record.backup.c_str(), record.text.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(moved ? record.text.c_str() : record.backup.c_str(), attributes);
}

} // namespace

std::wstring MakeBackup(const std::optional<std::wstring>& source, bool copy, const BackupNamed& named)
{
    wchar_t folder[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    if (length == 0)
        return {};
    if (length > kLongestBackupFolder) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return {};
    }
    wchar_t name[MAX_PATH];
    if (!::GetTempFileNameW(folder, L"kv", 0, name))
        return {};
    // GetTempFileNameW made an empty file to reserve the name; the move, copy or key save
    // needs the name free.
    ::DeleteFileW(name);
    if (named)
        named(name);
    if (!source)
        return name;

    const wchar_t* original = source->c_str();
    const DWORD attributes = ::GetFileAttributesW(original);
    const bool haveAttributes = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file can be neither moved nor, on some systems, copied over.
    ::SetFileAttributesW(original, FILE_ATTRIBUTE_NORMAL);
    if (copy) {
        if (::CopyFileW(original, name, FALSE)) {
            if (haveAttributes) {
                ::SetFileAttributesW(original, attributes);
                ::SetFileAttributesW(name, attributes);
            }
            return name;
        }
    } else if (::MoveFileExW(original, name, MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        // Across volumes it copies and deletes; it returns once the move is on the disk.
        if (haveAttributes)
            ::SetFileAttributesW(name, attributes);
        return name;
    }
    const DWORD error = ::GetLastError();
    if (haveAttributes)
        ::SetFileAttributesW(original, attributes);
    ::SetLastError(error);
    return {};
}

std::wstring SaveKeyBackup(HKEY key, const BackupNamed& named)
{
    std::wstring name = MakeBackup(std::nullopt, false, named);
    if (name.empty())
        return {};
    SetPrivilege(L"SeBackupPrivilege", true);
    if (::RegSaveKeyW(key, name.c_str(), nullptr) != ERROR_SUCCESS) {
        // A failed save may leave a partial file behind.
        ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(name.c_str());
        name.clear();
    }
    SetPrivilege(L"SeBackupPrivilege", false);
    return name;
}

bool SetPrivilege(const wchar_t* name, bool enable)
{
    namespace security = kv::security;
    try {
        kv::unique_handle token;
        security::check(security::OpenProcessToken()(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                                     token.put()));
        LUID luid;
        security::check(security::LookupPrivilegeValueW()(nullptr, name, &luid));

        // The first adjustment switches the privilege off and returns its previous state;
        // it succeeds without assigning anything when the token lacks the privilege, which
        // only the last error tells.
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid = luid;
        TOKEN_PRIVILEGES previous{};
        DWORD previousSize = sizeof previous;
        ::SetLastError(ERROR_SUCCESS);
        security::check(security::AdjustTokenPrivileges()(token.get(), FALSE, &privileges, sizeof privileges,
                                                          &previous, &previousSize));
        if (const DWORD error = ::GetLastError(); error != ERROR_SUCCESS)
            throw security::make_error(error);

        // The previous state lists only what changed; name the privilege in it whatever it held.
        previous.PrivilegeCount = 1;
        previous.Privileges[0].Luid = luid;
        if (enable)
            previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
        else
            previous.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
        security::check(security::AdjustTokenPrivileges()(token.get(), FALSE, &previous, previousSize, nullptr, nullptr));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void ActionLog::Rollback()
{
    while (!records.empty()) {
        const ActionRecord& record = records.back();
        switch (record.kind) {
        case FolderCreated:
            // Succeeds only once the folder is empty; whatever was made inside it was recorded
            // after it and has been undone already.
            ::RemoveDirectoryW(record.text.c_str());
            break;
        case FileInstalled:
        case ProgramShortcut:
        case UninstallShortcut:
        case DesktopShortcut:
            RestoreFile(record);
            break;
        case UninstallKey:
            RestoreUninstallKey(record);
            break;
        default:
            // The product's own registration and the DirectX runtime stay.
            break;
        }
        records.pop_back();
    }
    if (journal)
        journal->RolledBack();
}
