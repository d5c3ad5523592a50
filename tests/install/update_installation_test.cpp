// An update over an installed 7.01h of the demo product, then a reinstallation of 7.01j, in
// a Wine prefix of this test's own; the uninstaller afterwards removes what both put there.
#include "actionlog/action_log.h"
#include "install/install_procedure.h"
#include "install/uninstall_registration.h"
#include "installation_test_support.h"
#include "support/recording_install_view.h"
#include "support/strings.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;
using testing_support::ReadFileBytes;
using testing_support::RecordingInstallView;
using testing_support::ReportCall;

namespace {

bool IsReported(const std::vector<ReportCall>& report, const std::wstring& text)
{
    return std::find(report.begin(), report.end(), ReportCall{text, false}) != report.end();
}

bool IsCopied(const std::vector<ReportCall>& report, const std::wstring& path)
{
    const std::wstring quoted = path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
    return IsReported(report, L"Copying File  " + quoted + L"...");
}

class UpdateInstallation : public testing::Test {
protected:
    // Shared by the cases: 7.01h installed on the fresh machine, then updated to 7.01j.
    static void SetUpTestSuite()
    {
        PrepareInstallerProcess();
        mutex_ = std::make_unique<ApplicationMutex>(L"TaveloInstallationTest");
        ASSERT_TRUE(mutex_->try_lock());
        before_ = SnapshotMachine();

        InstallState older = StartupState();
        RecordingInstallView olderView;
        {
            const EmbeddedPayload payload(payload_testing::CompressedPayload(OlderDemoProduct()));
            ASSERT_TRUE(Install(older, olderView, *mutex_));
        }
        ASSERT_TRUE(MarkLogAsWrittenBy701h(Folders().installFolder + L"\\Uninstall.ulog"));

        state_ = std::make_unique<InstallState>(StartupState());
        expectedLog_ = ExpectedUpdateLog();
        const EmbeddedPayload payload(DemoArchive());
        updated_ = Install(*state_, updateView_, *mutex_);
    }

    static void TearDownTestSuite()
    {
        state_.reset();
        mutex_.reset();
    }

    static std::unique_ptr<ApplicationMutex> mutex_;
    static MachineSnapshot before_;
    static std::unique_ptr<InstallState> state_;
    static ExpectedLog expectedLog_;
    static RecordingInstallView updateView_;
    static bool updated_;
};

std::unique_ptr<ApplicationMutex> UpdateInstallation::mutex_;
MachineSnapshot UpdateInstallation::before_;
std::unique_ptr<InstallState> UpdateInstallation::state_;
ExpectedLog UpdateInstallation::expectedLog_;
RecordingInstallView UpdateInstallation::updateView_;
bool UpdateInstallation::updated_ = false;

TEST_F(UpdateInstallation, UpdateKeepsTheOlderSamplesAndSharedFilesSkipsDirectXAndMergesTheEarlierLog)
{
    const MachineFolders& folders = Folders();
    ASSERT_EQ(state_->previousStatus, PreviousInstallStatus::OlderVersion);
    EXPECT_EQ(state_->previousVersionText, L"Tavelo 7.01h");
    ASSERT_TRUE(updated_);

    const std::vector<ReportCall> report = updateView_.ReportCalls();
    std::size_t copied = 0;
    for (const PayloadFile& file : DemoFiles()) {
        const bool skipped = file.kind == FileKind::SampleData || file.source == L"Settings.kvs" || file.source == L"Brushes.kvl";
        EXPECT_EQ(IsCopied(report, InstalledPath(file, state_->temporaryFolder)), !skipped) << kv::to_utf8(file.source);
        copied += !skipped;
    }
    EXPECT_EQ(report.size(), 3 + 2 * copied + 6) << "the rule line, preparation, files, three steps";
    EXPECT_FALSE(IsReported(report, kDirectXText));
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 6, report.end()),
              (std::vector<ReportCall>{{L"Shortcuts Creation...", false}, {L"OK\r\n", false},
                                       {L"Registry Data Writing...", false}, {L"OK\r\n", false},
                                       {L"Installation Data Writing...", false}, {L"OK\r\n", false}}));
    EXPECT_EQ(updateView_.CallsOf(testing_support::ViewCall::Progress).back().value, 100);

    // The older samples and shared settings stay as they were; the missing samples are not added.
    const std::wstring kitchen = folders.samplesFolder + L"\\Sample 01 - Kitchen.tvp";
    const std::wstring settings = folders.commonData + L"\\Korvane\\Tavelo 7\\Settings.kvs";
    EXPECT_EQ(ReadFileBytes(kitchen), (std::vector<std::uint8_t>{'k', 'i', 't', 'c', 'h', 'e', 'n', ' ', 'o', 'f', ' ',
                                                                 '7', '.', '0', '1', 'h'}));
    EXPECT_EQ(ReadFileBytes(settings), (std::vector<std::uint8_t>{'s', 'e', 't', 't', 'i', 'n', 'g', 's', ' ', 'o',
                                                                  'f', ' ', '7', '.', '0', '1', 'h'}));
    EXPECT_FALSE(Exists(folders.samplesFolder + L"\\Sample 02 - Living Room.tvp"));
    const PayloadFile mainProgram = DemoFile(L"Tavelo.exe");
    const std::vector<std::uint8_t> program = ReadFileBytes(folders.installFolder + L"\\Tavelo.exe");
    EXPECT_EQ(std::string(program.begin(), program.end()), mainProgram.content);

    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(folders.installFolder + L"\\Uninstall.ulog", log));
    EXPECT_EQ(log, expectedLog_.Text(L"Tavelo 7.01j -- Update (Tavelo 7.01h)", folders.installFolder,
                                     folders.startMenuFolder));
    EXPECT_FALSE(Exists(state_->temporaryFolder));
}

TEST_F(UpdateInstallation, ReinstallationOfTheSameVersionRunsDirectXAgainAndTheUninstallerRemovesEverything)
{
    InstallState state = StartupState();
    ASSERT_EQ(state.previousStatus, PreviousInstallStatus::SameVersion);
    ASSERT_TRUE(state.actionLog.previousRecords.size() > 0);
    RecordingInstallView view;
    {
        const EmbeddedPayload payload(DemoArchive());
        ASSERT_TRUE(Install(state, view, *mutex_));
    }
    const std::vector<ReportCall> report = view.ReportCalls();
    ASSERT_GE(report.size(), 8u);
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 8, report.end() - 4),
              (std::vector<ReportCall>{{L"Shortcuts Creation...", false}, {L"OK\r\n", false}, {kDirectXText, false},
                                       {L"OK\r\n", false}}));
    // A reinstallation writes the samples again, but leaves the installed shared files.
    EXPECT_TRUE(IsCopied(report, Folders().samplesFolder + L"\\Sample 02 - Living Room.tvp"));
    EXPECT_FALSE(IsCopied(report, Folders().commonData + L"\\Korvane\\Tavelo 7\\Settings.kvs"));

    // The uninstall entry that is there now is saved before it is written again.
    ActionLog registration;
    EXPECT_TRUE(WriteUninstallRegistration(Folders().installFolder + L"\\Tavelo.exe",
                                           Folders().installFolder + L"\\Uninstall.exe", registration));
    ASSERT_EQ(registration.records.size(), 1u);
    EXPECT_EQ(registration.records.back().kind, ActionKind::UninstallKey);
    EXPECT_TRUE(registration.records.back().done);
    ASSERT_FALSE(registration.records.back().backup.empty());
    EXPECT_TRUE(Exists(registration.records.back().backup));
    ::DeleteFileW(registration.records.back().backup.c_str());

    EXPECT_THAT(RunUninstaller(Folders().installFolder + L"\\Uninstall.exe"), IsEmpty());
    EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());
}

} // namespace
