#include "actionlog/action_log.h"

#include "log_test_support.h"
#include "payload/payload_archive.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <vector>

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

using namespace actionlog_testing;

using testing_support::Exists;

std::wstring TemporaryFolderPath()
{
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    return folder;
}

// A backup lies in the user's temporary folder under a "kv" name of the system's choice.
void ExpectBackupName(const std::wstring& backup)
{
    const std::wstring folder = TemporaryFolderPath();
    ASSERT_GT(backup.size(), folder.size());
    EXPECT_EQ(backup.substr(0, folder.size()), folder);
    const std::wstring name = backup.substr(folder.size());
    EXPECT_EQ(name.substr(0, 2), L"kv");
    EXPECT_EQ(_wcsicmp(name.substr(name.size() - 4).c_str(), L".tmp"), 0) << "Windows names it .TMP, Wine .tmp";
}

void RemoveBackup(const std::wstring& backup)
{
    if (!backup.empty()) {
        ::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(backup.c_str());
    }
}

class ActionLogTest : public testing::Test {
protected:
    std::wstring Path(const std::wstring& relative) const { return folder_ / relative; }

    testing_support::TemporaryFolder folder_;
    ActionLog log_;
};

TEST_F(ActionLogTest, CreateFoldersRecordsEachMissingFolderFromTheOutermostIn)
{
    log_.CreateFolders(Path(L"Korvane\\Tavelo 7\\Lang"));
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::FolderCreated, Path(L"Korvane"), true, -1},
                                                           {ActionKind::FolderCreated, Path(L"Korvane\\Tavelo 7"), true, -1},
                                                           {ActionKind::FolderCreated, Path(L"Korvane\\Tavelo 7\\Lang"), true, -1}}));
    EXPECT_TRUE(::PathIsDirectoryW(Path(L"Korvane\\Tavelo 7\\Lang").c_str()));
    EXPECT_FALSE(log_.pending);
    for (const ActionRecord& record : log_.records)
        EXPECT_TRUE(record.backup.empty());
}

TEST_F(ActionLogTest, CreateFoldersLeavesExistingFoldersUnrecorded)
{
    ASSERT_TRUE(::CreateDirectoryW(Path(L"Korvane").c_str(), nullptr));
    log_.CreateFolders(Path(L"Korvane\\Tavelo 7\\"));
    // The last folder is recorded as the path was given, trailing separator included.
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::FolderCreated, Path(L"Korvane\\Tavelo 7\\"), true, -1}}));
    log_.records.clear();
    log_.CreateFolders(Path(L"Korvane\\Tavelo 7"));
    EXPECT_TRUE(log_.records.empty());
}

TEST_F(ActionLogTest, CreateFoldersStopsAtTheFirstFolderThatCannotBeCreated)
{
    // "*" is no valid character of a file name.
    log_.CreateFolders(Path(L"New\\Bad*Name\\Deeper"));
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::FolderCreated, Path(L"New"), true, -1}}));
    EXPECT_FALSE(Exists(Path(L"New\\Bad*Name\\Deeper")));

    log_.records.clear();
    WriteFileBytes(Path(L"Taken"), {1});   // a file where a folder should go
    log_.CreateFolders(Path(L"Taken\\Tavelo 7"));
    EXPECT_TRUE(log_.records.empty());
}

TEST_F(ActionLogTest, AddFileRecordsTheMissingFoldersThenThePendingFile)
{
    const std::wstring file = Path(L"Korvane\\Tavelo 7\\Lang\\Deutsch.dll");
    log_.AddFile(file, FileKind::LanguageLibrary, false);
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::FolderCreated, Path(L"Korvane"), true, -1},
                                                           {ActionKind::FolderCreated, Path(L"Korvane\\Tavelo 7"), true, -1},
                                                           {ActionKind::FolderCreated, Path(L"Korvane\\Tavelo 7\\Lang"), true, -1},
                                                           {ActionKind::FileInstalled, file, false, 0}}));
    EXPECT_TRUE(log_.pending);
    EXPECT_TRUE(log_.records.back().backup.empty());
    EXPECT_FALSE(Exists(file));
}

TEST_F(ActionLogTest, AddFileMovesAReplacedFileToABackupWithItsAttributes)
{
    const std::wstring file = Path(L"Tavelo.exe");
    WriteFileBytes(file, {'o', 'l', 'd'});
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = ::GetFileAttributesW(file.c_str());   // Wine adds the archive mark
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);

    log_.AddFile(file, FileKind::MainProgram, false);
    ASSERT_EQ(log_.records.size(), 1u);
    const std::wstring backup = log_.records.back().backup;
    ExpectBackupName(backup);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(ReadFileBytes(backup), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(::GetFileAttributesW(backup.c_str()), attributes);
    RemoveBackup(backup);
}

TEST_F(ActionLogTest, AddFileCopiesAFileThatIsTakenOverInPlace)
{
    const std::wstring file = Path(L"Shared.dat");
    WriteFileBytes(file, {'s', 'h', 'a', 'r', 'e', 'd'});
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

    log_.AddFile(file, FileKind::SharedData, true);
    const std::wstring backup = log_.records.back().backup;
    ExpectBackupName(backup);
    EXPECT_EQ(ReadFileBytes(file), (std::vector<std::uint8_t>{'s', 'h', 'a', 'r', 'e', 'd'}));
    EXPECT_EQ(ReadFileBytes(backup), ReadFileBytes(file));
    const DWORD attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_EQ(::GetFileAttributesW(file.c_str()), attributes);
    EXPECT_EQ(::GetFileAttributesW(backup.c_str()), attributes);
    RemoveBackup(backup);
}

TEST_F(ActionLogTest, AddFileMakesNoBackupOfAFolder)
{
    ASSERT_TRUE(::CreateDirectoryW(Path(L"Lang").c_str(), nullptr));
    log_.AddFile(Path(L"Lang"), FileKind::LanguageLibrary, false);
    EXPECT_TRUE(log_.records.back().backup.empty());
    EXPECT_TRUE(::PathIsDirectoryW(Path(L"Lang").c_str()));
}

TEST_F(ActionLogTest, CompleteEndsOnlyThePendingRecord)
{
    log_.Complete(true, L"ignored");
    EXPECT_TRUE(log_.records.empty());

    log_.AddRegistration();
    log_.AddDirectX();   // announced while the registration is still pending: it stays not done
    log_.Complete(false, L"DirectX status");
    log_.Complete(true, L"too late");
    log_.AddUninstallKey(nullptr);
    log_.Complete(true);
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::ProductRegistration, L"", false, -1},
                                                           {ActionKind::DirectXUpdate, L"DirectX status", false, -1},
                                                           {ActionKind::UninstallKey, L"", true, -1}}));
    EXPECT_FALSE(log_.pending);
}

TEST_F(ActionLogTest, AddShortcutMovesTheEarlierShortcutOfItsKindAway)
{
    const std::wstring earlier = Path(L"Tavelo.lnk");
    WriteFileBytes(earlier, {'l', 'n', 'k'});
    log_.previousRecords = {{ActionKind::DesktopShortcut, Path(L"Desktop.lnk"), {}, true, -1},
                            {ActionKind::ProgramShortcut, earlier, {}, true, -1}};

    log_.AddShortcut(ShortcutKind::Program, Path(L"Menu\\Tavelo 7"));
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::FolderCreated, Path(L"Menu"), true, -1},
                                                           {ActionKind::FolderCreated, Path(L"Menu\\Tavelo 7"), true, -1},
                                                           {ActionKind::ProgramShortcut, L"", false, -1}}));
    EXPECT_TRUE(log_.pending);
    const std::wstring backup = log_.records.back().backup;
    ExpectBackupName(backup);
    EXPECT_FALSE(Exists(earlier));
    EXPECT_EQ(ReadFileBytes(backup), (std::vector<std::uint8_t>{'l', 'n', 'k'}));
    log_.Complete(true, Path(L"Menu\\Tavelo 7\\Tavelo.lnk"));
    EXPECT_EQ(log_.records.back().text, Path(L"Menu\\Tavelo 7\\Tavelo.lnk"));
    RemoveBackup(backup);

    // The earlier desktop shortcut no longer exists: nothing to save.
    log_.AddShortcut(ShortcutKind::Desktop, Path(L"Menu"));
    EXPECT_EQ(log_.records.back().kind, ActionKind::DesktopShortcut);
    EXPECT_TRUE(log_.records.back().backup.empty());
    log_.AddShortcut(ShortcutKind::Uninstaller, Path(L"Menu"));
    EXPECT_EQ(log_.records.back().kind, ActionKind::UninstallShortcut);
    EXPECT_TRUE(log_.records.back().backup.empty());
}

TEST_F(ActionLogTest, AddShortcutLooksOnlyAtTheFirstEarlierShortcutOfItsKind)
{
    const std::wstring second = Path(L"Second.lnk");
    WriteFileBytes(second, {1});
    log_.previousRecords = {{ActionKind::ProgramShortcut, Path(L"Gone.lnk"), {}, true, -1},
                            {ActionKind::ProgramShortcut, second, {}, true, -1}};
    log_.AddShortcut(ShortcutKind::Program, folder_.path());
    EXPECT_TRUE(log_.records.back().backup.empty());
    EXPECT_TRUE(Exists(second));
}

TEST_F(ActionLogTest, AddUninstallKeySavesAnExistingKeyAsItsBackup)
{
    const std::wstring keyPath = L"Software\\Korvane\\ActionLogTest-" + std::to_wstring(::GetCurrentProcessId());
    kv::unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const wchar_t value[] = L"Tavelo 7.01h";
    ::RegSetValueExW(key.get(), L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);

    log_.AddUninstallKey(key.get());
    const std::wstring backup = log_.records.back().backup;
    key.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
    ExpectBackupName(backup);
    EXPECT_FALSE(ReadFileBytes(backup).empty());
    EXPECT_EQ(View(log_.records), (std::vector<RecordView>{{ActionKind::UninstallKey, L"", false, -1}}));
    RemoveBackup(backup);
}

TEST_F(ActionLogTest, HasCompletedFileWantsTheExactPathOfACompletedFile)
{
    log_.previousRecords = {{ActionKind::FileInstalled, L"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe", {}, true, 1},
                            {ActionKind::FileInstalled, L"C:\\Program Files\\Korvane\\Tavelo 7\\Failed.dll", {}, false, 0},
                            {ActionKind::FolderCreated, L"C:\\Program Files\\Korvane", {}, true, -1}};
    EXPECT_TRUE(log_.HasCompletedFile(L"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe"));
    EXPECT_FALSE(log_.HasCompletedFile(L"C:\\Program Files\\Korvane\\Tavelo 7\\tavelo.exe"));
    EXPECT_FALSE(log_.HasCompletedFile(L"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe "));
    EXPECT_FALSE(log_.HasCompletedFile(L"C:\\Program Files\\Korvane\\Tavelo 7\\Failed.dll"));
    EXPECT_FALSE(log_.HasCompletedFile(L"C:\\Program Files\\Korvane"));
}

} // namespace
