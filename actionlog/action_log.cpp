#include "actionlog/action_log.h"

#include "actionlog/journal.h"
#include "actionlog/rollback.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace {

bool IsExistingFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folders of path, outermost first, without the drive: each prefix ends before the
// separator that follows its last component, the last one is the whole path as given.
std::vector<std::wstring> FoldersOf(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH];
    ::lstrcpynW(buffer, path.c_str(), MAX_PATH);
    std::vector<std::wstring> folders;
    const wchar_t* component = ::PathFindNextComponentW(buffer);
    while (component && *component) {
        const wchar_t* next = ::PathFindNextComponentW(component);
        folders.push_back(next && *next ? std::wstring(static_cast<const wchar_t*>(buffer), next - 1)
                                        : std::wstring(buffer));
        component = next;
    }
    return folders;
}

std::wstring FolderOfFile(const std::wstring& path)
{
    wchar_t folder[MAX_PATH];
    ::lstrcpynW(folder, path.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(folder);
    return folder;
}

ActionKind RecordKind(ShortcutKind shortcut)
{
    switch (shortcut) {
    case ShortcutKind::Program:
        return ActionKind::ProgramShortcut;
    case ShortcutKind::Uninstaller:
        return ActionKind::UninstallShortcut;
    case ShortcutKind::Desktop:
        break;
    }
    return ActionKind::DesktopShortcut;
}

} // namespace

ActionRecord& ActionLog::Append(ActionKind kind, std::wstring text, bool done, int detail)
{
    return records.emplace_back(ActionRecord{kind, std::move(text), {}, done, detail});
}

std::wstring ActionLog::Announce(const ActionRecord& announced, const std::optional<std::wstring>& source, bool copy,
                                 HKEY key)
{
    bool named = false;
    const auto journalName = [&](const std::wstring& name) {
        named = true;
        if (!journal)
            return;
        JournalEntry entry = Journal::ActionEntry(announced);
        entry.backup = name;
        journal->Write({entry});
    };
    std::wstring backup;
    if (key)
        backup = SaveKeyBackup(key, journalName);
    else if (source)
        backup = MakeBackup(*source, copy, journalName);
    if (!journal)
        return backup;
    // Why no backup could be made stays the last error for the caller.
    const DWORD error = ::GetLastError();
    if (!backup.empty())
        journal->BackupSaved(backup);
    else if (!named)
        journal->Record(announced);
    ::SetLastError(error);
    return backup;
}

void ActionLog::AddFile(const std::wstring& path, FileKind fileKind, bool copyOriginal)
{
    pending = true;
    CreateFolders(FolderOfFile(path));
    ActionRecord& record = Append(ActionKind::FileInstalled, path, false, FileKindDetail(fileKind));
    const bool exists = IsExistingFile(path);
    record.inPlace = exists && copyOriginal;
    record.backup = Announce(record, exists ? std::optional<std::wstring>(path) : std::nullopt, copyOriginal);
    if (exists && record.backup.empty() && !copyOriginal) {
        // Overwriting it now would lose the user's file for good if the installation failed.
        const DWORD error = ::GetLastError();
        record.inPlace = true;
        throw std::system_error(static_cast<int>(error != ERROR_SUCCESS ? error : ERROR_CANNOT_MAKE),
                                std::system_category(), "the file to be replaced cannot be saved");
    }
}

void ActionLog::AddShortcut(ShortcutKind shortcut, const std::wstring& folder, const std::wstring& linkPath)
{
    pending = true;
    CreateFolders(folder);
    const ActionKind kind = RecordKind(shortcut);
    ActionRecord& record = Append(kind, {}, false, -1);
    std::optional<std::wstring> earlier;
    for (const ActionRecord& previous : previousRecords) {
        if (previous.kind != kind)
            continue;
        if (IsExistingFile(previous.text))
            earlier = previous.text;
        break;
    }
    record.backup = Announce(ActionRecord{kind, linkPath, {}, false, -1}, earlier, false);
}

void ActionLog::AddUninstallKey(HKEY existingKey)
{
    pending = true;
    ActionRecord& record = Append(ActionKind::UninstallKey, {}, false, -1);
    record.backup = Announce(record, std::nullopt, false, existingKey);
}

// Nothing undoes these two (the product's registration and the DirectX runtime stay): they
// need no journal entry, and no flush of the journal, before they run.
void ActionLog::AddRegistration()
{
    pending = true;
    Append(ActionKind::ProductRegistration, {}, false, -1);
}

void ActionLog::AddDirectX()
{
    pending = true;
    Append(ActionKind::DirectXUpdate, {}, false, -1);
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

void ActionLog::Foresee(const std::vector<std::pair<std::wstring, FileKind>>& files)
{
    if (!journal)
        return;
    const JournalWorkTimer timer;
    std::vector<JournalEntry> entries;
    // Each folder is asked for once, however many files it holds.
    std::set<std::wstring> asked;
    for (const auto& [path, fileKind] : files) {
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;   // replaced or kept: AddFile journals it itself, with its backup
        for (const std::wstring& folder : FoldersOf(FolderOfFile(path))) {
            if (!asked.insert(folder).second || ::PathIsDirectoryW(folder.c_str()))
                continue;
            entries.push_back(Journal::ActionEntry(ActionRecord{ActionKind::FolderCreated, folder, {}, true, -1}));
        }
        entries.push_back(
            Journal::ActionEntry(ActionRecord{ActionKind::FileInstalled, path, {}, false, FileKindDetail(fileKind)}));
    }
    journal->Foresee(entries);
}

void ActionLog::CreateFolders(const std::wstring& path)
{
    // The missing folders, outermost first. The folder the journal made for itself counts as
    // missing the first time: the installation records it as its own.
    std::vector<std::pair<std::wstring, bool>> missing;   // the folder, and whether it exists already
    for (const std::wstring& prefix : FoldersOf(path)) {
        if (!::PathIsDirectoryW(prefix.c_str()))
            missing.emplace_back(prefix, false);
        else if (journal && journal->AdoptMadeFolder(prefix))
            missing.emplace_back(prefix, true);
    }
    if (journal && !missing.empty()) {
        // One write for all of them, before the first is made.
        std::vector<JournalEntry> entries;
        for (const auto& folder : missing)
            entries.push_back(Journal::ActionEntry(ActionRecord{ActionKind::FolderCreated, folder.first, {}, true, -1}));
        journal->Write(entries);
    }
    for (const auto& [folder, made] : missing) {
        if (!made && !::CreateDirectoryW(folder.c_str(), nullptr))
            return;
        ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, folder.c_str(), nullptr);
        Append(ActionKind::FolderCreated, folder, true, -1);
    }
}

bool ActionLog::HasCompletedFile(const std::wstring& path) const
{
    for (const ActionRecord& record : previousRecords)
        if (record.kind == ActionKind::FileInstalled && record.done && record.text == path)
            return true;
    return false;
}
