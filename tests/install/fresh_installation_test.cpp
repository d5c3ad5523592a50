// Whole installations of the demo payload on a fresh machine (a Wine prefix of this test's
// own), each followed by the demo uninstaller, which must leave the machine as it was.
#include "actionlog/action_log.h"
#include "install/install_procedure.h"
#include "installation_test_support.h"
#include "product/product_identity.h"
#include "support/recording_install_view.h"
#include "support/shell_shortcut.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;
using testing_support::RecordingInstallView;
using testing_support::RegistryValue;
using testing_support::ReadShortcut;
using testing_support::ReportCall;
using testing_support::ShortcutTarget;
using testing_support::ViewCall;

namespace {

const HWND kOwnerWindow = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x12345));
constexpr wchar_t kUninstallEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

std::wstring Quoted(const std::wstring& path)
{
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

class FreshInstallation : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        PrepareInstallerProcess();
        payload_ = std::make_unique<EmbeddedPayload>(DemoArchive());
    }
    static void TearDownTestSuite() { payload_.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(mutex_.try_lock());
        ::SetEnvironmentVariableW(L"TAVELO_DSETUP_LOG", directXLog_.c_str());
        ::SetEnvironmentVariableW(L"TAVELO_DEMO_RECORD", programRecord_.c_str());
        before_ = SnapshotMachine();
        state_ = StartupState();
        ASSERT_EQ(state_.previousStatus, PreviousInstallStatus::NotInstalled);
    }

    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"TAVELO_DSETUP_LOG", nullptr);
        ::SetEnvironmentVariableW(L"TAVELO_DEMO_RECORD", nullptr);
        ::SetEnvironmentVariableW(L"TAVELO_DEMO_REGISTRATION_RESULT", nullptr);
    }

    // The uninstaller leaves the machine as it found it.
    void Uninstall()
    {
        EXPECT_THAT(RunUninstaller(Folders().installFolder + L"\\Uninstall.exe"), IsEmpty());
        EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());
    }

    // What the fresh installation's log lists up to the shortcuts: the payload's files in
    // payload order, each after the folders made for it.
    static ExpectedLog PayloadRecords()
    {
        ExpectedLog log;
        for (const PayloadFile& file : DemoFiles())
            if (file.kind != FileKind::TemporaryFile)
                log.File(InstalledPath(file, {}), file.kind);
        return log;
    }

    static std::unique_ptr<EmbeddedPayload> payload_;
    ApplicationMutex mutex_{L"TaveloInstallationTest"};
    ScratchFolder scratch_;
    const std::wstring directXLog_ = scratch_ / L"dsetup.log";
    const std::wstring programRecord_ = scratch_ / L"tavelo.log";
    MachineSnapshot before_;
    InstallState state_;
    RecordingInstallView view_{kOwnerWindow};
};

std::unique_ptr<EmbeddedPayload> FreshInstallation::payload_;

TEST_F(FreshInstallation, InstallsEveryFileRecordsEveryActionAndTheUninstallerRemovesItAll)
{
    const MachineFolders& folders = Folders();
    const std::wstring mainProgram = folders.installFolder + L"\\Tavelo.exe";
    const std::wstring uninstaller = folders.installFolder + L"\\Uninstall.exe";
    const std::wstring programShortcut = folders.startMenuFolder + L"\\Tavelo 7.01j.lnk";
    const std::wstring uninstallShortcut = folders.startMenuFolder + L"\\Uninstall Tavelo.lnk";
    const std::wstring desktopShortcut = folders.publicDesktop + L"\\Tavelo 7.01j.lnk";

    ExpectedLog expectedLog = PayloadRecords();
    expectedLog.Folders(folders.startMenuFolder);
    expectedLog.Record(ActionKind::ProgramShortcut, true, programShortcut);
    expectedLog.Record(ActionKind::UninstallShortcut, true, uninstallShortcut);
    expectedLog.Record(ActionKind::DesktopShortcut, true, desktopShortcut);
    expectedLog.Record(ActionKind::DirectXUpdate, true, kDirectXText);
    expectedLog.Record(ActionKind::UninstallKey, true, L"HKEY_LOCAL_MACHINE\\" + std::wstring(kUninstallEntry));
    expectedLog.Record(ActionKind::ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");

    ASSERT_TRUE(Install(state_, view_, mutex_));
    const std::wstring temporaryFolder = state_.temporaryFolder;

    // The report, call by call.
    std::vector<ReportCall> expectedReport = {{L"", true}, {L"Preparing Installation...", false}, {L"OK\r\n", false}};
    for (const PayloadFile& file : DemoFiles()) {
        expectedReport.push_back({L"Copying File  " + Quoted(InstalledPath(file, temporaryFolder)) + L"...", false});
        expectedReport.push_back({L"OK\r\n", false});
    }
    for (const wchar_t* step : {L"Shortcuts Creation...", kDirectXText, L"Registry Data Writing...",
                                L"Installation Data Writing..."}) {
        expectedReport.push_back({step, false});
        expectedReport.push_back({L"OK\r\n", false});
    }
    EXPECT_EQ(view_.ReportCalls(), expectedReport);
    EXPECT_EQ(view_.StatusLine(), L"Click on 'Next' to continue.");
    EXPECT_EQ(view_.calls[1], ViewCall{ViewCall::WaitCursorOn});
    EXPECT_EQ(view_.calls.back(), ViewCall{ViewCall::WaitCursorOff});
    const std::vector<ViewCall> progress = view_.CallsOf(ViewCall::Progress);
    ASSERT_GT(progress.size(), 100u);
    EXPECT_EQ(progress.front().value, 0);
    EXPECT_EQ(progress.back().value, 100);
    for (std::size_t i = 1; i + 1 < progress.size(); ++i)
        ASSERT_LT(progress[i].value, 100) << "the bar stays below 100 until the last byte";
    EXPECT_EQ(view_.CallsOf(ViewCall::ProgressShown), (std::vector<ViewCall>{{ViewCall::ProgressShown, {}, false, 1}}));
    // The page answers its messages also during the verification, before its "OK".
    const auto preparing =
        std::find(view_.calls.begin(), view_.calls.end(), ViewCall{ViewCall::Report, L"Preparing Installation..."});
    EXPECT_NE(std::find(preparing, view_.calls.end(), ViewCall{ViewCall::Pump}),
              std::find(preparing, view_.calls.end(), ViewCall{ViewCall::Report, L"OK\r\n"}));

    // Every file with its content, the programs read-only; the temporary files gone.
    ExpectInstalledFiles(DemoFiles(), temporaryFolder);
    EXPECT_FALSE(Exists(temporaryFolder));
    EXPECT_TRUE(::GetFileAttributesW(mainProgram.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(::GetFileAttributesW(uninstaller.c_str()) & FILE_ATTRIBUTE_READONLY);

    // The uninstall log, byte for byte, read-only.
    const std::wstring logPath = folders.installFolder + L"\\Uninstall.ulog";
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(logPath, log));
    EXPECT_EQ(log, expectedLog.Text(L"Tavelo 7.01j", folders.installFolder, folders.startMenuFolder));
    // Wine keeps no "not content indexed" mark (0x2000); read-only and archive it keeps.
    EXPECT_EQ(::GetFileAttributesW(logPath.c_str()) & 0x21u, 0x21u);

    // The uninstall entry and the installation path value, with their types and sizes.
    const testing_support::RegistryKeySnapshot entry =
        testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallEntry);
    EXPECT_EQ(entry.values, ExpectedUninstallValues(folders.installFolder));
    EXPECT_THAT(entry.subkeys, IsEmpty());
    EXPECT_EQ(testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane").values,
              (std::map<std::wstring, RegistryValue>{{L"Tavelo 7 Path", RegistryString(mainProgram)}}));

    // The shortcuts start the programs in their folder.
    const ShortcutTarget program{mainProgram, folders.installFolder};
    EXPECT_EQ(ReadShortcut(programShortcut), program);
    EXPECT_EQ(ReadShortcut(uninstallShortcut), (ShortcutTarget{uninstaller, folders.installFolder}));
    EXPECT_EQ(ReadShortcut(desktopShortcut), program);

    // DirectX from the temporary folder, on a thread of its own while this one pumps only
    // the messages that come for it; the product's registration with its path quoted, the
    // installer's mutex taken back afterwards.
    EXPECT_EQ(ReadLines(directXLog_),
              (std::vector<std::wstring>{
                  L"DirectXSetupGetVersion -> 1", L"DirectXSetupSetCallback callback",
                  L"DirectXSetupW owner=0x00012345 folder=" + temporaryFolder + L" flags=0x00010018",
                  L"callback reason=18 answer=1", L"callback reason=18 answer=1", L"callback reason=18 answer=1",
                  L"DirectXSetupW -> 0"}));
    const auto directXStep = std::find(view_.calls.begin(), view_.calls.end(),
                                       ViewCall{ViewCall::Report, kDirectXText});
    ASSERT_NE(directXStep, view_.calls.end());
    const auto afterDirectX = std::find_if(directXStep + 1, view_.calls.end(),
                                           [](const ViewCall& call) { return call.kind != ViewCall::Pump; });
    ASSERT_NE(afterDirectX, view_.calls.end());
    EXPECT_EQ(*afterDirectX, (ViewCall{ViewCall::Report, L"OK\r\n"}));
    EXPECT_EQ(ReadLines(programRecord_),
              std::vector<std::wstring>{L"\"" + mainProgram + L"\" /Register /Background"});
    EXPECT_TRUE(mutex_.owned());

    Uninstall();
}

TEST_F(FreshInstallation, WithoutShortcutOptionsMakesNoShortcutAndNoShortcutRecord)
{
    state_.createMenuShortcuts = false;
    state_.createDesktopShortcut = false;
    ExpectedLog expectedLog = PayloadRecords();
    expectedLog.Record(ActionKind::DirectXUpdate, true, kDirectXText);
    expectedLog.Record(ActionKind::UninstallKey, true, L"HKEY_LOCAL_MACHINE\\" + std::wstring(kUninstallEntry));
    expectedLog.Record(ActionKind::ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");

    ASSERT_TRUE(Install(state_, view_, mutex_));

    const std::vector<ReportCall> report = view_.ReportCalls();
    ASSERT_GE(report.size(), 8u);
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 6, report.end()),
              (std::vector<ReportCall>{{kDirectXText, false}, {L"OK\r\n", false},
                                       {L"Registry Data Writing...", false}, {L"OK\r\n", false},
                                       {L"Installation Data Writing...", false}, {L"OK\r\n", false}}));
    EXPECT_EQ(report[report.size() - 8], (ReportCall{L"Copying File  " + Quoted(Folders().installFolder + L"\\Tavelo.exe") + L"...", false}));
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(Folders().installFolder + L"\\Uninstall.ulog", log));
    EXPECT_EQ(log, expectedLog.Text(L"Tavelo 7.01j", Folders().installFolder, Folders().startMenuFolder));
    EXPECT_FALSE(Exists(Folders().startMenuFolder));
    EXPECT_FALSE(Exists(Folders().publicDesktop + L"\\Tavelo 7.01j.lnk"));

    Uninstall();
}

TEST_F(FreshInstallation, RegistrationRunThatDoesNotAnswerMinusTenFailsOnlyItsReportLineAndRecord)
{
    ::SetEnvironmentVariableW(L"TAVELO_DEMO_REGISTRATION_RESULT", L"0");

    EXPECT_TRUE(Install(state_, view_, mutex_));

    const std::vector<ReportCall> report = view_.ReportCalls();
    ASSERT_GE(report.size(), 4u);
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 4, report.end()),
              (std::vector<ReportCall>{{L"Registry Data Writing...", false}, {L"Failed\r\n", false},
                                       {L"Installation Data Writing...", false}, {L"OK\r\n", false}}));
    EXPECT_EQ(view_.StatusLine(), L"Click on 'Next' to continue.");
    ASSERT_FALSE(state_.actionLog.records.empty());
    const ActionRecord& registration = state_.actionLog.records.back();
    EXPECT_EQ(registration.kind, ActionKind::ProductRegistration);
    EXPECT_FALSE(registration.done);
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(Folders().installFolder + L"\\Uninstall.ulog", log));
    EXPECT_TRUE(log.ends_with(L"06ff:0 -- HKEY_CLASSES_ROOT\\...\r\n"));
    // The values were written all the same.
    EXPECT_TRUE(testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallEntry).values.count(L"UninstallString"));
    EXPECT_TRUE(mutex_.owned());

    Uninstall();
}

TEST_F(FreshInstallation, UninstallEntryThatCannotBeCreatedFailsOnlyTheRegistryLine)
{
    // Nobody may create a key below the system's list of installed programs.
    kv::unique_hkey programs;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, READ_CONTROL | WRITE_DAC, programs.put()),
              ERROR_SUCCESS);
    DWORD size = 0;
    ::RegGetKeySecurity(programs.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> original(size);
    ASSERT_EQ(::RegGetKeySecurity(programs.get(), DACL_SECURITY_INFORMATION, original.data(), &size), ERROR_SUCCESS);
    kv::unique_local_ptr<void> denyNewKeys;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x4;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                        denyNewKeys.put(), nullptr));
    ASSERT_EQ(::RegSetKeySecurity(programs.get(), DACL_SECURITY_INFORMATION, denyNewKeys.get()), ERROR_SUCCESS);

    const bool installed = Install(state_, view_, mutex_);
    EXPECT_EQ(::RegSetKeySecurity(programs.get(), DACL_SECURITY_INFORMATION, original.data()), ERROR_SUCCESS);
    EXPECT_TRUE(installed);

    const std::vector<ReportCall> report = view_.ReportCalls();
    ASSERT_GE(report.size(), 4u);
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 4, report.end()),
              (std::vector<ReportCall>{{L"Registry Data Writing...", false}, {L"Failed\r\n", false},
                                       {L"Installation Data Writing...", false}, {L"OK\r\n", false}}));
    EXPECT_FALSE(testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallEntry).exists);
    EXPECT_EQ(testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane").values.size(), 1u);
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(Folders().installFolder + L"\\Uninstall.ulog", log));
    EXPECT_EQ(log.find(L":05ff:"), std::wstring::npos);
    EXPECT_TRUE(log.ends_with(L"06ff:1 -- HKEY_CLASSES_ROOT\\...\r\n"));

    Uninstall();
}

// The uninstaller on logs written for the purpose, beside a copy of it in a scratch folder.
class DemoUninstaller : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareInstallerProcess(); }

    void SetUp() override
    {
        const std::string& program = DemoFile(L"Uninstall.exe").content;
        testing_support::WriteFileBytes(uninstaller_, std::vector<std::uint8_t>(program.begin(), program.end()));
    }

    ScratchFolder scratch_;
    const std::wstring uninstaller_ = scratch_ / L"Uninstall.exe";
    const std::wstring logPath_ = scratch_ / L"Uninstall.ulog";
};

TEST_F(DemoUninstaller, ReportsWhatItCannotRemoveAndRemovesEverythingElse)
{
    const std::wstring folder = scratch_ / L"Data";
    const std::wstring removable = folder + L"\\a.dat";
    const std::wstring held = folder + L"\\held.dat";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    testing_support::WriteFileBytes(removable, {1});
    testing_support::WriteFileBytes(held, {2});
    ActionLog log;
    log.records = {{ActionKind::FolderCreated, folder, {}, true, -1},
                   {ActionKind::FileInstalled, removable, {}, true, FileKindDetail(FileKind::LanguageLibrary)},
                   {ActionKind::FileInstalled, held, {}, true, FileKindDetail(FileKind::SharedData)},
                   {ActionKind::FileInstalled, uninstaller_, {}, true, FileKindDetail(FileKind::Uninstaller)},
                   {ActionKind::ProgramShortcut, L"", {}, false, -1}};
    ASSERT_TRUE(log.Write(logPath_, scratch_.path(), scratch_.path()));
    // Open without sharing: it can be neither deleted nor moved.
    const kv::unique_file holder(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    EXPECT_EQ(RunUninstaller(uninstaller_), (std::vector<std::wstring>{held, folder}));

    EXPECT_FALSE(Exists(removable));
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Exists(uninstaller_));
    EXPECT_FALSE(Exists(logPath_));
}

TEST_F(DemoUninstaller, LogThatCannotBeReadRemovesNothing)
{
    testing_support::WriteFileBytes(logPath_, {0xFF, 0xFE, '/', 0, '/', 0, ' ', 0, 'v', 0, '2', 0});

    EXPECT_EQ(RunUninstaller(uninstaller_), std::vector<std::wstring>{logPath_ + L" (cannot be read)"});

    EXPECT_TRUE(Exists(uninstaller_));
    EXPECT_TRUE(Exists(logPath_));
}

} // namespace
