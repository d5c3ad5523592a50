// Every way an installation of the demo payload can fail, on a fresh machine and on one
// with 7.01h installed: once at each entry the installation writes (by turns an output
// that cannot be opened and a read-back that does not match) and at each later step that undoes the
// installation, the machine afterwards is exactly the machine before; at each step whose
// failure is not fatal the installation completes and its log records the step as not
// done. Each machine in a Wine prefix of its own; each case starts from the same machine,
// which is put back after every case that changed it.
#include "actionlog/action_log.h"
#include "install/install_procedure.h"
#include "installation_test_support.h"
#include "payload/install_handler.h"
#include "support/recording_install_view.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/wine_detection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sddl.h>
#include <shlobj.h>

#include <memory>
#include <new>
#include <optional>
#include <utility>

using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;

namespace {

enum class Machine { Fresh, Over701h };

enum class Failure {
    OutputCannotBeOpened,   // at an entry: a folder is in the way when its file is opened
    ReadBackDiffers,        // at an entry: the record's CRC-32 is not that of the content
    PathValueDenied,        // the installation path value cannot be written
    ErrorEscapes,           // an error (out of memory) escapes when a step is announced
    ShortcutFails,          // a folder where a shortcut file goes: not fatal
    DirectXFails,           // the DirectX setup reports a failure: not fatal
    RegistrationRunFails,   // the product's registration run does not answer -10: not fatal
};

struct SweepCase {
    Machine machine;
    Failure failure;
    std::size_t entry = 0;   // the payload entry, for failures at an entry
    std::wstring text;       // the step's text (ErrorEscapes), the shortcut's path (ShortcutFails)
};

bool Fatal(Failure failure)
{
    return failure != Failure::ShortcutFails && failure != Failure::DirectXFails
           && failure != Failure::RegistrationRunFails;
}

std::wstring Quoted(const std::wstring& path)
{
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

// Whether the installation writes this entry on that machine: an update keeps the samples
// and the shared files 7.01h installed.
bool Written(const PayloadFile& file, Machine machine)
{
    if (machine == Machine::Fresh)
        return true;
    if (file.kind == FileKind::SampleData)
        return false;
    static const std::vector<PayloadFile> olderFiles = OlderDemoProduct();
    if (file.kind == FileKind::SharedData)
        for (const PayloadFile& older : olderFiles)
            if (older.source == file.source)
                return false;
    return true;
}

// The demo payload's entries with small contents, so that the sweep stays fast. The
// programs the installation runs after the unpacking (the main program, the DirectX setup
// library) keep their own when the case gets that far.
std::vector<PayloadFile> SweepFiles(bool realPrograms)
{
    std::vector<PayloadFile> files = DemoFiles();
    for (PayloadFile& file : files)
        if (!realPrograms || (file.kind != FileKind::MainProgram && file.kind != FileKind::Uninstaller && file.source != L"DSETUP.dll"))
            file.content = "content of " + kv::to_utf8(file.source);
    return files;
}

std::vector<SweepCase> SweepCases(Machine machine)
{
    const std::vector<PayloadFile>& files = DemoFiles();
    const MachineFolders& folders = Folders();
    std::vector<SweepCase> cases;
    {
        // Each written entry fails once, by turns through each of the two ways.
        bool unopenable = true;
        for (std::size_t entry = 0; entry < files.size(); ++entry) {
            if (!Written(files[entry], machine))
                continue;
            cases.push_back({machine, unopenable ? Failure::OutputCannotBeOpened : Failure::ReadBackDiffers, entry, {}});
            unopenable = !unopenable;
        }
        cases.push_back({machine, Failure::PathValueDenied, 0, {}});
        for (const wchar_t* step : {L"Shortcuts Creation...", kDirectXText, L"Registry Data Writing...",
                                    L"Installation Data Writing..."})
            // An update after 7.01h, which brought DirectX up to date, has no DirectX step.
            if (machine == Machine::Fresh || step != std::wstring(kDirectXText))
                cases.push_back({machine, Failure::ErrorEscapes, 0, step});
        for (const std::wstring& shortcut : {folders.startMenuFolder + L"\\Tavelo 7.01j.lnk",
                                             folders.startMenuFolder + L"\\Uninstall Tavelo.lnk",
                                             folders.publicDesktop + L"\\Tavelo 7.01j.lnk"})
            cases.push_back({machine, Failure::ShortcutFails, 0, shortcut});
        if (machine == Machine::Fresh)
            cases.push_back({machine, Failure::DirectXFails, 0, {}});
        cases.push_back({machine, Failure::RegistrationRunFails, 0, {}});
    }
    return cases;
}

std::string CaseName(const testing::TestParamInfo<SweepCase>& info)
{
    const SweepCase& sweep = info.param;
    std::string name;
    switch (sweep.failure) {
    case Failure::OutputCannotBeOpened: return name + "OutputOfEntry" + std::to_string(sweep.entry) + "CannotBeOpened";
    case Failure::ReadBackDiffers: return name + "ReadBackOfEntry" + std::to_string(sweep.entry) + "Differs";
    case Failure::PathValueDenied: return name + "PathValueDenied";
    case Failure::ErrorEscapes: return name + "ErrorEscapesAtStep" + std::to_string(info.index);
    case Failure::ShortcutFails: return name + "ShortcutFails" + std::to_string(info.index);
    case Failure::DirectXFails: return name + "DirectXFails";
    case Failure::RegistrationRunFails: return name + "RegistrationRunFails";
    }
    return name + std::to_string(info.index);
}

// A view that makes the failure happen: it puts a folder in the way of one file between
// its record and its opening (and takes it away when the failure is reported, so that the
// rollback meets the machine as the failure left it), or lets an error escape when a step
// is announced.
class SweepView : public testing_support::RecordingInstallView {
public:
    SweepView(const InstallState& state, std::optional<PayloadFile> obstructed, std::wstring throwAt)
        : state_(state), obstructed_(std::move(obstructed)), throwAt_(std::move(throwAt))
    {
    }

    void SetStatusPath(const std::wstring& text) override
    {
        RecordingInstallView::SetStatusPath(text);
        if (obstructed_) {
            const std::wstring path = InstalledPath(*obstructed_, state_.temporaryFolder);
            if (text == L"Copying File  " + Quoted(path) + L"...") {
                armed_ = path;
                // The handler lets the view pump at most once per pump interval: waiting
                // longer here makes the pump after this notification due.
                ::Sleep(static_cast<DWORD>(2 * InstallHandler::kPumpInterval.count()));
            }
        }
    }

    // Pumped after the handler has recorded the file (and moved away the file it replaces),
    // before the file is opened.
    void PumpMessages() override
    {
        RecordingInstallView::PumpMessages();
        if (!armed_.empty()) {
            EXPECT_TRUE(::CreateDirectoryW(armed_.c_str(), nullptr)) << kv::to_utf8(armed_);
            obstacle_ = std::exchange(armed_, {});
        }
    }

    void SetStatusText(const std::wstring& text) override
    {
        RecordingInstallView::SetStatusText(text);
        if (!obstacle_.empty() && text.rfind(L"Installation failed", 0) == 0) {
            ::RemoveDirectoryW(obstacle_.c_str());
            obstacle_.clear();
        }
        if (!throwAt_.empty() && text == throwAt_)
            throw std::bad_alloc();
    }

private:
    const InstallState& state_;
    std::optional<PayloadFile> obstructed_;
    std::wstring throwAt_;
    std::wstring armed_;
    std::wstring obstacle_;
};

// Sets an environment variable that the demo programs read, for the life of the object.
class DemoSetting {
public:
    DemoSetting(const wchar_t* name, const wchar_t* value) : name_(name) { ::SetEnvironmentVariableW(name, value); }
    ~DemoSetting() { ::SetEnvironmentVariableW(name_, nullptr); }
    DemoSetting(const DemoSetting&) = delete;
    DemoSetting& operator=(const DemoSetting&) = delete;

private:
    const wchar_t* name_;
};

void SetMakerKeySecurity(const wchar_t* descriptor)
{
    kv::unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Korvane", 0, nullptr, 0, WRITE_DAC, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    kv::unique_local_ptr<void> security;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1, security.put(),
                                                                        nullptr));
    ASSERT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, security.get()), ERROR_SUCCESS);
}

class RollbackSweep : public testing::TestWithParam<SweepCase> {
protected:
    static void SetUpTestSuite()
    {
        PrepareInstallerProcess();
        mutex_ = std::make_unique<ApplicationMutex>(L"TaveloInstallationTest");
        ASSERT_TRUE(mutex_->try_lock());
    }

    static void TearDownTestSuite() { mutex_.reset(); }

    // The machine of the case as it is before every case: fresh, or with 7.01h installed
    // (once, on the fresh machine).
    static const MachineSnapshot& MachineBefore(Machine machine)
    {
        if (!fresh_)
            fresh_ = std::make_unique<MachineSnapshot>(SnapshotMachine());
        if (machine == Machine::Fresh) {
            EXPECT_FALSE(over701h_) << "the fresh machine's cases run in a program of their own";
            return *fresh_;
        }
        if (!over701h_) {
            InstallState older = StartupState();
            testing_support::RecordingInstallView view;
            {
                const EmbeddedPayload payload(payload_testing::CompressedPayload(OlderDemoProduct()));
                EXPECT_TRUE(Install(older, view, *mutex_));
            }
            EXPECT_TRUE(MarkLogAsWrittenBy701h(Folders().installFolder + L"\\Uninstall.ulog"));
            over701h_ = std::make_unique<MachineSnapshot>(SnapshotMachine());
        }
        return *over701h_;
    }

    // The sweep's payload for a case that fails at an entry, where an entry's record may hold
    // a wrong CRC-32, or for one that gets past the unpacking (compressed once).
    static std::string Archive(const SweepCase& sweep)
    {
        if (sweep.failure == Failure::ReadBackDiffers) {
            std::vector<PayloadFile> files = SweepFiles(false);
            PayloadFile& file = files[sweep.entry];
            file.crc = PayloadCrc32(file.content.data(), file.content.size()) ^ 1u;
            return payload_testing::CompressedPayload(files);
        }
        static const std::string small = payload_testing::CompressedPayload(SweepFiles(false));
        static const std::string withPrograms = payload_testing::CompressedPayload(SweepFiles(true));
        return sweep.failure == Failure::OutputCannotBeOpened ? small : withPrograms;
    }

    static std::unique_ptr<ApplicationMutex> mutex_;
    static std::unique_ptr<MachineSnapshot> fresh_;
    static std::unique_ptr<MachineSnapshot> over701h_;
};

std::unique_ptr<ApplicationMutex> RollbackSweep::mutex_;
std::unique_ptr<MachineSnapshot> RollbackSweep::fresh_;
std::unique_ptr<MachineSnapshot> RollbackSweep::over701h_;

TEST_P(RollbackSweep, FatalFailureLeavesTheMachineAsItWasAndAnyOtherIsRecordedAsNotDone)
{
    const SweepCase& sweep = GetParam();
    const MachineSnapshot& machine = MachineBefore(sweep.machine);
    ASSERT_FALSE(HasFatalFailure());
    const bool fatal = Fatal(sweep.failure);

    // What the case needs on the machine besides its failure.
    std::optional<DemoSetting> setting;
    if (sweep.failure == Failure::PathValueDenied)
        SetMakerKeySecurity(L"D:(A;;KA;;;WD)");   // the maker's key exists
    if (sweep.failure == Failure::ShortcutFails) {
        testing_support::RemoveTree(sweep.text);   // the earlier installation's shortcut
        ASSERT_EQ(::SHCreateDirectoryExW(nullptr, sweep.text.c_str(), nullptr), ERROR_SUCCESS);
    }
    if (sweep.failure == Failure::DirectXFails)
        setting.emplace(L"TAVELO_DSETUP_RESULT", L"-1");
    if (sweep.failure == Failure::RegistrationRunFails)
        setting.emplace(L"TAVELO_DEMO_REGISTRATION_RESULT", L"0");
    const bool preparedHere = sweep.failure == Failure::PathValueDenied || sweep.failure == Failure::ShortcutFails;
    const MachineSnapshot before = preparedHere ? SnapshotMachine() : machine;
    if (sweep.failure == Failure::PathValueDenied)   // but nobody may write its values
        SetMakerKeySecurity(L"D:(D;;KW;;;WD)(A;;KA;;;WD)");

    InstallState state = StartupState();
    SweepView view(state,
                   sweep.failure == Failure::OutputCannotBeOpened ? std::optional(DemoFiles()[sweep.entry])
                                                                   : std::nullopt,
                   sweep.failure == Failure::ErrorEscapes ? sweep.text : std::wstring());
    bool installed = false;
    {
        const EmbeddedPayload payload(Archive(sweep));
        if (sweep.failure == Failure::ErrorEscapes)
            EXPECT_THROW(Install(state, view, *mutex_), std::bad_alloc);
        else
            installed = Install(state, view, *mutex_);
    }
    setting.reset();
    if (sweep.failure == Failure::PathValueDenied)
        SetMakerKeySecurity(L"D:(A;;KA;;;WD)");

    if (fatal) {
        EXPECT_FALSE(installed);
        const wchar_t* const code = sweep.failure == Failure::OutputCannotBeOpened ? L"1:00000005"   // access denied
                                    : sweep.failure == Failure::ReadBackDiffers ? L"3"
                                    : sweep.failure == Failure::PathValueDenied ? L"-1"
                                                                                : nullptr;
        if (code) {
            EXPECT_EQ(view.StatusLine(), L"Installation failed (Error Code " + std::wstring(code) + L").");
        }
        EXPECT_THAT(state.actionLog.records, IsEmpty());
        EXPECT_FALSE(Exists(state.temporaryFolder));
        MachineSnapshot after = SnapshotMachine();
        // Wine's RegRestoreKeyW reports success and restores nothing: the uninstall entry of
        // 7.01h, rewritten by the registry step, cannot come back there. (Its backup is
        // still removed, which the temporary folder shows.)
        const bool entryRewritten = sweep.failure == Failure::PathValueDenied
                                    || (sweep.failure == Failure::ErrorEscapes
                                        && sweep.text == L"Installation Data Writing...");
        if (sweep.machine == Machine::Over701h && entryRewritten && testing_support::RunningUnderWine())
            after.uninstallKey = before.uninstallKey;
        const std::vector<std::wstring> differences = Differences(before, after);
        EXPECT_THAT(differences, IsEmpty());
        if (!differences.empty() || preparedHere)
            RestoreMachine(machine);
    } else {
        EXPECT_TRUE(installed);
        std::wstring log;
        ASSERT_TRUE(ReadUninstallLog(Folders().installFolder + L"\\Uninstall.ulog", log));
        std::wstring notDone;
        if (sweep.failure == Failure::ShortcutFails) {
            const ActionKind kind = sweep.text.find(L"Uninstall") != std::wstring::npos ? ActionKind::UninstallShortcut
                                    : sweep.text.find(Folders().publicDesktop) == 0      ? ActionKind::DesktopShortcut
                                                                                         : ActionKind::ProgramShortcut;
            notDone = kv::format(L":%04x:0 -- \r\n", ActionKindNumber(kind) * 256 + 0xFF);
        } else if (sweep.failure == Failure::DirectXFails) {
            notDone = L":07ff:0 -- " + std::wstring(kDirectXText) + L"\r\n";
        } else {
            notDone = L":06ff:0 -- HKEY_CLASSES_ROOT\\...\r\n";
        }
        EXPECT_NE(log.find(notDone), std::wstring::npos) << kv::to_utf8(log);
        RestoreMachine(machine);
    }
}

// Each machine's cases run in a program of their own, on a fresh machine.
INSTANTIATE_TEST_SUITE_P(Fresh, RollbackSweep, testing::ValuesIn(SweepCases(Machine::Fresh)), CaseName);
INSTANTIATE_TEST_SUITE_P(Over701h, RollbackSweep, testing::ValuesIn(SweepCases(Machine::Over701h)), CaseName);

} // namespace
