// The ordered record of every change an installation makes, and what was read back from
// an earlier installation's uninstall log.
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Kind of a record; the numbers are part of the uninstall log's and the journal's formats.
enum class ActionKind : int {
    FolderCreated = 0,
    FileInstalled = 1,
    ProgramShortcut = 2,
    UninstallShortcut = 3,
    DesktopShortcut = 4,
    UninstallKey = 5,
    ProductRegistration = 6,
    DirectXUpdate = 7,
};

// The number of a kind in the uninstall log's record lines and in the journal, and the
// kind of such a number: both formats convert through these alone.
constexpr std::uint32_t ActionKindNumber(ActionKind kind)
{
    return static_cast<std::uint32_t>(kind);
}
constexpr ActionKind ActionKindOfNumber(std::uint32_t number)
{
    return static_cast<ActionKind>(number);
}

// The three shortcuts an installation makes.
enum class ShortcutKind {
    Program,       // the main program's, in the Start-menu folder
    Uninstaller,   // the uninstaller's, in the Start-menu folder
    Desktop,       // the main program's, on the desktop
};

enum class FileKind : std::int32_t;   // payload/payload_archive.h

// The detail of an ActionKind::FileInstalled record: the number of the payload entry's
// FileKind, of which the uninstall log keeps the low byte.
constexpr int FileKindDetail(FileKind kind)
{
    return static_cast<int>(kind);
}

class Journal;

struct ActionRecord {
    ActionKind kind = ActionKind::FolderCreated;
    std::wstring text;          // a path, a registry key name or a status text
    std::wstring backup;        // saved copy of what the action replaced, or empty
    bool done = false;          // the action completed
    int detail = -1;            // a file's FileKindDetail; only the low byte is stored; -1: none
    // The file at text is as the installation found it (taken over in place, or refused
    // because it could not be saved): a rollback leaves it alone and only drops the backup.
    // Not part of the uninstall log.
    bool inPlace = false;
};

class ActionLog {
public:
    std::wstring previousInstallPath;
    std::wstring previousShortcutPath;
    std::list<ActionRecord> previousRecords;   // read from the earlier log, in file order
    std::list<ActionRecord> records;           // this installation's actions, in order
    bool pending = false;                      // the tail record waits for its Complete
    std::wstring previousProduct;              // "Tavelo 7.01h" of the earlier log's Install line
    // While an installation runs, the journal on disk that receives every record before its
    // action is taken (journal.h); none otherwise. Not owned.
    Journal* journal = nullptr;

    // Recording. Each Add announces an action before it is made and leaves its record
    // pending; Complete ends it. An Add while a record is pending leaves that one not done.

    // Before a payload file is written (copyOriginal false: an existing file is moved away
    // as its backup) or taken over in place (copyOriginal true: an existing file is copied).
    // Creates and records the missing folders of path first. fileKind is the payload
    // entry's kind. An existing file that must be replaced but cannot be saved is not
    // touched: its record stays pending, marked inPlace, and a std::system_error of the
    // system category says why, so that the file's write fails. A file taken over in place
    // is marked inPlace whether or not its copy could be made.
    void AddFile(const std::wstring& path, FileKind fileKind, bool copyOriginal);
    // Before the first payload file is written: every file of files (path and FileKind) that
    // does not exist yet, and its missing folders, go to the journal in one write, as the
    // records AddFile and CreateFolders will make for them; those then need no write of
    // their own. Without a journal, nothing.
    void Foresee(const std::vector<std::pair<std::wstring, FileKind>>& files);
    // Before the shortcut of that kind is made in folder. An earlier shortcut of the same
    // kind named by the previous log is moved away as the backup. linkPath, the shortcut
    // that is about to be made, is only written to the journal: the record's text is set by
    // Complete once the shortcut exists.
    void AddShortcut(ShortcutKind shortcut, const std::wstring& folder, const std::wstring& linkPath = {});
    // After the product's uninstall key was created (existingKey null) or opened
    // (existingKey: the open key, saved as the backup) and before its values are written.
    void AddUninstallKey(HKEY existingKey);
    void AddRegistration();
    void AddDirectX();
    // Ends the pending action, if any; a text replaces the record's text (the path of a
    // created shortcut, the status text of the DirectX step).
    void Complete(bool done, const std::optional<std::wstring>& text = std::nullopt);
    // Creates the missing folders of path from the outermost in, recording each one and
    // telling the shell; stops silently at the first folder that cannot be created.
    void CreateFolders(const std::wstring& path);
    // Whether the previous log lists this exact path as a completed file.
    bool HasCompletedFile(const std::wstring& path) const;

    // The uninstall log file (uninstall_log_file.cpp).

    // Merges the previous records into records, writes the log at logPath (read-only
    // afterwards) and deletes every backup, after which nothing can be rolled back. False
    // when the file could not be created or a write failed.
    bool Write(const std::wstring& logPath, const std::wstring& installPath, const std::wstring& shortcutPath);
    // Reads an earlier log into the previous* members; whatever a damaged file yields
    // before its damage is kept. With no path only the two previous paths are emptied.
    void Read(const std::optional<std::wstring>& logPath);

    // Undoes every record, newest first, and empties records (rollback.cpp).
    void Rollback();

private:
    ActionRecord& Append(ActionKind kind, std::wstring text, bool done, int detail);
    // Saves source (or the open key) as the backup of the announced record (copy: as a copy)
    // and returns its name, or empty with the reason as the last error; the journal receives
    // the record with the backup's name before anything is saved under it, and then that the
    // backup is complete. Without source (or when no name can be reserved) the journal
    // receives the record as it is.
    std::wstring Announce(const ActionRecord& announced, const std::optional<std::wstring>& source, bool copy,
                          HKEY key = nullptr);
    void MergePreviousRecords();
    void DiscardBackups();
};
