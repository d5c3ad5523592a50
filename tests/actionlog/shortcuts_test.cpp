// Shell shortcuts and the installation's shortcut step, in temporary folders (the desktop
// shortcut, which goes to the all-users desktop, is proved by the whole installations).
#include "actionlog/shortcuts.h"

#include "install/install_state.h"
#include "product/languages.h"
#include "support/shell_shortcut.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <tuple>

using testing_support::ReadShortcut;
using testing_support::ShortcutTarget;
using testing_support::TemporaryFolder;

namespace {

using testing_support::Exists;

class ShortcutTest : public testing::Test {
protected:
    static void SetUpTestSuite() { SetLanguage(kEnglish); }

    TemporaryFolder folder_;
    const std::wstring program_ = L"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe";
};

TEST_F(ShortcutTest, NamedShortcutStartsTheTargetInItsFolder)
{
    std::wstring linkPath;
    ASSERT_TRUE(CreateShortcut(program_, folder_.path(), L"Tavelo 7.01j", &linkPath));
    EXPECT_EQ(linkPath, folder_ / L"Tavelo 7.01j.lnk");
    EXPECT_EQ(ReadShortcut(linkPath), (ShortcutTarget{program_, L"C:\\Program Files\\Korvane\\Tavelo 7"}));
}

TEST_F(ShortcutTest, WithoutNameTheTargetsFileNameWithoutExtensionNamesIt)
{
    std::wstring linkPath;
    ASSERT_TRUE(CreateShortcut(program_, folder_.path(), std::nullopt, &linkPath));
    EXPECT_EQ(linkPath, folder_ / L"Tavelo.lnk");
    EXPECT_EQ(ReadShortcut(linkPath).path, program_);
}

TEST_F(ShortcutTest, ExistingShortcutOfTheSameNameIsOverwritten)
{
    ASSERT_TRUE(CreateShortcut(L"C:\\Old\\Old.exe", folder_.path(), L"Tavelo", nullptr));
    ASSERT_TRUE(CreateShortcut(program_, folder_.path(), L"Tavelo", nullptr));
    EXPECT_EQ(ReadShortcut(folder_ / L"Tavelo.lnk").path, program_);
}

TEST_F(ShortcutTest, NoShortcutForAMissingFolderAnEmptyTargetOrAPathTooLong)
{
    std::wstring linkPath = L"unchanged";
    EXPECT_FALSE(CreateShortcut(program_, folder_ / L"missing", L"Tavelo", &linkPath));
    EXPECT_FALSE(CreateShortcut(program_, L"", L"Tavelo", &linkPath));
    EXPECT_FALSE(CreateShortcut(L"", folder_.path(), L"Tavelo", &linkPath));
    EXPECT_FALSE(CreateShortcut(program_, folder_.path(), std::wstring(MAX_PATH - folder_.path().size() - 4, L'n'),
                                &linkPath));
    EXPECT_EQ(linkPath, L"unchanged");
    EXPECT_FALSE(Exists(folder_ / L"missing"));
}

TEST_F(ShortcutTest, MenuShortcutsAreMadeInANewFolderRecordedLevelByLevel)
{
    InstallState state;
    state.createMenuShortcuts = true;
    state.startMenuFolder = folder_ / L"Korvane\\Tavelo 7";
    const std::wstring uninstaller = L"C:\\Program Files\\Korvane\\Tavelo 7\\Uninstall.exe";

    EXPECT_TRUE(CreateProductShortcuts(state, program_, uninstaller));

    std::vector<std::tuple<ActionKind, std::wstring, bool>> records;
    for (const ActionRecord& record : state.actionLog.records)
        records.emplace_back(record.kind, record.text, record.done);
    EXPECT_EQ(records, (std::vector<std::tuple<ActionKind, std::wstring, bool>>{
                           {ActionKind::FolderCreated, folder_ / L"Korvane", true},
                           {ActionKind::FolderCreated, folder_ / L"Korvane\\Tavelo 7", true},
                           {ActionKind::ProgramShortcut, folder_ / L"Korvane\\Tavelo 7\\Tavelo 7.01j.lnk", true},
                           {ActionKind::UninstallShortcut, folder_ / L"Korvane\\Tavelo 7\\Uninstall Tavelo.lnk", true}}));
    EXPECT_EQ(ReadShortcut(folder_ / L"Korvane\\Tavelo 7\\Uninstall Tavelo.lnk").path, uninstaller);
    EXPECT_FALSE(state.actionLog.pending);
}

TEST_F(ShortcutTest, ShortcutsThatCannotBeMadeAreRecordedNotDoneAndTheStepFails)
{
    testing_support::WriteFileBytes(folder_ / L"file", {1});   // no folder can be made below a file
    InstallState state;
    state.createMenuShortcuts = true;
    state.startMenuFolder = folder_ / L"file\\Tavelo 7";

    EXPECT_FALSE(CreateProductShortcuts(state, program_, L"C:\\Program Files\\Korvane\\Tavelo 7\\Uninstall.exe"));

    std::vector<std::tuple<ActionKind, std::wstring, bool>> records;
    for (const ActionRecord& record : state.actionLog.records)
        records.emplace_back(record.kind, record.text, record.done);
    EXPECT_EQ(records, (std::vector<std::tuple<ActionKind, std::wstring, bool>>{{ActionKind::ProgramShortcut, L"", false},
                                                                        {ActionKind::UninstallShortcut, L"", false}}));
}

} // namespace
