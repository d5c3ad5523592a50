#include "app/install_procedure.h"

#include "actionlog/shortcuts.h"
#include "app/product_identity.h"
#include "app/uninstall_registration.h"
#include "payload/directx_setup.h"
#include "payload/extraction.h"
#include "payload/install_handler.h"
#include "payload/path_tokens.h"
#include "ui/texts.h"

#include <shlwapi.h>

#include <optional>

namespace {

constexpr int kTextSamplesFolder = 18;
constexpr int kTextShortcuts = 117;
constexpr int kTextRegistry = 118;
constexpr int kTextInstallationData = 119;
constexpr int kTextDirectX = 131;

// Shows the hourglass for as long as it lives.
class ViewWaitCursor {
public:
    explicit ViewWaitCursor(InstallView& view) : view_(view) { view_.BeginWaitCursor(); }
    ~ViewWaitCursor() { view_.EndWaitCursor(); }
    ViewWaitCursor(const ViewWaitCursor&) = delete;
    ViewWaitCursor& operator=(const ViewWaitCursor&) = delete;

private:
    InstallView& view_;
};

// The first half of a step's report line, also shown in the status line.
void AnnounceStep(InstallView& view, int text)
{
    const std::wstring stepText = LoadText(text);
    view.SetStatusText(stepText);
    view.AppendReport(stepText, false);
}

void MarkReadOnly(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
}

// Whether the earlier installation already brought the DirectX runtime up to date.
bool PreviousDirectXDone(const ActionLog& log)
{
    for (const ActionRecord& record : log.previousRecords)
        if (record.kind == DirectXUpdate && record.done)
            return true;
    return false;
}

void RunDirectXStep(InstallState& state, InstallView& view)
{
    DirectXSetup setup(state.temporaryFolder);
    if (!setup.usable())
        return;
    // A reinstallation of this version always runs it; an update runs it unless the
    // earlier installation did.
    if (state.previousStatus != SameVersion && PreviousDirectXDone(state.actionLog))
        return;
    const std::wstring stepText = LoadText(kTextDirectX);
    state.actionLog.AddDirectX();
    view.SetStatusText(stepText);
    view.AppendReport(stepText, false);
    const bool succeeded = setup.Run(view);
    state.actionLog.Complete(succeeded, stepText);
    ReportOutcome(view, succeeded);
}   // the setup library is unloaded here, before the temporary folder is removed

// "...\Uninstall.ulog" beside the installed uninstaller, or nothing when the uninstaller's
// path names no folder.
std::optional<std::wstring> UninstallLogPath(const std::wstring& uninstaller)
{
    wchar_t path[MAX_PATH];
    ::lstrcpynW(path, uninstaller.c_str(), MAX_PATH);
    if (!::PathRemoveFileSpecW(path) || !::PathAppendW(path, L"Uninstall.ulog"))
        return std::nullopt;
    return std::wstring(path);
}

} // namespace

bool Install(InstallState& state, InstallView& view, ApplicationMutex& mutex)
{
    InstalledPrograms programs;
    view.AppendReport(std::wstring(), true);
    const ViewWaitCursor waitCursor(view);
    view.SetStatusText(LoadText(kTextPreparing));

    std::wstring errorText;
    if (!MakeTemporaryFolderPath(state, errorText)) {
        const std::wstring failure = FormatText(LoadText(kTextInstallationFailed), errorText);
        view.SetStatusText(failure);
        view.AppendReport(failure + L"\r\n", false);
        return false;
    }
    const std::wstring samplesFolder = FormatText(LoadText(kTextSamplesFolder), ProductDisplayName(false));

    // Destroyed in reverse order on every way out: the payload stream, then the temporary
    // files and folder, then the wait cursor.
    const TemporaryFiles temporaryFiles(state.temporaryFolder);
    view.SetProgress(0);
    view.ShowProgress(true);
    kv::imemstream payloadStream = OpenPayloadStream();

    if (!ExtractPayload(payloadStream, state.installFolder, samplesFolder, state.temporaryFolder,
                        InstallHandler(view, payloadStream, state, programs))) {
        // The handler has reported the failure with its error code.
        state.actionLog.Rollback();
        return false;
    }

    MarkReadOnly(programs.mainProgram);
    MarkReadOnly(programs.uninstaller);

    if (state.createMenuShortcuts || state.createDesktopShortcut) {
        AnnounceStep(view, kTextShortcuts);
        ReportOutcome(view, CreateProductShortcuts(state, programs.mainProgram, programs.uninstaller));
    }

    RunDirectXStep(state, view);

    AnnounceStep(view, kTextRegistry);
    const bool registryWritten = WriteUninstallRegistration(programs.mainProgram, programs.uninstaller, state.actionLog);
    if (!WriteInstallationPathValue(programs.mainProgram)) {
        // Without it the next installer cannot find the product: the installation is undone.
        state.actionLog.Rollback();
        ReportOutcome(view, false);
        view.SetStatusText(FormatText(LoadText(kTextInstallationFailed), L"-1"));
        return false;
    }

    state.actionLog.AddRegistration();
    const RegistrationRun run = RunProductRegistration(programs.mainProgram, mutex);
    const bool registered = run.started && run.exitCode == kRegistrationSucceeded;
    state.actionLog.Complete(registered);
    // The registry line shows "OK" only when the values and the product's own registration
    // both succeeded.
    ReportOutcome(view, registryWritten && registered);

    AnnounceStep(view, kTextInstallationData);
    const std::optional<std::wstring> logPath = UninstallLogPath(programs.uninstaller);
    ReportOutcome(view, logPath && state.actionLog.Write(*logPath, state.installFolder, state.startMenuFolder));

    view.SetStatusText(ContinueStatusText());
    return true;
}
