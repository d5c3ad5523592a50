// The installation's journal on disk: every record of the ActionLog written, and flushed,
// before its action touches the machine, so that an installation that is killed, crashes or
// loses its power can be undone at the next start of the installer.
//
// A record that is in the journal may or may not have been carried out; a record that is not
// there was not. Undoing is therefore written to be safe either way: a folder is removed only
// when it is empty, a file with a backup is put back only when its backup exists, and a backup
// that may be incomplete is never moved over the file it was made from.
//
// The file: the eight bytes "KvJrnl1\0", then entries. Each entry is its payload's length
// (32 bits), the CRC-32 of the payload (32 bits) and the payload: type, kind, detail and flags
// (32 bits each), then two texts, each its length in UTF-16 code units (32 bits) and its
// code units, then a byte string, its length (32 bits) and its bytes; every number
// little-endian. The first entry describes the installation (the
// product's registry name, its temporary folder, whether the journal made its own folder).
// An entry that reaches past the end of the file, or whose checksum fails while nothing
// follows it, was being written when the installation stopped: it counts as not written.
// Anything else that does not read (another start, a checksum that fails in the middle, an
// unknown type) makes the whole journal unreadable; it is then left alone.
#pragma once

#include "actionlog/action_log.h"
#include "support/unique_resource.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

enum class JournalEntryType : std::uint32_t {
    Start = 1,          // text: registry name of the product; backup: the temporary folder
    Action = 2,         // an ActionRecord: kind, detail, text, backup (a name not yet used)
    BackupSaved = 3,    // text: a backup of an earlier Action entry that is now complete
    RegistryValue = 4,  // text: key below HKEY_LOCAL_MACHINE; backup: value name; see flags
    Final = 5,          // the installation is final: nothing is undone any more
};

// Flags of a Start entry.
inline constexpr std::uint32_t kJournalMadeItsFolder = 1;
// Flags of an Action entry: the file stays as the installation found it (ActionRecord::inPlace):
// an undo only drops its backup.
inline constexpr std::uint32_t kJournalInPlace = 1;
// Flags of a RegistryValue entry, and its detail: the earlier value's registry type.
inline constexpr std::uint32_t kJournalKeyExisted = 1;
inline constexpr std::uint32_t kJournalValueExisted = 2;

struct JournalEntry {
    JournalEntryType type = JournalEntryType::Action;
    ActionKind kind = ActionKind::FolderCreated;   // an Action entry's; 0 in the others
    int detail = -1;
    std::uint32_t flags = 0;
    std::wstring text;
    std::wstring backup;
    std::vector<std::uint8_t> data;   // RegistryValue: the earlier value's bytes (a third text)
    bool operator==(const JournalEntry&) const = default;
};

// The bytes of a journal that holds these entries, and the entries of such bytes: none when
// they do not read (see above); a torn last entry is dropped.
std::vector<std::uint8_t> JournalBytes(const std::vector<JournalEntry>& entries);
bool ParseJournal(const std::vector<std::uint8_t>& bytes, std::vector<JournalEntry>& entries);

// The journal of the running installation. Attached to an ActionLog (ActionLog::journal)
// for the installation's duration, it receives every record before its action.
class Journal {
public:
    // Creates the journal at path, which must not exist yet (an earlier journal that could
    // not be read is never overwritten), making its folder when that is missing. Raises a
    // std::system_error on failure.
    Journal(std::wstring path, const std::wstring& productName, const std::wstring& temporaryFolder);
    // Closes the file; removes it only when End was called.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Writes entries and flushes them to the disk before returning; raises a std::system_error
    // when that fails, so that the action they announce is not taken.
    // An entry that Foresee wrote already is not written again.
    void Write(const std::vector<JournalEntry>& entries);
    // Writes entries ahead of their actions, in one write: each stands for the same entry
    // written later (by Write) and spares that write.
    void Foresee(const std::vector<JournalEntry>& entries);
    void Record(const ActionRecord& record) { Write({ActionEntry(record)}); }
    // The backup named by an earlier Action entry is complete.
    void BackupSaved(const std::wstring& backup);
    // The value valueName of HKEY_LOCAL_MACHINE\keyPath as it is now, before it is written.
    void RecordRegistryValue(const std::wstring& keyPath, const std::wstring& valueName);
    // A file that is about to be written outside the ActionLog (the uninstall log): an existing
    // one is copied to a backup first, which End deletes after Final.
    void RecordFile(const std::wstring& path);
    // The installation is final (its log is written); its backups may go.
    void Final();
    // The installation was rolled back.
    void RolledBack() { settled_ = true; }
    // Whether it is final or rolled back: only then may the journal go.
    bool Settled() const { return settled_ || final_; }
    // Removes the journal (and after Final the backups it made itself), then its folder when
    // the journal made it and it is empty.
    void End();

    const std::wstring& path() const { return path_; }
    // The folder the journal made for itself, or empty; ActionLog::CreateFolders records it as
    // made by the installation when the installation needs it too.
    const std::wstring& madeFolder() const { return madeFolder_; }
    // Whether path is that folder and no record names it yet; the first call that says yes
    // hands it over.
    bool AdoptMadeFolder(const std::wstring& path);

    static JournalEntry ActionEntry(const ActionRecord& record);

    // How each flush is waited for: it is handed to wait, which must run it before it
    // returns. Without one, on this thread.
    using FlushWait = std::function<void(const std::function<void()>& flush)>;
    void SetFlushWait(FlushWait wait) { flushWait_ = std::move(wait); }

private:
    std::wstring path_;
    std::wstring madeFolder_;
    bool adopted_ = false;
    kv::unique_file file_;
    std::vector<std::wstring> ownBackups_;
    // Written ahead, not yet asked for; asked for in the order they were foreseen, as a rule.
    std::deque<JournalEntry> foreseen_;
    bool final_ = false;
    bool settled_ = false;
    bool ended_ = false;
    FlushWait flushWait_;
};

// Called after every write of a journal with the number of writes so far; a test uses it to
// stop an installation at each of them. None by default.
void SetJournalWriteObserver(std::function<void(std::size_t)> observer);

// The time this process has spent in the journal's own work: making, writing, flushing and
// removing it, and looking ahead at the payload's files. The installation benchmark sets it
// against the whole installation.
std::chrono::nanoseconds JournalTimeSpent();

// Adds the time of its life to JournalTimeSpent, unless an enclosing timer counts it already.
class JournalWorkTimer {
public:
    JournalWorkTimer();
    ~JournalWorkTimer();
    JournalWorkTimer(const JournalWorkTimer&) = delete;
    JournalWorkTimer& operator=(const JournalWorkTimer&) = delete;

private:
    std::chrono::steady_clock::time_point start_;
};

// What the start of the installer found and did.
struct JournalRecovery {
    enum Outcome { None, Undone, Completed, Unreadable, Untrusted } outcome = None;
    std::vector<std::wstring> notUndone;   // files that could not be put back (in use)
};

// Whether a journal owned by owner may be undone: Administrators, SYSTEM (the owner an
// elevated administrator's process gives what it creates), or processUser, the
// administrator this installer runs as, where the system names the creator instead. A
// journal that a user without administrator rights planted or replaced in the maker's
// folder, which Users may change, is owned by that user and is left as it is.
bool TrustedJournalOwner(PSID owner, PSID processUser);

// Looks for a journal at path. An interrupted installation's journal is undone, newest entry
// first, as ActionLog::Rollback undoes its records, and its temporary folder removed; one that
// reached Final only loses its backups; both are then removed. One that cannot be read, or
// whose owner is not trusted, is left as it is.
JournalRecovery RecoverJournal(const std::wstring& path);
