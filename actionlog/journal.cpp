#include "actionlog/journal.h"

#include "actionlog/folder_rights.h"
#include "actionlog/rollback.h"
#include "support/security_api.h"

#include <shlwapi.h>

#include <boost/crc.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cstring>
#include <set>
#include <system_error>

namespace sec = kv::security;

namespace {

constexpr char kMagic[8] = {'K', 'v', 'J', 'r', 'n', 'l', '1', '\0'};
// Far more than any entry holds: a length beyond it is damage, not a long path.
constexpr std::uint32_t kLongestPayload = 1u << 20;

std::function<void(std::size_t)> g_writeObserver;
std::size_t g_writes = 0;
// The journal runs on the window's thread only.
std::chrono::nanoseconds g_timeSpent{};
int g_timersRunning = 0;

std::system_error LastError(const char* what)
{
    return std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

void PutNumber(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutText(std::vector<std::uint8_t>& out, const std::wstring& text)
{
    PutNumber(out, static_cast<std::uint32_t>(text.size()));
    for (wchar_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    }
}

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size)
{
    boost::crc_32_type crc;
    crc.process_bytes(bytes, size);
    return crc.checksum();
}

void PutEntry(std::vector<std::uint8_t>& out, const JournalEntry& entry)
{
    std::vector<std::uint8_t> payload;
    PutNumber(payload, static_cast<std::uint32_t>(entry.type));
    PutNumber(payload, ActionKindNumber(entry.kind));
    PutNumber(payload, static_cast<std::uint32_t>(entry.detail));
    PutNumber(payload, entry.flags);
    PutText(payload, entry.text);
    PutText(payload, entry.backup);
    PutNumber(payload, static_cast<std::uint32_t>(entry.data.size()));
    payload.insert(payload.end(), entry.data.begin(), entry.data.end());
    PutNumber(out, static_cast<std::uint32_t>(payload.size()));
    PutNumber(out, Crc32(payload.data(), payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size) : at_(bytes), end_(bytes + size) {}
    bool Number(std::uint32_t& value)
    {
        if (end_ - at_ < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(at_[i]) << (8 * i);
        at_ += 4;
        return true;
    }
    bool Text(std::wstring& text)
    {
        std::uint32_t length;
        if (!Number(length) || static_cast<std::size_t>(end_ - at_) / 2 < length)
            return false;
        text.resize(length);
        for (std::uint32_t i = 0; i < length; ++i, at_ += 2)
            text[i] = static_cast<wchar_t>(at_[0] | (at_[1] << 8));
        return true;
    }
    bool Bytes(std::vector<std::uint8_t>& bytes)
    {
        std::uint32_t length;
        if (!Number(length) || static_cast<std::size_t>(end_ - at_) < length)
            return false;
        bytes.assign(at_, at_ + length);
        at_ += length;
        return true;
    }
    bool AtEnd() const { return at_ == end_; }

private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

bool ParsePayload(const std::uint8_t* bytes, std::size_t size, JournalEntry& entry)
{
    Reader reader(bytes, size);
    std::uint32_t type, kind, detail;
    if (!reader.Number(type) || !reader.Number(kind) || !reader.Number(detail) || !reader.Number(entry.flags)
        || !reader.Text(entry.text) || !reader.Text(entry.backup) || !reader.Bytes(entry.data) || !reader.AtEnd())
        return false;
    if (type < static_cast<std::uint32_t>(JournalEntryType::Start) || type > static_cast<std::uint32_t>(JournalEntryType::Final))
        return false;
    entry.type = static_cast<JournalEntryType>(type);
    entry.kind = ActionKindOfNumber(kind);
    entry.detail = static_cast<int>(detail);
    return true;
}

bool Exists(const std::wstring& path)
{
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteBackup(const std::wstring& backup)
{
    ::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(backup.c_str());
}

// Undoes one record as ActionLog::Rollback does.
void RollBack(const ActionRecord& record)
{
    ActionLog log;
    log.records.push_back(record);
    log.Rollback();
}

// The registry value as it was before the installation wrote it.
void RestoreRegistryValue(const JournalEntry& entry)
{
    if (entry.flags & kJournalValueExisted) {
        kv::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, entry.text.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
            ::RegSetValueExW(key.get(), entry.backup.c_str(), 0, static_cast<DWORD>(entry.detail), entry.data.data(),
                             static_cast<DWORD>(entry.data.size()));
        return;
    }
    ::SHDeleteValueW(HKEY_LOCAL_MACHINE, entry.text.c_str(), entry.backup.c_str());
    // A key made for the value goes with it, unless something else has been put into it.
    if (!(entry.flags & kJournalKeyExisted)) {
        kv::unique_hkey key;
        DWORD subkeys = 0, values = 0;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, entry.text.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS
            && ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr)
                   == ERROR_SUCCESS
            && subkeys == 0 && values == 0) {
            key.reset();
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, entry.text.c_str());
        }
    }
}

// Undoes a file, shortcut or uninstall key entry. A backup that does not exist was never made
// or has been put back already: the item stays as it is. A backup that was not confirmed may be
// incomplete: it replaces nothing that is still there. Returns false when the item could not be
// put back.
bool UndoAction(const JournalEntry& entry, const std::set<std::wstring>& savedBackups)
{
    const ActionRecord record{entry.kind, entry.text, entry.backup, false, entry.detail};
    const bool isFile = entry.kind == ActionKind::FileInstalled || entry.kind == ActionKind::ProgramShortcut
                        || entry.kind == ActionKind::UninstallShortcut || entry.kind == ActionKind::DesktopShortcut;
    if (entry.kind == ActionKind::FolderCreated) {
        RollBack(record);
        return true;
    }
    if (!isFile && entry.kind != ActionKind::UninstallKey)
        return true;   // the product's own registration and the DirectX runtime stay
    if (entry.flags & kJournalInPlace) {
        // The installation never changed the file: only its copy goes.
        if (Exists(entry.backup))
            DeleteBackup(entry.backup);
        return true;
    }
    if (!entry.backup.empty()) {
        if (!Exists(entry.backup))
            return true;
        const bool inPlace = isFile ? Exists(entry.text) : true;
        if (!savedBackups.count(entry.backup) && inPlace) {
            DeleteBackup(entry.backup);
            return true;
        }
    }
    RollBack(record);
    if (!isFile)
        return true;
    return entry.backup.empty() ? !Exists(entry.text) : !Exists(entry.backup);
}

// The per-run temporary folder and everything in it; only a folder of the installer's own
// name is touched.
void RemoveTemporaryFolder(const std::wstring& folder)
{
    if (folder.empty() || std::wcsncmp(::PathFindFileNameW(folder.c_str()), L"korvane_{", 9) != 0)
        return;
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder, ignored);
}

// Whether the owner of the open file is one TrustedJournalOwner accepts; a security call
// that fails trusts nothing.
bool OwnerTrusted(HANDLE file)
{
    try {
        DWORD needed = 0;
        sec::GetKernelObjectSecurity()(file, OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
        std::vector<BYTE> descriptor(needed);
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        return needed != 0
               && sec::GetKernelObjectSecurity()(file, OWNER_SECURITY_INFORMATION, descriptor.data(), needed, &needed)
               && sec::GetSecurityDescriptorOwner()(descriptor.data(), &owner, &defaulted)
               && TrustedJournalOwner(owner, ProcessUserSid().data());
    } catch (const std::system_error&) {
        return false;
    }
}

// Reads the journal at path; says whether there is one, and whether its owner is trusted
// (asked of the handle its bytes are read through).
bool ReadJournalFile(const std::wstring& path, std::vector<std::uint8_t>& bytes, bool& exists, bool& trusted)
{
    const kv::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    exists = file || (::GetLastError() != ERROR_FILE_NOT_FOUND && ::GetLastError() != ERROR_PATH_NOT_FOUND);
    trusted = file && OwnerTrusted(file.get());
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > (64 << 20))
        return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty()
           || (::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)
               && read == bytes.size());
}

std::wstring FolderOf(const std::wstring& path)
{
    const std::wstring::size_type at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

} // namespace

std::vector<std::uint8_t> JournalBytes(const std::vector<JournalEntry>& entries)
{
    std::vector<std::uint8_t> bytes(std::begin(kMagic), std::end(kMagic));
    for (const JournalEntry& entry : entries)
        PutEntry(bytes, entry);
    return bytes;
}

bool ParseJournal(const std::vector<std::uint8_t>& bytes, std::vector<JournalEntry>& entries)
{
    entries.clear();
    if (bytes.size() < sizeof kMagic)
        // Cut short while its start was written: nothing was done yet, unless it is not ours.
        return bytes.empty() || std::memcmp(bytes.data(), kMagic, bytes.size()) == 0;
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return false;
    std::size_t at = sizeof kMagic;
    while (at < bytes.size()) {
        Reader header(bytes.data() + at, bytes.size() - at);
        std::uint32_t length = 0, crc = 0;
        if (!header.Number(length) || !header.Number(crc))
            break;   // torn in its length or checksum
        if (length > kLongestPayload)
            return false;
        const std::size_t start = at + 8;
        if (bytes.size() - start < length)
            break;   // torn in its payload
        const bool last = start + length == bytes.size();
        JournalEntry entry;
        if (Crc32(bytes.data() + start, length) != crc) {
            if (last)
                break;   // torn: its bytes did not all reach the disk
            return false;
        }
        if (!ParsePayload(bytes.data() + start, length, entry))
            return false;
        if ((entries.empty()) != (entry.type == JournalEntryType::Start))
            return false;
        entries.push_back(std::move(entry));
        at = start + length;
    }
    return true;
}

void SetJournalWriteObserver(std::function<void(std::size_t)> observer)
{
    g_writeObserver = std::move(observer);
    g_writes = 0;
}

std::chrono::nanoseconds JournalTimeSpent()
{
    return g_timeSpent;
}

JournalWorkTimer::JournalWorkTimer() : start_(std::chrono::steady_clock::now())
{
    ++g_timersRunning;
}

JournalWorkTimer::~JournalWorkTimer()
{
    if (--g_timersRunning == 0)
        g_timeSpent += std::chrono::steady_clock::now() - start_;
}

JournalEntry Journal::ActionEntry(const ActionRecord& record)
{
    return JournalEntry{JournalEntryType::Action, record.kind, record.detail, record.inPlace ? kJournalInPlace : 0u,
                        record.text, record.backup, {}};
}

bool TrustedJournalOwner(PSID owner, PSID processUser)
{
    if (!owner || !::IsValidSid(owner))
        return false;
    for (WellKnownAccount account : {AdministratorsAccount, SystemAccount})
        if (sec::EqualSid()(owner, WellKnownSid(account).get()))
            return true;
    return processUser && sec::EqualSid()(owner, processUser);
}

Journal::Journal(std::wstring path, const std::wstring& productName, const std::wstring& temporaryFolder)
    : path_(std::move(path))
{
    const JournalWorkTimer timer;
    // Whatever the folder lets Users do, only administrators may change the journal: its
    // next reader undoes what it lists with administrator rights.
    std::vector<BYTE> user = ProcessUserSid();
    AdministratorsOnlyDescriptor descriptor(user.data());
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    const std::wstring folder = FolderOf(path_);
    if (!folder.empty() && !::PathIsDirectoryW(folder.c_str())) {
        if (!::CreateDirectoryW(folder.c_str(), nullptr))
            throw LastError("CreateDirectory");
        madeFolder_ = folder;
    }
    file_.reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        const std::system_error error = LastError("CreateFile");
        if (!madeFolder_.empty())
            ::RemoveDirectoryW(madeFolder_.c_str());
        throw error;
    }
    try {
        const std::vector<std::uint8_t> start(std::begin(kMagic), std::end(kMagic));
        DWORD written = 0;
        if (!::WriteFile(file_.get(), start.data(), static_cast<DWORD>(start.size()), &written, nullptr))
            throw LastError("WriteFile");
        Write({JournalEntry{JournalEntryType::Start, {}, -1, madeFolder_.empty() ? 0u : kJournalMadeItsFolder,
                            productName, temporaryFolder, {}}});
    } catch (const std::system_error&) {
        file_.reset();
        ::DeleteFileW(path_.c_str());
        if (!madeFolder_.empty())
            ::RemoveDirectoryW(madeFolder_.c_str());
        throw;
    }
}

Journal::~Journal()
{
    file_.reset();
}

void Journal::Foresee(const std::vector<JournalEntry>& entries)
{
    if (entries.empty())
        return;
    Write(entries);
    foreseen_.insert(foreseen_.end(), entries.begin(), entries.end());
}

void Journal::Write(const std::vector<JournalEntry>& entries)
{
    const JournalWorkTimer timer;
    std::vector<std::uint8_t> bytes;
    for (const JournalEntry& entry : entries) {
        const auto ahead = std::find(foreseen_.begin(), foreseen_.end(), entry);
        if (ahead != foreseen_.end()) {
            foreseen_.erase(ahead);
            continue;
        }
        PutEntry(bytes, entry);
    }
    if (bytes.empty())
        return;
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        || written != bytes.size())
        throw LastError("WriteFile");
    // On the disk before the action it announces, whatever happens to the process or the power.
    bool flushed = false;
    const auto flush = [this, &flushed] { flushed = ::FlushFileBuffers(file_.get()) != FALSE; };
    if (flushWait_)
        flushWait_(flush);
    else
        flush();
    if (!flushed)
        throw LastError("FlushFileBuffers");
    if (g_writeObserver)
        g_writeObserver(++g_writes);
}

void Journal::BackupSaved(const std::wstring& backup)
{
    Write({JournalEntry{JournalEntryType::BackupSaved, {}, -1, 0, backup, {}, {}}});
}

void Journal::RecordRegistryValue(const std::wstring& keyPath, const std::wstring& valueName)
{
    const JournalWorkTimer timer;
    JournalEntry entry{JournalEntryType::RegistryValue, {}, REG_NONE, 0, keyPath, valueName, {}};
    kv::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
        entry.flags |= kJournalKeyExisted;
        DWORD type = REG_NONE, size = 0;
        if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            entry.data.resize(size);
            if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, entry.data.data(), &size)
                == ERROR_SUCCESS) {
                entry.data.resize(size);
                entry.flags |= kJournalValueExisted;
                entry.detail = static_cast<int>(type);
            }
        }
    }
    Write({entry});
}

void Journal::RecordFile(const std::wstring& path)
{
    const JournalWorkTimer timer;
    JournalEntry entry{JournalEntryType::Action, ActionKind::FileInstalled, -1, 0, path, {}, {}};
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Write({entry});
        return;
    }
    const std::wstring backup = MakeBackup(path, true, [&](const std::wstring& name) {
        entry.backup = name;
        Write({entry});
    });
    if (backup.empty()) {
        // Without a copy it cannot be put back: an undo leaves the new log rather than lose it.
        entry.backup.clear();
        entry.flags |= kJournalInPlace;
        Write({entry});
        return;
    }
    ownBackups_.push_back(backup);
    BackupSaved(backup);
}

void Journal::Final()
{
    Write({JournalEntry{JournalEntryType::Final, {}, -1, 0, {}, {}, {}}});
    final_ = true;
}

bool Journal::AdoptMadeFolder(const std::wstring& path)
{
    // Both names come from the system's known folders: compared as names, without asking the
    // file system for every existing folder of every path.
    if (madeFolder_.empty() || adopted_
        || ::CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), madeFolder_.c_str(),
                                  static_cast<int>(madeFolder_.size()), TRUE)
               != CSTR_EQUAL)
        return false;
    adopted_ = true;
    return true;
}

void Journal::End()
{
    const JournalWorkTimer timer;
    if (ended_)
        return;
    ended_ = true;
    file_.reset();
    if (final_)
        for (const std::wstring& backup : ownBackups_)
            DeleteBackup(backup);
    ::DeleteFileW(path_.c_str());
    if (!madeFolder_.empty())
        ::RemoveDirectoryW(madeFolder_.c_str());
}

JournalRecovery RecoverJournal(const std::wstring& path)
{
    JournalRecovery recovery;
    std::vector<std::uint8_t> bytes;
    bool exists = false, trusted = false;
    const bool read = ReadJournalFile(path, bytes, exists, trusted);
    if (!exists)
        return recovery;
    if (!trusted) {
        recovery.outcome = JournalRecovery::Untrusted;
        return recovery;
    }
    std::vector<JournalEntry> entries;
    if (!read || !ParseJournal(bytes, entries)) {
        recovery.outcome = JournalRecovery::Unreadable;
        return recovery;
    }

    bool final = false;
    std::set<std::wstring> savedBackups;
    for (const JournalEntry& entry : entries) {
        final = final || entry.type == JournalEntryType::Final;
        if (entry.type == JournalEntryType::BackupSaved)
            savedBackups.insert(entry.text);
    }
    if (final) {
        // Everything was done: only what the end of the installation had still to delete goes.
        for (const JournalEntry& entry : entries)
            if (entry.type == JournalEntryType::Action && Exists(entry.backup))
                DeleteBackup(entry.backup);
        recovery.outcome = JournalRecovery::Completed;
    } else {
        // A file written ahead (Foresee) that then existed when its turn came has a newer
        // entry of its own, with its backup: only the newest entry of a file is undone.
        std::set<std::wstring> undoneFiles;
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            if (entry->type == JournalEntryType::Action) {
                if (entry->kind == ActionKind::FileInstalled && !undoneFiles.insert(entry->text).second)
                    continue;
                if (!UndoAction(*entry, savedBackups)
                    && std::find(recovery.notUndone.begin(), recovery.notUndone.end(), entry->text)
                           == recovery.notUndone.end())
                    recovery.notUndone.push_back(entry->text);
            } else if (entry->type == JournalEntryType::RegistryValue) {
                RestoreRegistryValue(*entry);
            }
        }
        recovery.outcome = entries.empty() ? JournalRecovery::None : JournalRecovery::Undone;
    }
    if (!entries.empty())
        RemoveTemporaryFolder(entries.front().backup);
    ::DeleteFileW(path.c_str());
    if (!entries.empty() && (entries.front().flags & kJournalMadeItsFolder))
        ::RemoveDirectoryW(FolderOf(path).c_str());
    return recovery;
}
