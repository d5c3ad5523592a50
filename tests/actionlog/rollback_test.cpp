#include "actionlog/rollback.h"

#include "actionlog/action_log.h"
#include "payload/payload_archive.h"
#include "product/product_identity.h"
#include "support/file_tree_snapshot.h"
#include "support/temporary_folder_override.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::ReadFileBytes;
using testing_support::SnapshotFileTree;
using testing_support::WriteFileBytes;

using Bytes = std::vector<std::uint8_t>;

using testing_support::BytesOf;
using testing_support::Exists;

std::vector<std::wstring> Backups(const ActionLog& log)
{
    std::vector<std::wstring> backups;
    for (const ActionRecord& record : log.records)
        if (!record.backup.empty())
            backups.push_back(record.backup);
    return backups;
}

class RollbackTest : public testing::Test {
protected:
    void SetUp() override { SetProductCode(product::kThisProductCode); }

    std::wstring Path(const std::wstring& relative) const { return folder_ / relative; }
    void MakeFolder(const std::wstring& relative) { ASSERT_TRUE(::CreateDirectoryW(Path(relative).c_str(), nullptr)); }

    testing_support::TemporaryFolder folder_;
    ActionLog log_;
};

TEST_F(RollbackTest, FailedInstallationLeavesTheFileTreeAsItWas)
{
    // An earlier installation: its read-only main program and a shared data file.
    MakeFolder(L"Program Files");
    MakeFolder(L"Program Files\\Korvane");
    MakeFolder(L"Program Files\\Korvane\\Tavelo 7");
    const std::wstring program = Path(L"Program Files\\Korvane\\Tavelo 7\\Tavelo.exe");
    WriteFileBytes(program, BytesOf("old program"));
    ASSERT_TRUE(::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY));
    MakeFolder(L"ProgramData");
    const std::wstring shared = Path(L"ProgramData\\Shared.dat");
    WriteFileBytes(shared, BytesOf("shared 1"));
    const auto before = SnapshotFileTree(folder_.path());

    // A language library in folders of its own.
    log_.AddFile(Path(L"Program Files\\Korvane\\Tavelo 7\\Lang\\Deutsch.dll"), FileKind::LanguageLibrary, false);
    WriteFileBytes(Path(L"Program Files\\Korvane\\Tavelo 7\\Lang\\Deutsch.dll"), BytesOf("library"));
    log_.Complete(true);
    // The main program replaced, and marked read-only as the installation does.
    log_.AddFile(program, FileKind::MainProgram, false);
    WriteFileBytes(program, BytesOf("new program"));
    ::SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);
    log_.Complete(true);
    // The shared file taken over in place: the rollback leaves it as it is.
    log_.AddFile(shared, FileKind::SharedData, true);
    log_.Complete(true);
    // A sample half written when the installation failed.
    log_.AddFile(Path(L"Desktop\\Samples\\Villas\\Villa.tvl"), FileKind::SampleData, false);
    WriteFileBytes(Path(L"Desktop\\Samples\\Villas\\Villa.tvl"), BytesOf("vil"));
    const auto backups = Backups(log_);
    ASSERT_EQ(backups.size(), 2u);

    log_.Rollback();
    EXPECT_TRUE(log_.records.empty());
    EXPECT_EQ(SnapshotFileTree(folder_.path()), before);
    for (const std::wstring& backup : backups)
        EXPECT_FALSE(Exists(backup));
}

TEST_F(RollbackTest, FoldersAreRemovedInnermostFirstAsFarAsTheyAreEmpty)
{
    log_.AddFile(Path(L"A\\B\\C\\File.dat"), FileKind::SharedData, false);
    WriteFileBytes(Path(L"A\\B\\C\\File.dat"), {1});
    log_.Complete(true);
    log_.AddFile(Path(L"A\\B\\Other.dat"), FileKind::SharedData, false);
    log_.Complete(false);   // never written
    WriteFileBytes(Path(L"A\\Notes.txt"), {2});   // put there by the user meanwhile

    log_.Rollback();
    testing_support::FileTreeSnapshot expected;
    expected[L"A"] = {::GetFileAttributesW(Path(L"A").c_str()), {}};
    expected[L"A\\Notes.txt"] = {::GetFileAttributesW(Path(L"A\\Notes.txt").c_str()), {2}};
    EXPECT_EQ(SnapshotFileTree(folder_.path()), expected);
}

TEST_F(RollbackTest, FileHeldOpenKeepsItsBackupInTheTemporaryFolder)
{
    const std::wstring file = Path(L"Tavelo.exe");
    WriteFileBytes(file, BytesOf("old"));
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    log_.AddFile(file, FileKind::MainProgram, false);
    const std::wstring backup = log_.records.back().backup;
    ASSERT_FALSE(backup.empty());
    WriteFileBytes(file, BytesOf("new"));
    log_.Complete(true);

    {
        // The product started meanwhile: its file cannot be deleted while it runs.
        const kv::unique_file held(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        log_.Rollback();
    }
    EXPECT_EQ(ReadFileBytes(file), BytesOf("new"));
    EXPECT_EQ(ReadFileBytes(backup), BytesOf("old"));
    EXPECT_EQ(::GetFileAttributesW(backup.c_str()), attributes);
    ::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(backup.c_str());
}

TEST_F(RollbackTest, ShortcutsAreRemovedAndTheEarlierOnesComeBack)
{
    MakeFolder(L"Menu");
    const std::wstring earlier = Path(L"Menu\\Tavelo 7.lnk");
    WriteFileBytes(earlier, BytesOf("earlier shortcut"));
    log_.previousRecords = {{ActionKind::ProgramShortcut, earlier, {}, true, -1}};
    const auto before = SnapshotFileTree(folder_.path());

    log_.AddShortcut(ShortcutKind::Program, Path(L"Menu"));
    EXPECT_FALSE(Exists(earlier));
    WriteFileBytes(earlier, BytesOf("new shortcut"));
    log_.Complete(true, earlier);
    log_.AddShortcut(ShortcutKind::Desktop, Path(L"Desktop"));
    WriteFileBytes(Path(L"Desktop\\Tavelo 7.lnk"), BytesOf("desktop"));
    log_.Complete(true, Path(L"Desktop\\Tavelo 7.lnk"));
    log_.AddShortcut(ShortcutKind::Uninstaller, Path(L"Menu"));
    log_.Complete(false);   // failed: no file, no text

    log_.Rollback();
    EXPECT_EQ(SnapshotFileTree(folder_.path()), before);
}

using testing_support::TemporaryFolderOverride;

TEST_F(RollbackTest, TemporaryFolderLongerThan246CharactersGivesNoBackups)
{
    // GetTempPathW ends the folder with a separator; 246 characters leave GetTempFileNameW
    // the 14 it needs.
    const std::size_t padding = 245 - folder_.path().size() - 1;
    const std::wstring longest = Path(std::wstring(padding, L'x'));
    const std::wstring tooLong = Path(std::wstring(padding + 1, L'y'));
    MakeFolder(std::wstring(padding, L'x'));
    MakeFolder(std::wstring(padding + 1, L'y'));
    ASSERT_EQ(longest.size() + 1, 246u);

    {
        const TemporaryFolderOverride temporary(tooLong + L"\\");
        EXPECT_EQ(MakeBackup(std::nullopt, false), L"");
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    }
    {
        const TemporaryFolderOverride temporary(longest + L"\\");
        const std::wstring name = MakeBackup(std::nullopt, false);
        EXPECT_EQ(name.substr(0, longest.size() + 3), longest + L"\\kv");
    }
}

TEST_F(RollbackTest, FileThatCannotBeSavedIsNeitherReplacedNorRemovedByTheRollback)
{
    const std::wstring program = Path(L"Tavelo.exe");
    const std::wstring shared = Path(L"Settings.kvs");
    WriteFileBytes(program, BytesOf("old program"));
    WriteFileBytes(shared, BytesOf("user settings"));
    // A temporary folder too long for backups (more than 246 characters).
    const std::wstring tooLong = std::wstring(250 - folder_.path().size(), L'y');
    MakeFolder(tooLong);
    const auto before = SnapshotFileTree(folder_.path());
    {
        const TemporaryFolderOverride temporary(Path(tooLong) + L"\\");
        // The shared file is taken over in place, with or without its copy.
        log_.AddFile(shared, FileKind::SharedData, true);
        log_.Complete(true);
        EXPECT_TRUE(log_.records.back().backup.empty());
        try {
            log_.AddFile(program, FileKind::MainProgram, false);
            ADD_FAILURE() << "a file that cannot be saved is about to be replaced";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), std::error_code(ERROR_FILENAME_EXCED_RANGE, std::system_category()));
        }
        EXPECT_TRUE(log_.pending);
        log_.Complete(false);
    }
    EXPECT_EQ(SnapshotFileTree(folder_.path()), before);

    log_.Rollback();
    EXPECT_EQ(SnapshotFileTree(folder_.path()), before);
}

TEST_F(RollbackTest, SharedFileTakenOverInPlaceStaysAsItIsAndItsCopyGoes)
{
    const std::wstring shared = Path(L"Settings.kvs");
    WriteFileBytes(shared, BytesOf("user settings"));
    const auto before = SnapshotFileTree(folder_.path());
    log_.AddFile(shared, FileKind::SharedData, true);
    log_.Complete(true);
    const std::wstring copy = log_.records.back().backup;
    ASSERT_FALSE(copy.empty());

    log_.Rollback();
    EXPECT_EQ(SnapshotFileTree(folder_.path()), before);
    EXPECT_FALSE(Exists(copy));
}

TEST_F(RollbackTest, MakeBackupOfAMissingFileGivesNothing)
{
    EXPECT_EQ(MakeBackup(Path(L"Missing.dll"), false), L"");
    EXPECT_EQ(MakeBackup(Path(L"Missing.dll"), true), L"");
}

TEST_F(RollbackTest, MakeBackupWithoutSourceReservesAFreeName)
{
    const std::wstring name = MakeBackup(std::nullopt, false);
    wchar_t temporary[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, temporary);
    EXPECT_EQ(name.substr(0, length + 2), std::wstring(temporary) + L"kv");
    EXPECT_FALSE(Exists(name));
}

} // namespace
