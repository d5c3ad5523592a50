// An update over an installed 7.01h of the demo product, then a reinstallation of 7.01j, in
// a Wine prefix of this test's own; the uninstaller afterwards removes what both put there.
#include "actionlog/action_log.h"
#include "app/install_procedure.h"
#include "app/uninstall_registration.h"
#include "installation_test_support.h"
#include "support/recording_install_view.h"
#include "support/strings.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;
using testing_support::ReadFileBytes;
using testing_support::RecordingInstallView;
using testing_support::ReportCall;

namespace {

constexpr wchar_t kDirectXText[] = L"Mise \u00e0 jour de DirectX...";
const std::wstring kUninstallKeyText =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

PayloadFile WithContent(PayloadFile file, const std::string& content)
{
    file.content = content;
    return file;
}

// The older product: its own main program, a shared settings file and a sample of its own
// content, and a few files the newer version has too.
std::vector<PayloadFile> OlderProduct()
{
    PayloadFile mainProgram = DemoFile(L"Tavelo.exe");
    const std::vector<std::uint8_t> program = ReadFileBytes(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM_701H"));
    mainProgram.content.assign(program.begin(), program.end());
    return {DemoFile(L"DSETUP.dll"),
            DemoFile(L"Tavelo.fr.dll"),
            DemoFile(L"Tavelo.de.dll"),
            DemoFile(L"Uninstall.exe"),
            WithContent(DemoFile(L"Settings.kvs"), "settings of 7.01h"),
            DemoFile(L"Brushes.kvl"),
            WithContent(DemoFile(L"Sample 01 - Kitchen.tvp"), "kitchen of 7.01h"),
            DemoFile(L"Oak.ktx"),
            mainProgram};
}

bool IsReported(const std::vector<ReportCall>& report, const std::wstring& text)
{
    return std::find(report.begin(), report.end(), ReportCall{text, false}) != report.end();
}

bool IsCopied(const std::vector<ReportCall>& report, const std::wstring& path)
{
    const std::wstring quoted = path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
    return IsReported(report, L"Copying File  " + quoted + L"...");
}

// The 7.01h installer names its own version in the log's third line.
void WriteOlderInstallerProductLine(const std::wstring& logPath)
{
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(logPath, log));
    const std::wstring newer = L"// Install Tavelo 7.01j\r\n";
    const std::size_t at = log.find(newer);
    ASSERT_NE(at, std::wstring::npos);
    log.replace(at, newer.size(), L"// Install Tavelo 7.01h\r\n");
    std::vector<std::uint8_t> bytes(2 + log.size() * sizeof(wchar_t));
    bytes[0] = 0xFF;
    bytes[1] = 0xFE;
    std::memcpy(bytes.data() + 2, log.data(), log.size() * sizeof(wchar_t));
    ::SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    testing_support::WriteFileBytes(logPath, bytes);
    ::SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
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
            const EmbeddedPayload payload(payload_testing::CompressedPayload(OlderProduct()));
            ASSERT_TRUE(Install(older, olderView, *mutex_));
        }
        WriteOlderInstallerProductLine(Folders().installFolder + L"\\Uninstall.ulog");

        state_ = std::make_unique<InstallState>(StartupState());
        ExpectUpdateLog();
        const EmbeddedPayload payload(DemoArchive());
        updated_ = Install(*state_, updateView_, *mutex_);
    }

    static void TearDownTestSuite()
    {
        state_.reset();
        mutex_.reset();
    }

    // What the earlier log leaves after the merge (its folders, the shared files and
    // samples this update does not touch, its DirectX step), then this installation's
    // records.
    static void ExpectUpdateLog()
    {
        const MachineFolders& folders = Folders();
        const std::wstring korvaneData = folders.commonData + L"\\Korvane";
        const std::wstring lang = folders.installFolder + L"\\Lang";
        for (const std::wstring& folder : {folders.installFolder.substr(0, folders.installFolder.rfind(L'\\')),
                                           folders.installFolder, lang})
            expectedLog_.Record(FolderCreated, true, folder);
        for (const std::wstring& folder : {korvaneData, korvaneData + L"\\Tavelo 7"})
            expectedLog_.Record(FolderCreated, true, folder);
        expectedLog_.Record(FileInstalled, true, korvaneData + L"\\Tavelo 7\\Settings.kvs", SharedData);
        expectedLog_.Record(FileInstalled, true, korvaneData + L"\\Tavelo 7\\Brushes.kvl", SharedData);
        expectedLog_.Record(FolderCreated, true, folders.samplesFolder);
        expectedLog_.Record(FileInstalled, true, folders.samplesFolder + L"\\Sample 01 - Kitchen.tvp", SampleData);
        expectedLog_.Record(FolderCreated, true, korvaneData + L"\\Textures");
        expectedLog_.Record(FolderCreated, true, korvaneData + L"\\Textures\\Tavelo 7");
        expectedLog_.Record(FileInstalled, true, korvaneData + L"\\Textures\\Tavelo 7\\Oak.ktx", SampleData);
        expectedLog_.Record(FolderCreated, true, folders.startMenuFolder.substr(0, folders.startMenuFolder.rfind(L'\\')));
        expectedLog_.Record(FolderCreated, true, folders.startMenuFolder);
        expectedLog_.Record(DirectXUpdate, true, kDirectXText);

        for (const PayloadFile& file : DemoFiles()) {
            const std::wstring path = InstalledPath(file, {});
            if (file.kind == TemporaryFile || file.kind == SampleData
                || (file.kind == SharedData && (file.source == L"Settings.kvs" || file.source == L"Brushes.kvl")))
                continue;
            expectedLog_.File(path, file.kind);
        }
        expectedLog_.Record(ProgramShortcut, true, folders.startMenuFolder + L"\\Tavelo 7.01j.lnk");
        expectedLog_.Record(UninstallShortcut, true, folders.startMenuFolder + L"\\Uninstall Tavelo.lnk");
        expectedLog_.Record(DesktopShortcut, true, folders.publicDesktop + L"\\Tavelo 7.01j.lnk");
        expectedLog_.Record(UninstallKey, true, kUninstallKeyText);
        expectedLog_.Record(ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");
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
    ASSERT_EQ(state_->previousStatus, OlderVersion);
    EXPECT_EQ(state_->previousVersionText, L"Tavelo 7.01h");
    ASSERT_TRUE(updated_);

    const std::vector<ReportCall> report = updateView_.ReportCalls();
    std::size_t copied = 0;
    for (const PayloadFile& file : DemoFiles()) {
        const bool skipped = file.kind == SampleData || file.source == L"Settings.kvs" || file.source == L"Brushes.kvl";
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
    ASSERT_EQ(state.previousStatus, SameVersion);
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
    EXPECT_EQ(registration.records.back().kind, UninstallKey);
    EXPECT_TRUE(registration.records.back().done);
    ASSERT_FALSE(registration.records.back().backup.empty());
    EXPECT_TRUE(Exists(registration.records.back().backup));
    ::DeleteFileW(registration.records.back().backup.c_str());

    EXPECT_THAT(RunUninstaller(Folders().installFolder + L"\\Uninstall.exe"), IsEmpty());
    EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());
}

} // namespace
