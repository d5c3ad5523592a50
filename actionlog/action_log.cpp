#include "actionlog/action_log.h"

#include "actionlog/rollback.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <system_error>

namespace {

bool IsExistingFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

ActionRecord& ActionLog::Append(int kind, std::wstring text, bool done, int detail)
{
    return records.emplace_back(ActionRecord{kind, std::move(text), {}, done, detail});
}

void ActionLog::AddFile(const std::wstring& path, int fileKind, bool copyOriginal)
{
    pending = true;
    wchar_t folder[MAX_PATH];
    ::lstrcpynW(folder, path.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(folder);
    CreateFolders(folder);
    ActionRecord& record = Append(FileInstalled, path, false, fileKind);
    if (!IsExistingFile(path))
        return;
    record.backup = MakeBackup(path, copyOriginal);
    record.inPlace = copyOriginal;
    if (record.backup.empty() && !copyOriginal) {
        // Overwriting it now would lose the user's file for good if the installation failed.
        const DWORD error = ::GetLastError();
        record.inPlace = true;
        throw std::system_error(static_cast<int>(error != ERROR_SUCCESS ? error : ERROR_CANNOT_MAKE),
                                std::system_category(), "the file to be replaced cannot be saved");
    }
}

void ActionLog::AddShortcut(int which, const std::wstring& folder)
{
    pending = true;
    CreateFolders(folder);
    const int kind = which == 0 ? ProgramShortcut : which == 1 ? UninstallShortcut : DesktopShortcut;
    ActionRecord& record = Append(kind, {}, false, -1);
    for (const ActionRecord& previous : previousRecords) {
        if (previous.kind != kind)
            continue;
        if (IsExistingFile(previous.text))
            record.backup = MakeBackup(previous.text, false);
        break;
    }
}

void ActionLog::AddUninstallKey(HKEY existingKey)
{
    pending = true;
    ActionRecord& record = Append(UninstallKey, {}, false, -1);
    if (existingKey)
        record.backup = SaveKeyBackup(existingKey);
}

void ActionLog::AddRegistration()
{
    pending = true;
    Append(ProductRegistration, {}, false, -1);
}

void ActionLog::AddDirectX()
{
    pending = true;
    Append(DirectXUpdate, {}, false, -1);
}

void ActionLog::Complete(bool done, const std::optional<std::wstring>& text)
{
    if (!pending)
        return;
    pending = false;
    ActionRecord& record = records.back();
    record.done = done;
    if (text)
        record.text = *text;
}

void ActionLog::CreateFolders(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH];
    ::lstrcpynW(buffer, path.c_str(), MAX_PATH);
    // The first component (the drive) is never created.
    const wchar_t* component = ::PathFindNextComponentW(buffer);
    while (component && *component) {
        const wchar_t* next = ::PathFindNextComponentW(component);
        // Each prefix ends before the separator that follows its last component; the last
        // one is the whole path as given.
        const std::wstring prefix = next && *next ? std::wstring(static_cast<const wchar_t*>(buffer), next - 1) : std::wstring(buffer);
        component = next;
        if (::PathIsDirectoryW(prefix.c_str()))
            continue;
        if (!::CreateDirectoryW(prefix.c_str(), nullptr))
            return;
        ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, prefix.c_str(), nullptr);
        Append(FolderCreated, prefix, true, -1);
    }
}

bool ActionLog::HasCompletedFile(const std::wstring& path) const
{
    for (const ActionRecord& record : previousRecords)
        if (record.kind == FileInstalled && record.done && record.text == path)
            return true;
    return false;
}
