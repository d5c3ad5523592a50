// Installations that fail, in a Wine prefix of this test's own: what the report and the
// status line say, and the machine afterwards exactly as it was before the attempt.
#include "actionlog/action_log.h"
#include "install/install_procedure.h"
#include "installation_test_support.h"
#include "support/recording_install_view.h"
#include "support/strings.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sddl.h>
#include <shlobj.h>

#include <memory>

using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;
using testing_support::RecordingInstallView;
using testing_support::ReportCall;
using testing_support::ViewCall;

namespace {


// A product of six files, in this order: the DirectX setup library (temporary), a shared
// library, a sample, the uninstaller, a language library and the main program.
std::vector<PayloadFile> SmallProduct()
{
    return {DemoFile(L"DSETUP.dll"), DemoFile(L"Brushes.kvl"), DemoFile(L"Sample 01 - Kitchen.tvp"),
            DemoFile(L"Uninstall.exe"), DemoFile(L"Tavelo.fr.dll"), DemoFile(L"Tavelo.exe")};
}

// The small product whose fifth file's record holds another CRC-32 than its content.
std::vector<PayloadFile> SmallProductWithBadChecksum()
{
    std::vector<PayloadFile> files = SmallProduct();
    files[4].crc = PayloadCrc32(files[4].content.data(), files[4].content.size()) ^ 1u;
    return files;
}

std::wstring Quoted(const std::wstring& path)
{
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

ReportCall Copying(const std::wstring& path)
{
    return {L"Copying File  " + Quoted(path) + L"...", false};
}

const ReportCall kRule{L"", true};
const ReportCall kOk{L"OK\r\n", false};
const ReportCall kFailed{L"Failed\r\n", false};

class FailedInstallation : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareInstallerProcess(); }

    void SetUp() override
    {
        ASSERT_TRUE(mutex_.try_lock());
        state_ = StartupState();
        ASSERT_EQ(state_.previousStatus, PreviousInstallStatus::NotInstalled);
    }

    // Installs one payload with the test's state and view.
    bool InstallPayload(const std::vector<PayloadFile>& files)
    {
        const EmbeddedPayload payload(payload_testing::CompressedPayload(files));
        return Install(state_, view_, mutex_);
    }

    std::wstring Destination(const std::vector<PayloadFile>& files, std::size_t index) const
    {
        return InstalledPath(files[index], state_.temporaryFolder);
    }

    ApplicationMutex mutex_{L"TaveloInstallationTest"};
    InstallState state_;
    RecordingInstallView view_;
};

TEST_F(FailedInstallation, BadChecksumOfTheFifthFileIsReportedAndEverythingIsRolledBack)
{
    // A shared file the installation takes over and a read-only sample it replaces.
    const std::wstring sharedFile = Folders().commonData + L"\\Korvane\\Tavelo 7\\Brushes.kvl";
    const std::wstring sample = Folders().samplesFolder + L"\\Sample 01 - Kitchen.tvp";
    ASSERT_TRUE(::SHCreateDirectoryExW(nullptr, (Folders().commonData + L"\\Korvane\\Tavelo 7").c_str(), nullptr) == 0);
    ASSERT_TRUE(::CreateDirectoryW(Folders().samplesFolder.c_str(), nullptr));
    testing_support::WriteFileBytes(sharedFile, {'o', 'l', 'd'});
    testing_support::WriteFileBytes(sample, {'m', 'i', 'n', 'e'});
    ::SetFileAttributesW(sample.c_str(), FILE_ATTRIBUTE_READONLY);
    const MachineSnapshot before = SnapshotMachine();

    const std::vector<PayloadFile> files = SmallProductWithBadChecksum();
    EXPECT_FALSE(InstallPayload(files));

    EXPECT_EQ(view_.ReportCalls(),
              (std::vector<ReportCall>{kRule, {L"Preparing Installation...", false}, kOk,
                                       Copying(Destination(files, 0)), kOk,  // the shared file leaves no line
                                       Copying(Destination(files, 2)), kOk, Copying(Destination(files, 3)), kOk,
                                       Copying(Destination(files, 4)), kFailed}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code 3).");
    EXPECT_EQ(view_.calls.back(), ViewCall{ViewCall::WaitCursorOff});
    EXPECT_THAT(state_.actionLog.records, IsEmpty());
    EXPECT_FALSE(Exists(state_.temporaryFolder));
    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());

    testing_support::RemoveTree(Folders().commonData + L"\\Korvane");
    testing_support::RemoveTree(Folders().samplesFolder);
}

TEST_F(FailedInstallation, DamagedCompressedStreamIsRefusedBeforeAnythingIsWritten)
{
    const MachineSnapshot before = SnapshotMachine();
    std::string archive = payload_testing::CompressedPayload(SmallProduct());
    for (std::size_t at = archive.size() / 2; at < archive.size() / 2 + 16; ++at)
        archive[at] = static_cast<char>(archive[at] ^ 0x5A);

    {
        const EmbeddedPayload payload(archive);
        EXPECT_FALSE(Install(state_, view_, mutex_));
    }

    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kRule, {L"Preparing Installation...", false}, kFailed}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code 6).");
    EXPECT_EQ(view_.Count(ViewCall::StatusPath), 0u);
    EXPECT_THAT(state_.actionLog.records, IsEmpty());
    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
}

TEST_F(FailedInstallation, NextAttemptInTheSameProcessUsesANewTemporaryFolderAndOnlyItsOwnRecords)
{
    const MachineSnapshot before = SnapshotMachine();
    ASSERT_FALSE(InstallPayload(SmallProductWithBadChecksum()));
    const std::wstring firstTemporaryFolder = state_.temporaryFolder;
    const std::size_t firstReport = view_.ReportCalls().size();

    const std::vector<PayloadFile> files = SmallProduct();
    ExpectedLog expectedLog;
    for (std::size_t i = 1; i < files.size(); ++i)
        expectedLog.File(InstalledPath(files[i], {}), files[i].kind);
    expectedLog.Folders(Folders().startMenuFolder);
    expectedLog.Record(ActionKind::ProgramShortcut, true, Folders().startMenuFolder + L"\\Tavelo 7.01j.lnk");
    expectedLog.Record(ActionKind::UninstallShortcut, true, Folders().startMenuFolder + L"\\Uninstall Tavelo.lnk");
    expectedLog.Record(ActionKind::DesktopShortcut, true, Folders().publicDesktop + L"\\Tavelo 7.01j.lnk");
    expectedLog.Record(ActionKind::DirectXUpdate, true, kDirectXText);
    expectedLog.Record(ActionKind::UninstallKey, true,
                       L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7");
    expectedLog.Record(ActionKind::ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");

    ASSERT_TRUE(InstallPayload(files));

    EXPECT_NE(state_.temporaryFolder, firstTemporaryFolder);
    EXPECT_FALSE(Exists(state_.temporaryFolder));
    // The second report follows the first, from its own rule line on.
    const std::vector<ReportCall> report = view_.ReportCalls();
    ASSERT_GT(report.size(), firstReport + 2);
    EXPECT_EQ(report[firstReport], kRule);
    EXPECT_EQ(report[firstReport + 1], (ReportCall{L"Preparing Installation...", false}));
    EXPECT_EQ(report.back(), kOk);
    EXPECT_EQ(view_.StatusLine(), L"Click on 'Next' to continue.");
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(Folders().installFolder + L"\\Uninstall.ulog", log));
    EXPECT_EQ(log, expectedLog.Text(L"Tavelo 7.01j", Folders().installFolder, Folders().startMenuFolder));

    EXPECT_THAT(RunUninstaller(Folders().installFolder + L"\\Uninstall.exe"), IsEmpty());
    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
}

TEST_F(FailedInstallation, InstallationPathValueThatCannotBeWrittenRollsBackAndReportsMinusOne)
{
    // The maker's key exists but nobody may write its values.
    kv::unique_hkey makerKey;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Korvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                makerKey.put(), nullptr),
              ERROR_SUCCESS);
    kv::unique_local_ptr<void> denyWrites;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;KW;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                        denyWrites.put(), nullptr));
    ASSERT_EQ(::RegSetKeySecurity(makerKey.get(), DACL_SECURITY_INFORMATION, denyWrites.get()), ERROR_SUCCESS);
    makerKey.reset();
    const MachineSnapshot before = SnapshotMachine();

    EXPECT_FALSE(InstallPayload(SmallProduct()));

    const std::vector<ReportCall> report = view_.ReportCalls();
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 2, report.end()),
              (std::vector<ReportCall>{{L"Registry Data Writing...", false}, kFailed}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code -1).");
    EXPECT_EQ(view_.calls.back(), ViewCall{ViewCall::WaitCursorOff});
    EXPECT_THAT(state_.actionLog.records, IsEmpty());
    EXPECT_FALSE(Exists(state_.temporaryFolder));
    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());

    // Open the key again and remove it.
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Korvane", 0, WRITE_DAC, makerKey.put()), ERROR_SUCCESS);
    kv::unique_local_ptr<void> allowAll;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                        allowAll.put(), nullptr));
    EXPECT_EQ(::RegSetKeySecurity(makerKey.get(), DACL_SECURITY_INFORMATION, allowAll.get()), ERROR_SUCCESS);
    makerKey.reset();
    EXPECT_EQ(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Korvane"), ERROR_SUCCESS);
}

TEST_F(FailedInstallation, NoTemporaryFolderNameStopsBeforeAnyChange)
{
    const MachineSnapshot before = SnapshotMachine();
    wchar_t saved[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    // A temporary folder this long leaves no room for the installation's folder name.
    bool installed;
    {
        const EmbeddedPayload payload(payload_testing::CompressedPayload(SmallProduct()));
        ::SetEnvironmentVariableW(L"TMP", (L"C:\\" + std::wstring(250, L't')).c_str());
        installed = Install(state_, view_, mutex_);
        ::SetEnvironmentVariableW(L"TMP", saved[0] ? saved : nullptr);
    }

    EXPECT_FALSE(installed);
    const std::wstring failure = L"Installation failed (Error Code 0000007a (GetTempPath)).";
    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kRule, {failure + L"\r\n", false}}));
    EXPECT_EQ(view_.StatusLine(), failure);
    EXPECT_EQ(view_.calls.back(), ViewCall{ViewCall::WaitCursorOff});
    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
}

TEST_F(FailedInstallation, PayloadWithoutUninstallerWritesNoLogAndAnEmptyUninstallString)
{
    const MachineSnapshot before = SnapshotMachine();
    std::vector<PayloadFile> files = SmallProduct();
    files.erase(files.begin() + 3);
    ASSERT_EQ(files[2].kind, FileKind::SampleData);

    EXPECT_TRUE(InstallPayload(files));

    const std::vector<ReportCall> report = view_.ReportCalls();
    ASSERT_GE(report.size(), 4u);
    EXPECT_EQ(std::vector<ReportCall>(report.end() - 4, report.end()),
              (std::vector<ReportCall>{{L"Registry Data Writing...", false}, kOk,
                                       {L"Installation Data Writing...", false}, kFailed}));
    EXPECT_EQ(view_.StatusLine(), L"Click on 'Next' to continue.");
    const testing_support::RegistryKeySnapshot entry = testing_support::SnapshotRegistryKey(
        HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7");
    ASSERT_TRUE(entry.values.count(L"UninstallString"));
    EXPECT_EQ(entry.values.at(L"UninstallString"), (testing_support::RegistryValue{REG_SZ, {0, 0}}));
    EXPECT_FALSE(Exists(Folders().installFolder + L"\\Uninstall.ulog"));

    // Without a log there is nothing to uninstall with: the records undo the installation.
    state_.actionLog.Rollback();
    EXPECT_EQ(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Korvane"), ERROR_SUCCESS);
    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
}

} // namespace
