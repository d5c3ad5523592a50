// The built installer with its embedded demo product, each case on a fresh machine of its
// own (a Wine prefix made for it), led through the wizard as a user would. Afterwards the
// machine is examined as an administrator would: the files and their checksums, the
// uninstall log byte for byte, the registry values, the shortcuts, the report, the status
// line and the temporary folder; and where the installation fails or is undone, the
// machine exactly as it was.
#include "installer_session.h"

#include "actionlog/action_log.h"
#include "app/startup_test_support.h"
#include "install/install_procedure.h"
#include "install/installation_test_support.h"
#include "payload/payload_format.h"
#include "resources/dialog_ids.h"
#include "support/recording_install_view.h"
#include "support/registry_snapshot.h"
#include "support/shell_shortcut.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/version_resource_builder.h"
#include "ui/wizard_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>

using namespace end_to_end;
using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;
using testing_support::ReadShortcut;
using testing_support::ShortcutTarget;

namespace {

constexpr wchar_t kUninstallEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";
const std::wstring kLeaveQuestion = L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?";

// The report of the progress page before the installation: the options the user chose.
std::vector<std::wstring> Summary(const std::wstring& installFolder, const std::wstring& startMenuFolder,
                                  bool menuShortcuts, bool desktopShortcut)
{
    std::vector<std::wstring> lines = {L"'Tavelo 7.01j' Installation.", L"<rule Installation Options>",
                                       L"Installation Folder: \"" + installFolder + L"\"."};
    if (menuShortcuts)
        lines.push_back(L"Creating a Shortcut in the Start Menu (Folder \"" + startMenuFolder + L"\").");
    if (desktopShortcut)
        lines.push_back(L"Creating a Shortcut on the Desktop.");
    return lines;
}

// One report line per written payload file, in payload order, with its outcome.
std::vector<std::wstring> CopyLines(const std::vector<PayloadFile>& files, const std::wstring& temporaryFolder,
                                    const std::wstring& outcome = L"OK")
{
    std::vector<std::wstring> lines;
    for (const PayloadFile& file : files)
        lines.push_back(L"Copying File  " + Quoted(InstalledPath(file, temporaryFolder)) + L"..." + outcome);
    return lines;
}

template <typename T>
void Append(std::vector<T>& to, const std::vector<T>& lines)
{
    to.insert(to.end(), lines.begin(), lines.end());
}

// The report of a successful quick installation into the default folders: the options, a
// rule, the preparation, the written files and the steps after them, every one "OK".
std::vector<std::wstring> QuickReport(const std::vector<PayloadFile>& written, const std::wstring& temporaryFolder,
                                      bool withDirectX)
{
    std::vector<std::wstring> report = Summary(Folders().installFolder, Folders().startMenuFolder, true, true);
    Append(report, {L"<rule>", L"Preparing Installation...OK"});
    Append(report, CopyLines(written, temporaryFolder));
    report.push_back(L"Shortcuts Creation...OK");
    if (withDirectX)
        report.push_back(std::wstring(kDirectXText) + L"OK");
    Append(report, {L"Registry Data Writing...OK", L"Installation Data Writing...OK"});
    return report;
}

// No folder of an installation is left in the user's temporary folder.
void ExpectNoTemporaryFolderLeft()
{
    const testing_support::FileTreeSnapshot temporary = testing_support::SnapshotFileTree(UserTemporaryFolder());
    for (const auto& [path, entry] : temporary)
        EXPECT_FALSE(path.starts_with(L"korvane_{")) << kv::to_utf8(path);
}

// The registration run and the DirectX setup of the demo product say what the installer
// asked of them in files named by the environment, which the installer passes on.
class EndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareInstallerProcess(); }

    void SetUp() override
    {
        ::SetEnvironmentVariableW(L"TAVELO_DSETUP_LOG", directXLog_.c_str());
        ::SetEnvironmentVariableW(L"TAVELO_DEMO_RECORD", programRecord_.c_str());
        before_ = SnapshotMachine();
    }

    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"TAVELO_DSETUP_LOG", nullptr);
        ::SetEnvironmentVariableW(L"TAVELO_DEMO_RECORD", nullptr);
    }

    // A copy of the installer whose payload is that archive, written by the resource
    // functions of Windows.
    std::wstring InstallerWithPayload(const std::string& archive)
    {
        const std::wstring copy = scratch_ / L"InstallTavelo7.01j.exe";
        testing_support::WriteModuleWithResource(testing_support::BuiltFile(L"TAVELO_INSTALLER"), copy,
                                                 MAKEINTRESOURCEW(PayloadArchive::kResourceType),
                                                 MAKEINTRESOURCEW(PayloadArchive::kResourceName),
                                                 std::vector<std::uint8_t>(archive.begin(), archive.end()));
        return copy;
    }

    // The log of a fresh quick installation of the demo product, made before it: its folder
    // records are those of the folders missing now.
    static ExpectedLog FreshQuickLog()
    {
        const MachineFolders& folders = Folders();
        ExpectedLog log;
        for (const PayloadFile& file : DemoFiles())
            if (file.kind != FileKind::TemporaryFile)
                log.File(InstalledPath(file, {}), file.kind);
        log.Folders(folders.startMenuFolder);
        QuickSteps(log);
        return log;
    }

    // The records of a quick installation's steps after its files, in their order.
    static void QuickSteps(ExpectedLog& log)
    {
        const MachineFolders& folders = Folders();
        log.Record(ActionKind::ProgramShortcut, true, folders.startMenuFolder + L"\\Tavelo 7.01j.lnk");
        log.Record(ActionKind::UninstallShortcut, true, folders.startMenuFolder + L"\\Uninstall Tavelo.lnk");
        log.Record(ActionKind::DesktopShortcut, true, folders.publicDesktop + L"\\Tavelo 7.01j.lnk");
        log.Record(ActionKind::DirectXUpdate, true, kDirectXText);
        log.Record(ActionKind::UninstallKey, true, kUninstallKeyText);
        log.Record(ActionKind::ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");
    }

    // The uninstall entry and the installation path value, nothing else, and the three
    // shortcuts starting the programs in their folder, of an installation in quick mode.
    static void ExpectRegistrationAndShortcuts()
    {
        const MachineFolders& folders = Folders();
        const std::wstring mainProgram = folders.installFolder + L"\\Tavelo.exe";
        const std::wstring uninstaller = folders.installFolder + L"\\Uninstall.exe";
        const testing_support::RegistryKeySnapshot entry =
            testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallEntry);
        EXPECT_EQ(entry.values, ExpectedUninstallValues(folders.installFolder));
        EXPECT_THAT(entry.subkeys, IsEmpty());
        const testing_support::RegistryKeySnapshot makerKey =
            testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane");
        EXPECT_EQ(makerKey.values,
                  (std::map<std::wstring, testing_support::RegistryValue>{{L"Tavelo 7 Path", RegistryString(mainProgram)}}));
        EXPECT_THAT(makerKey.subkeys, IsEmpty());

        const ShortcutTarget program{mainProgram, folders.installFolder};
        EXPECT_EQ(ReadShortcut(folders.startMenuFolder + L"\\Tavelo 7.01j.lnk"), program);
        EXPECT_EQ(ReadShortcut(folders.startMenuFolder + L"\\Uninstall Tavelo.lnk"),
                  (ShortcutTarget{uninstaller, folders.installFolder}));
        EXPECT_EQ(ReadShortcut(folders.publicDesktop + L"\\Tavelo 7.01j.lnk"), program);
    }

    // What a fresh quick installation that has just ended leaves: the report and the status
    // line, the files, the uninstall log, the registry values and the shortcuts. Returns the
    // temporary folder it used.
    static std::wstring ExpectFreshQuickInstallation(const InstallerSession& installer, const ExpectedLog& expectedLog)
    {
        const MachineFolders& folders = Folders();

        // The report: the options, a rule, one line per step and per file, every one "OK".
        const std::vector<std::wstring> report = installer.Report();
        const std::wstring temporaryFolder = TemporaryFolderOf(report);
        EXPECT_TRUE(temporaryFolder.starts_with(UserTemporaryFolder() + L"\\korvane_{")) << kv::to_utf8(temporaryFolder);
        EXPECT_EQ(temporaryFolder.size(), UserTemporaryFolder().size() + 1 + 9 + 36 + 1);
        EXPECT_EQ(report, QuickReport(DemoFiles(), temporaryFolder, true));
        EXPECT_EQ(installer.Text(IDC_STATUS), kInstalledStatus);

        // Every file with its content, the temporary files gone.
        ExpectInstalledFiles(DemoFiles(), temporaryFolder);
        EXPECT_FALSE(Exists(temporaryFolder));

        // The uninstall log, byte for byte.
        std::wstring log;
        EXPECT_TRUE(ReadUninstallLog(folders.installFolder + L"\\Uninstall.ulog", log));
        EXPECT_EQ(log, expectedLog.Text(L"Tavelo 7.01j", folders.installFolder, folders.startMenuFolder));

        ExpectRegistrationAndShortcuts();
        return temporaryFolder;
    }

    // A fresh quick installation through the wizard, with every check of its outcome.
    void QuickInstallation()
    {
        const ExpectedLog expectedLog = FreshQuickLog();
        InstallerSession installer;
        ASSERT_TRUE(installer.Opened());
        installer.QuickModeToProgressPage();
        ASSERT_TRUE(installer.Install()) << kv::to_utf8(installer.Text(IDC_STATUS));
        ExpectFreshQuickInstallation(installer, expectedLog);
        EXPECT_EQ(installer.Finish(), 0u);
        ExpectNoTemporaryFolderLeft();
    }

    // A quick installation over an earlier one, from the start page that shows the situation:
    // the report names the written files, and DirectX when it runs. Gives the temporary
    // folder that the report names.
    static void QuickInstallationOver(InstallerSession& installer, const std::wstring& situation,
                                      const std::vector<PayloadFile>& written, bool withDirectX,
                                      std::wstring& temporaryFolder)
    {
        ASSERT_TRUE(installer.Opened());
        EXPECT_EQ(installer.Text(IDC_INFO), situation);
        installer.QuickModeToProgressPage();
        ASSERT_TRUE(installer.Install()) << kv::to_utf8(installer.Text(IDC_STATUS));
        const std::vector<std::wstring> report = installer.Report();
        temporaryFolder = TemporaryFolderOf(report);
        EXPECT_EQ(report, QuickReport(written, temporaryFolder, withDirectX));
    }

    // The uninstall log of an update from that version, byte for byte, and the registration
    // and the shortcuts of a quick installation.
    static void ExpectUpdateLogAndRegistration(const ExpectedLog& expectedLog, const std::wstring& from)
    {
        const MachineFolders& folders = Folders();
        std::wstring log;
        ASSERT_TRUE(ReadUninstallLog(folders.installFolder + L"\\Uninstall.ulog", log));
        EXPECT_EQ(log, expectedLog.Text(L"Tavelo 7.01j -- Update (" + from + L")", folders.installFolder,
                                        folders.startMenuFolder));
        ExpectRegistrationAndShortcuts();
    }

    // A failed installation leaves the report, the failure in the status line and the
    // buttons to try again, go back or leave; leaving asks first.
    void ExpectFailureThenLeave(InstallerSession& installer, const std::wstring& status)
    {
        EXPECT_EQ(installer.Text(IDC_STATUS), status);
        EXPECT_TRUE(installer.Enabled(IDOK));
        EXPECT_TRUE(installer.Enabled(IDC_BACK));
        std::optional<DWORD> exitCode;
        EXPECT_EQ(installer.Leave(exitCode), kLeaveQuestion);
        EXPECT_EQ(exitCode, 0u);
    }

    // Leaves the finished wizard, then the demo uninstaller of the installation in that folder
    // leaves the machine as it was before the test.
    void FinishAndUninstall(InstallerSession& installer, const std::wstring& installFolder)
    {
        EXPECT_EQ(installer.Finish(), 0u);
        ExpectNoTemporaryFolderLeft();
        EXPECT_THAT(RunUninstaller(installFolder + L"\\Uninstall.exe"), IsEmpty());
        EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());
    }

    // 7.01h installed as its own installer would have done it, with the log it writes.
    static void InstallOlder701h()
    {
        {
            ApplicationMutex mutex(L"TaveloOlderInstallation");
            ASSERT_TRUE(mutex.try_lock());
            InstallState older = StartupState();
            testing_support::RecordingInstallView view;
            const EmbeddedPayload payload(payload_testing::CompressedPayload(OlderDemoProduct()));
            ASSERT_TRUE(Install(older, view, mutex));
        }
        ASSERT_TRUE(MarkLogAsWrittenBy701h(Folders().installFolder + L"\\Uninstall.ulog"));
    }

    // Starts a quick installation and kills the installer from outside in the middle of its
    // extraction, once its journal holds a few dozen records.
    static void KillDuringExtraction()
    {
        InstallerSession installer;
        ASSERT_TRUE(installer.Opened());
        installer.QuickModeToProgressPage();
        driver::ClickControl(installer.window(), IDOK);
        const std::wstring journal = InstallationJournalPath();
        WIN32_FILE_ATTRIBUTE_DATA data{};
        for (int wait = 0; wait < 60000; ++wait) {
            if (::GetFileAttributesExW(journal.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow >= 4096)
                break;
            ::Sleep(1);
        }
        installer.process().Kill();
        ASSERT_GE(data.nFileSizeLow, 4096u) << "the installation never got that far";
        ASSERT_TRUE(Exists(journal));
    }

    // The next start undoes the killed installation before its wizard and says so in one line;
    // by then the machine is as in the snapshot, and the start page shows that situation.
    static std::unique_ptr<InstallerSession> StartAfterKill(const MachineSnapshot& before, const std::wstring& situation)
    {
        auto installer = std::make_unique<InstallerSession>(L"", false);
        const HWND box = driver::WaitForMessageBox(installer->process().id());
        EXPECT_NE(box, nullptr);
        if (!box)
            return installer;
        EXPECT_EQ(driver::MessageBoxText(box), L"An interrupted Installation of 'Tavelo' has been undone.");
        EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
        EXPECT_FALSE(Exists(InstallationJournalPath()));
        driver::ClickControl(box, IDOK);
        EXPECT_TRUE(installer->AwaitWizard());
        EXPECT_EQ(installer->Text(IDC_INFO), situation);
        return installer;
    }

    ScratchFolder scratch_;
    const std::wstring directXLog_ = scratch_ / L"dsetup.log";
    const std::wstring programRecord_ = scratch_ / L"tavelo.log";
    MachineSnapshot before_;
};

TEST_F(EndToEnd, FreshQuickInstallation)
{
    const MachineFolders& folders = Folders();
    const std::wstring mainProgram = folders.installFolder + L"\\Tavelo.exe";
    const std::wstring uninstaller = folders.installFolder + L"\\Uninstall.exe";

    InstallerSession installer;
    ASSERT_TRUE(installer.Opened());
    EXPECT_EQ(driver::WindowText(installer.window()), L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(installer.Text(IDC_INFO), L"'Tavelo 7.01j' Installation.");
    installer.QuickModeToProgressPage();
    EXPECT_EQ(installer.Report(), Summary(folders.installFolder, folders.startMenuFolder, true, true));
    EXPECT_EQ(installer.Text(IDC_STATUS), L"Click on 'Install' to start Installation.");

    const ExpectedLog expectedLog = FreshQuickLog();
    ASSERT_TRUE(installer.Install()) << kv::to_utf8(installer.Text(IDC_STATUS));

    const std::wstring temporaryFolder = ExpectFreshQuickInstallation(installer, expectedLog);
    EXPECT_FALSE(installer.Enabled(IDC_BACK));
    EXPECT_TRUE(::GetFileAttributesW(mainProgram.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(::GetFileAttributesW(uninstaller.c_str()) & FILE_ATTRIBUTE_READONLY);

    // DirectX set up from the temporary folder, owned by the progress page; the product
    // started once for its registration.
    const HWND page = ::GetParent(driver::FindControl(installer.window(), IDC_REPORT));
    const std::vector<std::wstring> directX = ReadLines(directXLog_);
    ASSERT_EQ(directX.size(), 7u);
    EXPECT_EQ(directX[2], L"DirectXSetupW owner=" + kv::format(L"0x%08llX", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(page)))
                              + L" folder=" + temporaryFolder + L" flags=0x00010018");
    EXPECT_EQ(directX.back(), L"DirectXSetupW -> 0");
    EXPECT_EQ(ReadLines(programRecord_), std::vector<std::wstring>{L"\"" + mainProgram + L"\" /Register /Background"});

    // The About box names the maker, its web site and its telephone as the uninstall entry does.
    ::PostMessageW(installer.window(), WM_SYSCOMMAND, CInstallDlg::kAboutCommand, 0);
    const HWND about = driver::WaitForDialog(installer.process().id(), L"About");
    ASSERT_NE(about, nullptr);
    const auto shown = [about](int id) { return driver::WindowText(::GetDlgItem(about, id)); };
    const std::map<std::wstring, testing_support::RegistryValue> entry =
        testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallEntry).values;
    EXPECT_EQ(RegistryString(shown(IDC_ABOUT_MAKER)), entry.at(L"Publisher"));
    EXPECT_EQ(RegistryString(shown(IDC_ABOUT_WEB_SITE)), entry.at(L"URLInfoAbout"));
    EXPECT_EQ(shown(IDC_ABOUT_TELEPHONE), L"Tel. +33 9 00 00 10 00");
    EXPECT_EQ(RegistryString(L"+33 9 00 00 10 00"), entry.at(L"HelpTelephone"));
    driver::Click(::GetDlgItem(about, IDOK));
    for (int i = 0; i < 100 && ::IsWindow(about); ++i)
        driver::Settle(driver::milliseconds(50));

    EXPECT_EQ(installer.Finish(), 0u);
    ExpectNoTemporaryFolderLeft();
}

TEST_F(EndToEnd, AdvancedInstallationIntoAFolderWithSpacesWithoutShortcuts)
{
    const MachineFolders& folders = Folders();
    const std::wstring programFiles = folders.installFolder.substr(0, folders.installFolder.rfind(L"\\Korvane\\"));
    const std::wstring installFolder = programFiles + L"\\Korvane Apps\\Tavelo Seven";
    const std::wstring mainProgram = installFolder + L"\\Tavelo.exe";
    // Files of the installation folder go to the chosen one; the others where they belong.
    std::vector<PayloadFile> files = DemoFiles();
    const auto place = [&](const PayloadFile& file) {
        const std::wstring path = InstalledPath(file, {});
        return path.starts_with(folders.installFolder + L"\\")
                   ? installFolder + path.substr(folders.installFolder.size())
                   : path;
    };

    InstallerSession installer;
    ASSERT_TRUE(installer.Opened());
    installer.AdvancedModeToProgressPage(installFolder, false, false);
    EXPECT_EQ(installer.Report(), Summary(installFolder, {}, false, false));
    ExpectedLog expectedLog;
    for (const PayloadFile& file : files)
        if (file.kind != FileKind::TemporaryFile)
            expectedLog.File(place(file), file.kind);
    expectedLog.Record(ActionKind::DirectXUpdate, true, kDirectXText);
    expectedLog.Record(ActionKind::UninstallKey, true, kUninstallKeyText);
    expectedLog.Record(ActionKind::ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");
    ASSERT_TRUE(installer.Install()) << kv::to_utf8(installer.Text(IDC_STATUS));

    const std::vector<std::wstring> report = installer.Report();
    const std::wstring temporaryFolder = TemporaryFolderOf(report);
    std::vector<std::wstring> expectedReport = Summary(installFolder, {}, false, false);
    Append(expectedReport, {L"<rule>", L"Preparing Installation...OK"});
    for (const PayloadFile& file : files)
        expectedReport.push_back(L"Copying File  "
                                 + Quoted(file.kind == FileKind::TemporaryFile ? InstalledPath(file, temporaryFolder) : place(file))
                                 + L"...OK");
    Append(expectedReport, {std::wstring(kDirectXText) + L"OK", L"Registry Data Writing...OK",
                            L"Installation Data Writing...OK"});
    EXPECT_EQ(report, expectedReport);

    for (const PayloadFile& file : files) {
        if (file.kind == FileKind::TemporaryFile)
            continue;
        const std::vector<std::uint8_t> content = testing_support::ReadFileBytes(place(file));
        EXPECT_EQ(PayloadCrc32(content.data(), content.size()), PayloadCrc32(file.content.data(), file.content.size()))
            << kv::to_utf8(place(file));
    }
    EXPECT_FALSE(Exists(folders.installFolder));

    // No shortcut and no shortcut record; the log names the chosen folder.
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(installFolder + L"\\Uninstall.ulog", log));
    EXPECT_EQ(log, expectedLog.Text(L"Tavelo 7.01j", installFolder, folders.startMenuFolder));
    EXPECT_FALSE(Exists(folders.startMenuFolder));
    EXPECT_FALSE(Exists(folders.publicDesktop + L"\\Tavelo 7.01j.lnk"));

    EXPECT_EQ(testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallEntry).values,
              ExpectedUninstallValues(installFolder));
    EXPECT_EQ(testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane").values,
              (std::map<std::wstring, testing_support::RegistryValue>{{L"Tavelo 7 Path", RegistryString(mainProgram)}}));
    // The product's path holds spaces: the registration run quotes it.
    EXPECT_EQ(ReadLines(programRecord_), std::vector<std::wstring>{L"\"" + mainProgram + L"\" /Register /Background"});

    // The uninstaller finds everything through the log.
    FinishAndUninstall(installer, installFolder);
}

TEST_F(EndToEnd, UpdateFromAnInstalled701h)
{
    InstallOlder701h();
    if (HasFatalFailure())
        return;
    ::DeleteFileW(directXLog_.c_str());
    const MachineFolders& folders = Folders();
    const std::wstring kitchen = folders.samplesFolder + L"\\Sample 01 - Kitchen.tvp";
    const std::wstring settings = folders.commonData + L"\\Korvane\\Tavelo 7\\Settings.kvs";
    const std::vector<std::uint8_t> olderKitchen = testing_support::ReadFileBytes(kitchen);
    const std::vector<std::uint8_t> olderSettings = testing_support::ReadFileBytes(settings);

    const ExpectedLog expectedLog = ExpectedUpdateLog();

    // The samples and the shared settings of 7.01h stay; DirectX was set up by 7.01h.
    std::vector<PayloadFile> written;
    for (const PayloadFile& file : DemoFiles())
        if (file.kind != FileKind::SampleData && file.source != L"Settings.kvs" && file.source != L"Brushes.kvl")
            written.push_back(file);
    InstallerSession installer;
    std::wstring temporaryFolder;
    QuickInstallationOver(installer, L"Update from 'Tavelo 7.01h' to 'Tavelo 7.01j'.", written, false, temporaryFolder);
    ASSERT_FALSE(HasFatalFailure());
    ExpectInstalledFiles(written, temporaryFolder);
    EXPECT_EQ(testing_support::ReadFileBytes(kitchen), olderKitchen);
    EXPECT_EQ(testing_support::ReadFileBytes(settings), olderSettings);
    EXPECT_FALSE(Exists(folders.samplesFolder + L"\\Sample 02 - Living Room.tvp"));

    ExpectUpdateLogAndRegistration(expectedLog, L"Tavelo 7.01h");
    const std::vector<std::wstring> directX = ReadLines(directXLog_);
    EXPECT_TRUE(std::none_of(directX.begin(), directX.end(),
                             [](const std::wstring& line) { return line.starts_with(L"DirectXSetupW"); }))
        << "7.01h set up DirectX already";

    // One uninstallation removes what both versions put there.
    FinishAndUninstall(installer, folders.installFolder);
}

TEST_F(EndToEnd, InstallationKilledDuringExtractionIsUndoneAtTheNextStart)
{
    const ExpectedLog expectedLog = FreshQuickLog();
    KillDuringExtraction();
    if (HasFatalFailure())
        return;
    const std::unique_ptr<InstallerSession> installer = StartAfterKill(before_, L"'Tavelo 7.01j' Installation.");
    ASSERT_TRUE(installer->Opened());
    installer->QuickModeToProgressPage();
    ASSERT_TRUE(installer->Install()) << kv::to_utf8(installer->Text(IDC_STATUS));
    ExpectFreshQuickInstallation(*installer, expectedLog);
    FinishAndUninstall(*installer, Folders().installFolder);
}

TEST_F(EndToEnd, UpdateKilledDuringExtractionIsUndoneAtTheNextStart)
{
    InstallOlder701h();
    if (HasFatalFailure())
        return;
    const MachineFolders& folders = Folders();
    const MachineSnapshot olderInstalled = SnapshotMachine();
    const ExpectedLog expectedLog = ExpectedUpdateLog();

    KillDuringExtraction();
    if (HasFatalFailure())
        return;
    const std::unique_ptr<InstallerSession> installer =
        StartAfterKill(olderInstalled, L"Update from 'Tavelo 7.01h' to 'Tavelo 7.01j'.");
    ASSERT_TRUE(installer->Opened());
    installer->QuickModeToProgressPage();
    ASSERT_TRUE(installer->Install()) << kv::to_utf8(installer->Text(IDC_STATUS));
    ExpectUpdateLogAndRegistration(expectedLog, L"Tavelo 7.01h");
    FinishAndUninstall(*installer, folders.installFolder);
}

TEST_F(EndToEnd, ReinstallationOfTheSameVersion)
{
    const MachineFolders& folders = Folders();
    QuickInstallation();
    ASSERT_FALSE(HasFatalFailure());
    ::DeleteFileW(directXLog_.c_str());
    ::DeleteFileW(programRecord_.c_str());

    // The merged log: the folders and shared files of the first installation's log in their
    // order (nothing of this installation names them again), then this installation's
    // records, which replace the earlier ones of the same files, shortcuts and steps.
    std::wstring firstLog;
    ASSERT_TRUE(ReadUninstallLog(folders.installFolder + L"\\Uninstall.ulog", firstLog));
    ExpectedLog expectedLog;
    const std::vector<std::wstring> firstLines = Lines(firstLog);
    for (std::size_t i = 6; i < firstLines.size(); ++i) {
        const std::wstring& line = firstLines[i];   // "0012:0103:1 -- path"
        const int code = std::stoi(line.substr(5, 4), nullptr, 16);
        const ActionKind kind = ActionKindOfNumber(code >> 8);
        const int detail = code & 0xFF;
        if (kind == ActionKind::FolderCreated
            || (kind == ActionKind::FileInstalled && detail == FileKindDetail(FileKind::SharedData)))
            expectedLog.Record(kind, line[10] == L'1', line.substr(15), detail);
    }
    for (const PayloadFile& file : DemoFiles())
        if (file.kind != FileKind::TemporaryFile && file.kind != FileKind::SharedData)
            expectedLog.Record(ActionKind::FileInstalled, true, InstalledPath(file, {}), FileKindDetail(file.kind));
    QuickSteps(expectedLog);

    // Everything is written again but the installed shared files, which keep their content;
    // DirectX runs again.
    std::vector<PayloadFile> written;
    for (const PayloadFile& file : DemoFiles())
        if (file.kind != FileKind::SharedData)
            written.push_back(file);
    InstallerSession installer;
    ASSERT_TRUE(installer.Opened());
    EXPECT_EQ(installer.Text(IDC_STATUS), L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
    std::wstring temporaryFolder;
    QuickInstallationOver(installer, L"'Tavelo 7.01j' is already installed.\r\nDo you confirm Reinstallation ?",
                          written, true, temporaryFolder);
    ASSERT_FALSE(HasFatalFailure());
    ExpectInstalledFiles(DemoFiles(), temporaryFolder);
    EXPECT_EQ(ReadLines(directXLog_).size(), 7u);
    EXPECT_EQ(ReadLines(programRecord_).size(), 1u);

    // The log names the update of the same version; its records are those of the first
    // installation (each path once, the later record surviving).
    std::wstring log;
    ASSERT_TRUE(ReadUninstallLog(folders.installFolder + L"\\Uninstall.ulog", log));
    const std::vector<std::wstring> lines = Lines(log);
    ASSERT_GT(lines.size(), 6u);
    EXPECT_EQ(lines[2], L"// Install Tavelo 7.01j -- Update (Tavelo 7.01j)");
    for (const PayloadFile& file : DemoFiles()) {
        if (file.kind == FileKind::TemporaryFile)
            continue;
        const std::wstring record = L" -- " + InstalledPath(file, {});
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::wstring& line) { return line.ends_with(record); }),
                  1)
            << kv::to_utf8(file.source);
    }
    ExpectUpdateLogAndRegistration(expectedLog, L"Tavelo 7.01j");

    FinishAndUninstall(installer, folders.installFolder);
}

TEST_F(EndToEnd, NewerVersionInstalledIsLeftAlone)
{
    const MachineFolders& folders = Folders();
    ASSERT_EQ(::SHCreateDirectoryExW(nullptr, folders.installFolder.c_str(), nullptr), ERROR_SUCCESS);
    const std::wstring program = folders.installFolder + L"\\Tavelo.exe";
    ASSERT_TRUE(::CopyFileW(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM_800").c_str(), program.c_str(), FALSE));
    startup_testing::SetInstalledProgram(program);
    const MachineSnapshot before = SnapshotMachine();

    InstallerSession installer;
    ASSERT_TRUE(installer.Opened());
    EXPECT_EQ(installer.Text(IDC_INFO),
              L"'Tavelo 7.01j' Installation.\r\nA more recent Version (Tavelo 8.00) is already installed.");
    EXPECT_EQ(installer.Text(IDC_STATUS), L"Click on 'Cancel' to exit Installation.");
    EXPECT_FALSE(installer.Enabled(IDOK));
    std::optional<DWORD> exitCode;
    EXPECT_EQ(installer.Leave(exitCode), L"") << "leaving asks nothing";
    EXPECT_EQ(exitCode, 0u);

    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
}

TEST_F(EndToEnd, SecondInstallerEndsWhileTheFirstInstalls)
{
    InstallerSession first;
    ASSERT_TRUE(first.Opened());

    const driver::Process second = startup_testing::StartInstaller();
    const HWND box = driver::WaitForMessageBox(second.id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::WindowText(box), L"InstallTavelo7.01j");
    EXPECT_EQ(driver::MessageBoxButtons(box), std::vector<int>{IDOK});
    driver::ClickControl(box, IDOK);
    EXPECT_TRUE(second.WaitForExit().has_value());

    // The first goes on undisturbed to a complete installation.
    const ExpectedLog expectedLog = FreshQuickLog();
    first.QuickModeToProgressPage();
    ASSERT_TRUE(first.Install()) << kv::to_utf8(first.Text(IDC_STATUS));
    ExpectFreshQuickInstallation(first, expectedLog);
    EXPECT_EQ(first.Finish(), 0u);
    ExpectNoTemporaryFolderLeft();

    // Once it has ended, another installer may run.
    InstallerSession next;
    ASSERT_TRUE(next.Opened());
    std::optional<DWORD> exitCode;
    next.Leave(exitCode);
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(EndToEnd, RunningProductHoldsTheInstallationUntilItIsClosed)
{
    startup_testing::RunningProduct product;
    ASSERT_TRUE(product.Started());

    InstallerSession installer(L"", false);
    const HWND box = driver::WaitForMessageBox(installer.process().id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::MessageBoxText(box), L"You should close 'Tavelo' before continuing Installation.");
    EXPECT_EQ(driver::MessageBoxButtons(box), (std::vector<int>{IDRETRY, IDCANCEL}));
    // Nothing has been changed while the question is open.
    EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());

    product.Close();
    driver::ClickControl(box, IDRETRY);
    ASSERT_TRUE(installer.AwaitWizard());
    const ExpectedLog expectedLog = FreshQuickLog();
    installer.QuickModeToProgressPage();
    ASSERT_TRUE(installer.Install()) << kv::to_utf8(installer.Text(IDC_STATUS));
    ExpectFreshQuickInstallation(installer, expectedLog);
    EXPECT_EQ(installer.Finish(), 0u);
    ExpectNoTemporaryFolderLeft();
}

TEST_F(EndToEnd, DamagedPayloadIsRefusedWithNothingLeftBehind)
{
    std::string archive = DemoArchive();
    for (std::size_t at = archive.size() / 2; at < archive.size() / 2 + 16; ++at)
        archive[at] = static_cast<char>(archive[at] ^ 0x5A);
    const std::wstring damaged = InstallerWithPayload(archive);

    InstallerSession installer(damaged);
    ASSERT_TRUE(installer.Opened());
    installer.QuickModeToProgressPage();
    EXPECT_FALSE(installer.Install());

    std::vector<std::wstring> expectedReport = Summary(Folders().installFolder, Folders().startMenuFolder, true, true);
    Append(expectedReport, {L"<rule>", L"Preparing Installation...Failed"});
    EXPECT_EQ(installer.Report(), expectedReport);
    ExpectFailureThenLeave(installer, L"Installation failed (Error Code 6).");

    EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());
    EXPECT_TRUE(ReadLines(directXLog_).empty());
    EXPECT_TRUE(ReadLines(programRecord_).empty());
}

TEST_F(EndToEnd, WrongChecksumOfTheFifthFileRollsEverythingBack)
{
    // Another product of the maker, and a sample of the user's own that the installation
    // replaces, are there before.
    const MachineFolders& folders = Folders();
    const std::wstring otherProduct = folders.installFolder.substr(0, folders.installFolder.rfind(L'\\')) + L"\\Other";
    ASSERT_EQ(::SHCreateDirectoryExW(nullptr, otherProduct.c_str(), nullptr), ERROR_SUCCESS);
    testing_support::WriteFileBytes(otherProduct + L"\\readme.txt", {'o', 't', 'h', 'e', 'r'});
    ASSERT_TRUE(::CreateDirectoryW(folders.samplesFolder.c_str(), nullptr));
    const std::wstring sample = folders.samplesFolder + L"\\Sample 01 - Kitchen.tvp";
    testing_support::WriteFileBytes(sample, {'m', 'i', 'n', 'e'});
    ::SetFileAttributesW(sample.c_str(), FILE_ATTRIBUTE_READONLY);
    const MachineSnapshot before = SnapshotMachine();

    // The main program, the uninstaller, that sample and a texture go first; the fifth
    // file's record holds another CRC-32 than its content.
    std::vector<PayloadFile> files;
    for (const wchar_t* name : {L"Tavelo.exe", L"Uninstall.exe", L"Sample 01 - Kitchen.tvp", L"Oak.ktx", L"Tavelo.fr.dll"})
        files.push_back(DemoFile(name));
    for (const PayloadFile& file : DemoFiles())
        if (std::none_of(files.begin(), files.end(), [&](const PayloadFile& f) { return f.source == file.source; }))
            files.push_back(file);
    files[4].crc = PayloadCrc32(files[4].content.data(), files[4].content.size()) ^ 1u;
    InstallerSession installer(InstallerWithPayload(payload_testing::CompressedPayload(files)));
    ASSERT_TRUE(installer.Opened());
    installer.QuickModeToProgressPage();
    EXPECT_FALSE(installer.Install());

    const std::vector<std::wstring> report = installer.Report();
    std::vector<std::wstring> expectedReport = Summary(folders.installFolder, folders.startMenuFolder, true, true);
    Append(expectedReport, {L"<rule>", L"Preparing Installation...OK"});
    Append(expectedReport, CopyLines({files.begin(), files.begin() + 4}, {}));
    Append(expectedReport, CopyLines({files[4]}, {}, L"Failed"));
    EXPECT_EQ(report, expectedReport);
    ExpectFailureThenLeave(installer, L"Installation failed (Error Code 3).");

    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
    ExpectNoTemporaryFolderLeft();
    EXPECT_TRUE(ReadLines(programRecord_).empty());
}

TEST_F(EndToEnd, InstallThenUninstallLeavesTheMachineAsBefore)
{
    QuickInstallation();
    ASSERT_FALSE(HasFatalFailure());

    EXPECT_THAT(RunUninstaller(Folders().installFolder + L"\\Uninstall.exe"), IsEmpty());

    EXPECT_THAT(Differences(before_, SnapshotMachine()), IsEmpty());
}

} // namespace
