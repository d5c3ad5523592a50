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
    const kv::security::scoped_privilege restore(L"SeRestorePrivilege");
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
    const kv::security::scoped_privilege backup(L"SeBackupPrivilege");
    if (::RegSaveKeyW(key, name.c_str(), nullptr) != ERROR_SUCCESS) {
        // A failed save may leave a partial file behind.
        ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(name.c_str());
        name.clear();
    }
    return name;
}

void ActionLog::Rollback()
{
    while (!records.empty()) {
        const ActionRecord& record = records.back();
        switch (record.kind) {
        case ActionKind::FolderCreated:
            // Succeeds only once the folder is empty; whatever was made inside it was recorded
            // after it and has been undone already.
            ::RemoveDirectoryW(record.text.c_str());
            break;
        case ActionKind::FileInstalled:
        case ActionKind::ProgramShortcut:
        case ActionKind::UninstallShortcut:
        case ActionKind::DesktopShortcut:
            RestoreFile(record);
            break;
        case ActionKind::UninstallKey:
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
