#include "actionlog/action_log.h"

#include "actionlog/paths_equivalent.h"
#include "log_test_support.h"
#include "product/product_identity.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using namespace actionlog_testing;
using testing_support::WriteFileBytes;

const std::wstring kKeyText = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

class UninstallLogMergeTest : public testing::Test {
protected:
    void SetUp() override { SetProductCode(product::kThisProductCode); }

    std::wstring Path(const std::wstring& relative) const { return folder_ / relative; }

    // The merged records that Write leaves in memory.
    std::vector<RecordView> Merge(std::list<ActionRecord> previous, std::list<ActionRecord> current)
    {
        ActionLog log;
        log.previousRecords = std::move(previous);
        log.records = std::move(current);
        EXPECT_TRUE(log.Write(logPath_, L"C:\\T", L"C:\\M"));
        EXPECT_TRUE(log.previousRecords.empty());
        return View(log.records);
    }

    testing_support::TemporaryFolder folder_;
    const std::wstring logPath_ = folder_ / L"Uninstall.ulog";
};

TEST_F(UninstallLogMergeTest, SurvivorsOfThePreviousLogComeFirstInTheirOrder)
{
    const auto merged = Merge({{ActionKind::FolderCreated, L"Q:\\Old", {}, true, -1},
                               {ActionKind::FileInstalled, L"Q:\\Old\\Removed.dll", {}, true, 0},
                               {ActionKind::FileInstalled, L"Q:\\Same\\Tavelo.exe", {}, true, 1},
                               {ActionKind::DirectXUpdate, L"earlier DirectX", {}, true, -1}},
                              {{ActionKind::FolderCreated, L"Q:\\Same", {}, true, -1}, {ActionKind::FileInstalled, L"Q:\\Same\\Tavelo.exe", {}, false, 1}});
    EXPECT_EQ(merged, (std::vector<RecordView>{{ActionKind::FolderCreated, L"Q:\\Old", true, -1},
                                               {ActionKind::FileInstalled, L"Q:\\Old\\Removed.dll", true, 0},
                                               {ActionKind::DirectXUpdate, L"earlier DirectX", true, -1},
                                               {ActionKind::FolderCreated, L"Q:\\Same", true, -1},
                                               {ActionKind::FileInstalled, L"Q:\\Same\\Tavelo.exe", false, 1}}));
}

TEST_F(UninstallLogMergeTest, SameFileByLetterCaseOrBySecondNameIsDropped)
{
    WriteFileBytes(Path(L"Shared.DAT"), {1});
    WriteFileBytes(Path(L"Original.dat"), {2});
    ASSERT_TRUE(::CreateHardLinkW(Path(L"Second name.dat").c_str(), Path(L"Original.dat").c_str(), nullptr));
    WriteFileBytes(Path(L"Other.dat"), {3});

    const auto merged = Merge({{ActionKind::FileInstalled, Path(L"shared.dat"), {}, true, 3},
                               {ActionKind::FileInstalled, Path(L"Second name.dat"), {}, true, 3},
                               {ActionKind::FileInstalled, Path(L"Other.dat"), {}, true, 3}},
                              {{ActionKind::FileInstalled, Path(L"Shared.DAT"), {}, true, 3}, {ActionKind::FileInstalled, Path(L"Original.dat"), {}, true, 3}});
    EXPECT_EQ(merged, (std::vector<RecordView>{{ActionKind::FileInstalled, Path(L"Other.dat"), true, 3},
                                               {ActionKind::FileInstalled, Path(L"Shared.DAT"), true, 3},
                                               {ActionKind::FileInstalled, Path(L"Original.dat"), true, 3}}));
}

TEST_F(UninstallLogMergeTest, WithoutEitherFileLetterCaseOfTheAbsolutePathsDecides)
{
    const auto merged = Merge({{ActionKind::FileInstalled, L"Q:\\Program Files\\Korvane\\TAVELO.EXE", {}, true, 1},
                               {ActionKind::FileInstalled, L"Q:\\Program Files\\Korvane\\Tavelo.ex", {}, true, 1},
                               {ActionKind::FolderCreated, L"q:\\program files\\korvane", {}, true, -1}},
                              {{ActionKind::FolderCreated, L"Q:\\Program Files\\Korvane", {}, true, -1},
                               {ActionKind::FileInstalled, L"Q:\\Program Files\\Korvane\\Tavelo.exe", {}, true, 1}});
    EXPECT_EQ(merged, (std::vector<RecordView>{{ActionKind::FileInstalled, L"Q:\\Program Files\\Korvane\\Tavelo.ex", true, 1},
                                               {ActionKind::FolderCreated, L"Q:\\Program Files\\Korvane", true, -1},
                                               {ActionKind::FileInstalled, L"Q:\\Program Files\\Korvane\\Tavelo.exe", true, 1}}));
}

TEST_F(UninstallLogMergeTest, PathsMatchOnlyWithinTheirKind)
{
    const auto merged = Merge({{ActionKind::FileInstalled, L"Q:\\Korvane", {}, true, 0}, {ActionKind::FolderCreated, L"Q:\\Korvane\\A.dll", {}, true, -1}},
                              {{ActionKind::FolderCreated, L"Q:\\Korvane", {}, true, -1}, {ActionKind::FileInstalled, L"Q:\\Korvane\\A.dll", {}, true, 0}});
    EXPECT_EQ(merged.size(), 4u);
}

TEST_F(UninstallLogMergeTest, OfTwoEquivalentPreviousRecordsTheLaterSurvives)
{
    const auto merged = Merge({{ActionKind::FileInstalled, L"Q:\\A.dll", {}, false, 0},
                               {ActionKind::FileInstalled, L"Q:\\B.dll", {}, true, 0},
                               {ActionKind::FileInstalled, L"q:\\a.DLL", {}, true, 4}},
                              {});
    EXPECT_EQ(merged, (std::vector<RecordView>{{ActionKind::FileInstalled, L"Q:\\B.dll", true, 0}, {ActionKind::FileInstalled, L"q:\\a.DLL", true, 4}}));
}

TEST_F(UninstallLogMergeTest, OtherKindsSurviveOnlyWithoutACurrentRecordOfTheirKind)
{
    for (const ActionKind kind : {ActionKind::ProgramShortcut, ActionKind::UninstallShortcut, ActionKind::DesktopShortcut,
                                  ActionKind::UninstallKey, ActionKind::ProductRegistration, ActionKind::DirectXUpdate}) {
        SCOPED_TRACE(ActionKindNumber(kind));
        const std::wstring text = kind == ActionKind::UninstallKey          ? kKeyText
                                  : kind == ActionKind::ProductRegistration ? L"HKEY_CLASSES_ROOT\\..."
                                                                            : L"later";
        // Without a current record of the kind the last previous one survives.
        EXPECT_EQ(Merge({{kind, L"earlier", {}, true, -1}, {kind, L"later", {}, false, -1}}, {{ActionKind::FolderCreated, L"Q:\\T", {}, true, -1}}),
                  (std::vector<RecordView>{{kind, text, false, -1}, {ActionKind::FolderCreated, L"Q:\\T", true, -1}}));
        // A current record of the kind wins, done or not and whatever its text.
        const auto merged = Merge({{kind, L"earlier", {}, true, -1}}, {{kind, L"", {}, false, -1}});
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_FALSE(merged[0].done);
    }
}

TEST_F(UninstallLogMergeTest, SurvivingUninstallKeyIsWrittenWithTheFreshKeyName)
{
    ActionLog log;
    log.previousRecords = {{ActionKind::UninstallKey, L"", {}, true, -1}, {ActionKind::ProductRegistration, L"", {}, true, -1}};
    ASSERT_TRUE(log.Write(logPath_, L"C:\\T", L"C:\\M"));
    const std::wstring text = TextOfUtf16File(testing_support::ReadFileBytes(logPath_));
    EXPECT_NE(text.find(L"\r\n0000:05ff:1 -- " + kKeyText + L"\r\n0001:06ff:1 -- HKEY_CLASSES_ROOT\\...\r\n"), std::wstring::npos);
}

// The merge as a walk over every pair: each previous record, from the last to the first,
// is compared with every record at hand and put at the head unless one matches.
std::vector<RecordView> ReferenceMerge(const std::list<ActionRecord>& previous, std::list<ActionRecord> records)
{
    for (auto p = previous.rbegin(); p != previous.rend(); ++p) {
        bool matched = false;
        for (const ActionRecord& record : records) {
            if (record.kind == p->kind
                && (p->kind > ActionKind::FileInstalled || PathsEquivalent(record.text, p->text))) {
                matched = true;
                break;
            }
        }
        if (!matched)
            records.push_front(*p);
    }
    for (ActionRecord& record : records) {
        if (record.kind == ActionKind::UninstallKey)
            record.text = kKeyText;
        else if (record.kind == ActionKind::ProductRegistration)
            record.text = L"HKEY_CLASSES_ROOT\\...";
    }
    return View(records);
}

TEST_F(UninstallLogMergeTest, MergeGivesWhatComparingEveryPairGives)
{
    WriteFileBytes(Path(L"Tavelo.exe"), {1});
    WriteFileBytes(Path(L"Shared.dat"), {2});
    ASSERT_TRUE(::CreateHardLinkW(Path(L"Link.dat").c_str(), Path(L"Shared.dat").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Path(L"Lang").c_str(), nullptr));
    wchar_t previousFolder[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previousFolder);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder_.path().c_str()));

    const std::vector<std::wstring> paths = {
        Path(L"Tavelo.exe"), Path(L"TAVELO.exe"), L"Tavelo.exe", Path(L"Lang\\..\\Tavelo.exe"),
        Path(L"Shared.dat"), Path(L"Link.dat"), Path(L"link.DAT"), Path(L"Lang"), Path(L"LANG\\"),
        Path(L"Gone.dll"), Path(L"GONE.dll"), L"gone.DLL", Path(L"Gone.dl"), Path(L"Lang\\Gone.dll"),
        Path(L"Lang\\\\Gone.dll"), Path(L"lang\\gone.dll"), L"Q:\\Nowhere\\\u00c4rger.txt", L"q:\\nowhere\\\u00e4rger.TXT",
        L"Q:\\Nowhere\\Stra\u00dfe", L"Q:\\Nowhere\\STRASSE", Path(L"NUL"), Path(L"nul"),
    };
    std::mt19937 random(4711);
    auto pick = [&](std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random); };
    auto makeRecords = [&](std::size_t count) {
        std::list<ActionRecord> records;
        for (std::size_t i = 0; i < count; ++i) {
            const ActionKind kind = ActionKindOfNumber(static_cast<std::uint32_t>(pick(4) == 0 ? pick(8) : pick(2)));
            records.push_back({kind, paths[pick(paths.size())], {}, pick(2) == 0, kind == ActionKind::FileInstalled ? 3 : -1});
        }
        return records;
    };
    for (int trial = 0; trial < 200; ++trial) {
        const auto previous = makeRecords(pick(12));
        const auto current = makeRecords(pick(8));
        ASSERT_EQ(Merge(previous, current), ReferenceMerge(previous, current)) << "trial " << trial;
    }
    ::SetCurrentDirectoryW(previousFolder);
}

} // namespace
