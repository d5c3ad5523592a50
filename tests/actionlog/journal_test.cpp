#include "actionlog/journal.h"

#include <sddl.h>

#include "product/product_identity.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::BytesOf;
using testing_support::Exists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

using Bytes = std::vector<std::uint8_t>;

JournalEntry Start(const std::wstring& temporaryFolder, std::uint32_t flags = 0)
{
    return {JournalEntryType::Start, {}, -1, flags, L"Tavelo 7", temporaryFolder, {}};
}

JournalEntry Action(ActionKind kind, const std::wstring& text, const std::wstring& backup = {}, std::uint32_t flags = 0)
{
    return {JournalEntryType::Action, kind, kind == ActionKind::FileInstalled ? 1 : -1, flags, text, backup, {}};
}

JournalEntry Saved(const std::wstring& backup)
{
    return {JournalEntryType::BackupSaved, {}, -1, 0, backup, {}, {}};
}

const std::vector<JournalEntry> kEntries = {
    Start(L"C:\\users\\me\\Temp\\korvane_{1}", kJournalMadeItsFolder),
    Action(ActionKind::FolderCreated, L"C:\\Program Files\\Korvane"),
    Action(ActionKind::FileInstalled, L"C:\\Program Files\\Korvane\\Tavelo.exe", L"C:\\users\\me\\Temp\\kv1A.TMP"),
    {JournalEntryType::RegistryValue, {}, REG_SZ, kJournalKeyExisted | kJournalValueExisted, L"Software\\Korvane",
     L"Tavelo 7 Path", {'C', 0, ':', 0, 0, 0}},
    Saved(L"C:\\users\\me\\Temp\\kv1A.TMP"),
};

TEST(JournalFormat, EntriesReadBackAsWritten)
{
    std::vector<JournalEntry> entries;
    ASSERT_TRUE(ParseJournal(JournalBytes(kEntries), entries));
    EXPECT_EQ(entries, kEntries);
    // Cut short while its start was written: nothing was done.
    EXPECT_TRUE(ParseJournal({}, entries));
    EXPECT_THAT(entries, IsEmpty());
    EXPECT_TRUE(ParseJournal(Bytes{'K', 'v', 'J'}, entries));
    EXPECT_THAT(entries, IsEmpty());
}

TEST(JournalFormat, TornLastEntryCountsAsNotWritten)
{
    const std::vector<JournalEntry> complete(kEntries.begin(), kEntries.end() - 1);
    const Bytes whole = JournalBytes(kEntries);
    const std::size_t lastStart = JournalBytes(complete).size();
    for (std::size_t size = lastStart; size < whole.size(); ++size) {
        std::vector<JournalEntry> entries;
        ASSERT_TRUE(ParseJournal(Bytes(whole.begin(), whole.begin() + size), entries)) << size;
        EXPECT_EQ(entries, complete) << size;
    }
    // All its bytes there, but not the right ones.
    for (std::size_t at = lastStart; at < whole.size(); ++at) {
        Bytes damaged = whole;
        damaged[at] ^= 0x10;
        std::vector<JournalEntry> entries;
        const bool read = ParseJournal(damaged, entries);
        // Its checksum or payload damaged: torn. Its length made larger reaches past the end
        // (torn); made smaller, what follows does not read.
        if (at >= lastStart + 4) {
            EXPECT_TRUE(read) << at;
        }
        if (read) {
            EXPECT_EQ(entries, complete) << at;
        }
    }
}

TEST(JournalFormat, DamageBeforeTheLastEntryOrAnotherStartMakesItUnreadable)
{
    const Bytes whole = JournalBytes(kEntries);
    const std::size_t secondStart = JournalBytes({kEntries[0]}).size();
    std::vector<JournalEntry> entries;
    for (std::size_t at : {std::size_t{0}, std::size_t{7}, secondStart + 8, secondStart + 20}) {
        Bytes damaged = whole;
        damaged[at] ^= 0x01;
        EXPECT_FALSE(ParseJournal(damaged, entries)) << at;
    }
    EXPECT_FALSE(ParseJournal(JournalBytes({kEntries[1], kEntries[2]}), entries));
    EXPECT_FALSE(ParseJournal(JournalBytes({kEntries[0], kEntries[0]}), entries));
    Bytes garbage(300);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    EXPECT_FALSE(ParseJournal(garbage, entries));
}

// The bytes of a file that another handle is writing.
Bytes ReadWhileOpen(const std::wstring& path)
{
    const kv::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    Bytes bytes(4096);
    DWORD read = 0;
    if (!file || !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return {};
    bytes.resize(read);
    return bytes;
}

class JournalRecoveryTest : public testing::Test {
protected:
    void SetUp() override { SetProductCode(product::kThisProductCode); }

    std::wstring Path(const std::wstring& name) const { return root_ / name; }
    void Write(const std::wstring& name, const std::string& content) { WriteFileBytes(Path(name), BytesOf(content)); }
    std::string Read(const std::wstring& name) const
    {
        const Bytes bytes = ReadFileBytes(Path(name));
        return std::string(bytes.begin(), bytes.end());
    }

    testing_support::TemporaryFolder root_;
};

TEST_F(JournalRecoveryTest, InterruptedInstallationIsUndoneNewestFirst)
{
    // The run's temporary folder with a file in it.
    const std::wstring temporary = Path(L"korvane_{5f0c}");
    ASSERT_TRUE(::CreateDirectoryW(temporary.c_str(), nullptr));
    Write(L"korvane_{5f0c}\\DSETUP.dll", "dx");
    // A folder and a new file in it.
    ASSERT_TRUE(::CreateDirectoryW(Path(L"New").c_str(), nullptr));
    Write(L"New\\Tavelo.fr.dll", "new");
    // A replaced read-only file: the original was moved to its backup, which is complete.
    Write(L"kv1.TMP", "old program");
    ::SetFileAttributesW(Path(L"kv1.TMP").c_str(), FILE_ATTRIBUTE_READONLY);
    Write(L"Tavelo.exe", "new pro");
    // A backup that was being copied when the installation stopped: the file is still whole.
    Write(L"Settings.kvs", "settings");
    Write(L"kv2.TMP", "sett");
    // A backup that was named but never made: the file was never touched.
    Write(L"Mine.tvp", "mine");
    // A shared file taken over unchanged, with its copy.
    Write(L"Brushes.kvl", "brushes");
    Write(L"kv4.TMP", "brushes");
    // A new file still open in another program.
    Write(L"Busy.dll", "busy");
    const kv::unique_file busy(::CreateFileW(Path(L"Busy.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy);

    const std::wstring journal = Path(L"Korvane\\Tavelo 7 Installation.journal");
    ASSERT_TRUE(::CreateDirectoryW(Path(L"Korvane").c_str(), nullptr));
    WriteFileBytes(journal, JournalBytes({
                                Start(temporary, kJournalMadeItsFolder),
                                // Written ahead as new files; when their turn came they
                                // existed and got entries of their own: only those count.
                                Action(ActionKind::FileInstalled, Path(L"Tavelo.exe")),
                                Action(ActionKind::FileInstalled, Path(L"Brushes.kvl")),
                                Action(ActionKind::FolderCreated, Path(L"New")),
                                Action(ActionKind::FileInstalled, Path(L"New\\Tavelo.fr.dll")),
                                Action(ActionKind::FileInstalled, Path(L"Tavelo.exe"), Path(L"kv1.TMP")),
                                Saved(Path(L"kv1.TMP")),
                                Action(ActionKind::FileInstalled, Path(L"Settings.kvs"), Path(L"kv2.TMP")),
                                Action(ActionKind::FileInstalled, Path(L"Mine.tvp"), Path(L"kv3.TMP")),
                                Action(ActionKind::FileInstalled, Path(L"Brushes.kvl"), Path(L"kv4.TMP"), kJournalInPlace),
                                Saved(Path(L"kv4.TMP")),
                                Action(ActionKind::FileInstalled, Path(L"Busy.dll")),
                                Action(ActionKind::DirectXUpdate, L""),
                            }));

    const JournalRecovery recovery = RecoverJournal(journal);

    EXPECT_EQ(recovery.outcome, JournalRecovery::Undone);
    EXPECT_THAT(recovery.notUndone, ElementsAre(Path(L"Busy.dll")));
    EXPECT_FALSE(Exists(temporary));
    EXPECT_FALSE(Exists(Path(L"New")));
    EXPECT_EQ(Read(L"Tavelo.exe"), "old program");
    EXPECT_TRUE(::GetFileAttributesW(Path(L"Tavelo.exe").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Read(L"Settings.kvs"), "settings");
    EXPECT_EQ(Read(L"Mine.tvp"), "mine");
    EXPECT_EQ(Read(L"Brushes.kvl"), "brushes");
    for (const wchar_t* backup : {L"kv1.TMP", L"kv2.TMP", L"kv3.TMP", L"kv4.TMP"})
        EXPECT_FALSE(Exists(Path(backup))) << backup;
    EXPECT_FALSE(Exists(journal));
    EXPECT_FALSE(Exists(Path(L"Korvane")));
    ::SetFileAttributesW(Path(L"Tavelo.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(JournalRecoveryTest, FinalInstallationOnlyLosesItsBackups)
{
    Write(L"Tavelo.exe", "new");
    Write(L"kv1.TMP", "old");
    const std::wstring journal = Path(L"Tavelo 7 Installation.journal");
    WriteFileBytes(journal, JournalBytes({Start(Path(L"korvane_{77}")), Action(ActionKind::FileInstalled, Path(L"Tavelo.exe"), Path(L"kv1.TMP")),
                                          Saved(Path(L"kv1.TMP")), {JournalEntryType::Final, {}, -1, 0, {}, {}, {}}}));

    EXPECT_EQ(RecoverJournal(journal).outcome, JournalRecovery::Completed);
    EXPECT_EQ(Read(L"Tavelo.exe"), "new");
    EXPECT_FALSE(Exists(Path(L"kv1.TMP")));
    EXPECT_FALSE(Exists(journal));
    EXPECT_TRUE(Exists(root_.path()));
}

TEST_F(JournalRecoveryTest, JournalThatCannotBeReadIsLeftAlone)
{
    Write(L"Tavelo.exe", "new");
    const std::wstring journal = Path(L"Tavelo 7 Installation.journal");
    Bytes bytes = JournalBytes({Start(Path(L"korvane_{77}")), Action(ActionKind::FileInstalled, Path(L"Tavelo.exe")),
                                Action(ActionKind::DirectXUpdate, L"")});
    bytes[bytes.size() / 2] ^= 0x40;
    for (const Bytes& content : {bytes, BytesOf("garbage that was never a journal")}) {
        WriteFileBytes(journal, content);
        EXPECT_EQ(RecoverJournal(journal).outcome, JournalRecovery::Unreadable);
        EXPECT_EQ(ReadFileBytes(journal), content);
        EXPECT_EQ(Read(L"Tavelo.exe"), "new");
    }
    EXPECT_EQ(RecoverJournal(Path(L"none.journal")).outcome, JournalRecovery::None);
}

// Only a journal that a user without administrator rights cannot have made is undone: one
// owned by Administrators, SYSTEM or the administrator who runs the installer.
TEST(TrustedJournalOwner, OnlyAnAdministratorsJournalIsUndone)
{
    const auto sid = [](const wchar_t* text) {
        kv::unique_local_ptr<void> sid;
        EXPECT_TRUE(::ConvertStringSidToSidW(text, sid.put()));
        return sid;
    };
    const kv::unique_local_ptr<void> installingUser = sid(L"S-1-5-21-7-8-9-1001");
    const struct {
        const wchar_t* owner;
        bool trusted;
    } cases[] = {
        {L"S-1-5-32-544", true},   {L"S-1-5-18", true},  {L"S-1-5-21-7-8-9-1001", true},
        {L"S-1-5-21-7-8-9-1002", false}, {L"S-1-5-32-545", false}, {L"S-1-1-0", false},
        {L"S-1-5-32-547", false},  {L"S-1-3-0", false},
    };
    for (const auto& [owner, trusted] : cases)
        EXPECT_EQ(TrustedJournalOwner(sid(owner).get(), installingUser.get()), trusted) << owner;
    EXPECT_FALSE(TrustedJournalOwner(nullptr, installingUser.get()));
    EXPECT_FALSE(TrustedJournalOwner(sid(L"S-1-5-21-7-8-9-1001").get(), nullptr));
}

TEST_F(JournalRecoveryTest, JournalHoldsWhatWasRecordedAndGoesWithTheFolderItMade)
{
    const std::wstring folder = Path(L"Korvane");
    const std::wstring path = folder + L"\\Tavelo 7 Installation.journal";
    std::vector<JournalEntry> entries;
    {
        Journal journal(path, L"Tavelo 7", Path(L"korvane_{1}"));
        EXPECT_EQ(journal.madeFolder(), folder);
        // An earlier journal is never overwritten.
        EXPECT_THROW(Journal(path, L"Tavelo 7", L""), std::system_error);
        // Written ahead once; the same record later writes nothing, another one does.
        journal.Foresee({Action(ActionKind::FolderCreated, Path(L"b")), Action(ActionKind::FileInstalled, Path(L"b\\b.dll"))});
        journal.Record(ActionRecord{ActionKind::FileInstalled, Path(L"b\\b.dll"), {}, false, 1});
        journal.Write({Action(ActionKind::FolderCreated, Path(L"b"))});
        journal.Record(ActionRecord{ActionKind::FileInstalled, Path(L"a.dll"), {}, false, 0});
        journal.BackupSaved(Path(L"kv9.TMP"));
        ASSERT_TRUE(ParseJournal(ReadWhileOpen(path), entries));
        EXPECT_TRUE(journal.AdoptMadeFolder(folder));
        EXPECT_FALSE(journal.AdoptMadeFolder(folder));
        journal.RolledBack();
        EXPECT_TRUE(journal.Settled());
        journal.End();
    }
    EXPECT_EQ(entries, (std::vector<JournalEntry>{Start(Path(L"korvane_{1}"), kJournalMadeItsFolder),
                                                  Action(ActionKind::FolderCreated, Path(L"b")),
                                                  Action(ActionKind::FileInstalled, Path(L"b\\b.dll")),
                                                  {JournalEntryType::Action, ActionKind::FileInstalled, 0, 0, Path(L"a.dll"), {}, {}},
                                                  Saved(Path(L"kv9.TMP"))}));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(folder));
}

TEST_F(JournalRecoveryTest, RegistryValueIsPutBackAsItWasAndAKeyMadeForItGoes)
{
    const std::wstring key = L"Software\\Korvane Journal Test " + std::to_wstring(::GetCurrentProcessId());
    const std::wstring before = L"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe";
    const auto setValue = [](const std::wstring& path, const std::wstring& text) {
        return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"Tavelo 7 Path", REG_SZ, text.c_str(),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    ASSERT_EQ(setValue(key, before), ERROR_SUCCESS);
    const std::wstring journal = Path(L"Tavelo 7 Installation.journal");
    {
        Journal writer(journal, L"Tavelo 7", L"");
        writer.RecordRegistryValue(key, L"Tavelo 7 Path");
        writer.RecordRegistryValue(key + L"\\New", L"Tavelo 7 Path");
    }   // stopped: the journal stays
    ASSERT_EQ(setValue(key, L"D:\\Tavelo.exe"), ERROR_SUCCESS);
    ASSERT_EQ(setValue(key + L"\\New", L"D:\\Tavelo.exe"), ERROR_SUCCESS);

    EXPECT_EQ(RecoverJournal(journal).outcome, JournalRecovery::Undone);

    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Tavelo 7 Path", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(value), before);
    kv::unique_hkey made;
    EXPECT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (key + L"\\New").c_str(), 0, KEY_READ, made.put()), ERROR_SUCCESS);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

} // namespace

