#include "install/install_procedure.h"

#include "actionlog/journal.h"
#include "actionlog/shortcuts.h"
#include "install/uninstall_registration.h"
#include "payload/answering_wait.h"
#include "payload/directx_setup.h"
#include "payload/extraction.h"
#include "payload/install_handler.h"
#include "payload/path_tokens.h"
#include "product/maker_folders.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "support/strings.h"
#include "support/unique_resource.h"

#include <shlwapi.h>

#include <cwchar>
#include <functional>
#include <optional>
#include <system_error>

namespace {

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

// Undoes the installation on a thread of its own: restoring the replaced files of a large
// installation takes seconds, during which the page answers its messages.
void RollBack(InstallState& state, InstallView& view)
{
    RunAnswering(view, [&state] { state.actionLog.Rollback(); });
}

// Whether the earlier installation already brought the DirectX runtime up to date.
bool PreviousDirectXDone(const ActionLog& log)
{
    for (const ActionRecord& record : log.previousRecords)
        if (record.kind == ActionKind::DirectXUpdate && record.done)
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
    if (state.previousStatus != PreviousInstallStatus::SameVersion && PreviousDirectXDone(state.actionLog))
        return;
    const std::wstring stepText = LoadText(kTextDirectX);
    state.actionLog.AddDirectX();
    view.SetStatusText(stepText);
    view.AppendReport(stepText, false);
    const bool succeeded = setup.Run(view);
    state.actionLog.Complete(succeeded, stepText);
    ReportOutcome(view, succeeded);
}   // the setup library is unloaded here, before the temporary folder is removed

// The installation's journal, attached to its log while it runs. Declared before the
// TemporaryFiles, it goes after them: once the installation is final or rolled back, the
// journal is the last thing removed, so that a stop before that still removes the temporary
// folder at the next start. Left on the disk otherwise, for the next start to undo.
class AttachedJournal {
public:
    AttachedJournal(ActionLog& log, const std::wstring& temporaryFolder, InstallView& view)
        : log_(log), journal_(InstallationJournalPath(), ProductRegistryName(), temporaryFolder)
    {
        // A flush waits for the disk, which takes long while it is busy writing the files
        // before: the page keeps answering meanwhile. A step that runs on a thread of its
        // own already leaves the window's thread answering: it flushes where it is.
        journal_.SetFlushWait([&view, windowThread = ::GetCurrentThreadId()](const std::function<void()>& flush) {
            if (::GetCurrentThreadId() == windowThread)
                RunAnswering(view, flush);
            else
                flush();
        });
        log_.journal = &journal_;
    }
    ~AttachedJournal()
    {
        log_.journal = nullptr;
        if (journal_.Settled())
            journal_.End();
    }
    AttachedJournal(const AttachedJournal&) = delete;
    AttachedJournal& operator=(const AttachedJournal&) = delete;

    Journal* operator->() { return &journal_; }

private:
    ActionLog& log_;
    Journal journal_;
};

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

// The installation path value as it was before this installation, so that an installation
// undone after writing it can put it back: the value's text, or its absence and whether
// the maker's key existed.
class InstallationPathValueBefore {
public:
    InstallationPathValueBefore()
    {
        kv::unique_hkey key;
        keyExisted_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakerKeyPath, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
        DWORD size = 0;
        if (keyExisted_
            && ::RegGetValueW(key.get(), nullptr, name_.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) == ERROR_SUCCESS) {
            std::wstring value(size / sizeof(wchar_t), L'\0');
            if (::RegGetValueW(key.get(), nullptr, name_.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &size)
                == ERROR_SUCCESS) {
                value.resize(::wcsnlen(value.c_str(), value.size()));
                value_ = std::move(value);
            }
        }
    }

    void Restore() const
    {
        if (!keyExisted_) {
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMakerKeyPath);   // only when nothing else is below it
            return;
        }
        if (value_)
            ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMakerKeyPath, name_.c_str(), REG_SZ, value_->c_str(),
                              static_cast<DWORD>((value_->size() + 1) * sizeof(wchar_t)));
        else
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMakerKeyPath, name_.c_str());
    }

private:
    std::wstring name_ = InstallationPathValueName();
    bool keyExisted_ = false;
    std::optional<std::wstring> value_;
};

bool g_journalKept = true;

} // namespace

void SetInstallationJournalKept(bool kept)
{
    g_journalKept = kept;
}

std::wstring InstallationJournalPath()
{
    return GetMakerFolders().commonData + L"\\" + ProductRegistryName() + L" Installation.journal";
}

std::wstring RecoveryNotice(const JournalRecovery& recovery, const std::wstring& journalPath)
{
    switch (recovery.outcome) {
    case JournalRecovery::Undone: {
        if (recovery.notUndone.empty())
            return FormatText(LoadText(kTextInterruptionUndone), ProductDisplayName(false));
        std::wstring items;
        for (const std::wstring& item : recovery.notUndone)
            items += (items.empty() ? L"" : L"\r\n") + item;
        return FormatText(LoadText(kTextInterruptionPartlyUndone), ProductDisplayName(false), items);
    }
    case JournalRecovery::Unreadable:
        return FormatText(LoadText(kTextJournalUnreadable), journalPath);
    case JournalRecovery::Untrusted:
        return FormatText(LoadText(kTextJournalUntrusted), journalPath);
    default:
        return {};
    }
}

bool Install(InstallState& state, InstallView& view, ApplicationMutex& mutex)
{
    InstalledPrograms programs;
    view.AppendReport(std::wstring(), true);
    const ViewWaitCursor waitCursor(view);
    view.SetStatusText(LoadText(kTextPreparing));

    const auto fail = [&view](const std::wstring& errorText) {
        const std::wstring failure = FormatText(LoadText(kTextInstallationFailed), errorText);
        view.SetStatusText(failure);
        view.AppendReport(failure + L"\r\n", false);
        return false;
    };
    std::wstring errorText;
    if (!MakeTemporaryFolderPath(state, errorText))
        return fail(errorText);
    const std::wstring samplesFolder = FormatText(LoadText(kTextSamplesFolder), ProductDisplayName(false));

    // Destroyed in reverse order on every way out: the payload stream, then the hold on
    // the temporary folder, then the temporary files and folder, then the journal, then the
    // wait cursor.
    std::optional<AttachedJournal> journal;
    try {
        if (g_journalKept)
            journal.emplace(state.actionLog, state.temporaryFolder, view);
    } catch (const std::system_error& error) {
        // Without a journal an interruption could not be undone: nothing is changed.
        return fail(kv::format(L"%08x (%ls)", static_cast<unsigned>(error.code().value()), L"Journal"));
    }
    const TemporaryFiles temporaryFiles(state.temporaryFolder);
    // The DirectX setup library is loaded from it with administrator rights: it is made
    // before anything is written into it, closed to every process of the user that runs
    // without them.
    kv::unique_file temporaryFolderHold;
    try {
        temporaryFolderHold = CreateTemporaryFolder(state.temporaryFolder);
    } catch (const std::system_error& error) {
        if (journal)
            (*journal)->RolledBack();   // nothing was changed: the journal goes
        return fail(kv::format(L"%08x (%ls)", static_cast<unsigned>(error.code().value()), L"CreateDirectory"));
    }
    view.SetProgress(0);
    view.ShowProgress(true);
    kv::imemstream payloadStream = OpenPayloadStream();

    // Reading a written file back sends no notification: the page answers its messages
    // between the blocks of the read-back as it does after the notifications.
    const InstallHandler handler(view, payloadStream, state, programs);
    ExtractionServices services;
    services.betweenBlocks = [handler] { handler.PumpWhenDue(); };
    if (!ExtractPayload(payloadStream, state.installFolder, samplesFolder, state.temporaryFolder, handler,
                        services)) {
        // The handler has reported the failure with its error code.
        RollBack(state, view);
        return false;
    }

    // An error that escapes from here on (an allocation failure) undoes the installation as
    // any other failure does, until the uninstall log has been written: from then on the
    // backups are gone and the installation belongs to the uninstaller.
    const InstallationPathValueBefore pathValueBefore;
    bool pathValueWritten = false;
    bool logWritten = false;
    try {
        MarkReadOnly(programs.mainProgram);
        MarkReadOnly(programs.uninstaller);

        if (state.createMenuShortcuts || state.createDesktopShortcut) {
            AnnounceStep(view, kTextShortcuts);
            // Saving a shell link through COM takes half a second: off this thread.
            ReportOutcome(view, CallAnswering(view, [&] {
                              return CreateProductShortcuts(state, programs.mainProgram, programs.uninstaller);
                          }));
        }

        RunDirectXStep(state, view);

        AnnounceStep(view, kTextRegistry);
        const bool registryWritten = WriteUninstallRegistration(programs.mainProgram, programs.uninstaller, state.actionLog);
        if (journal)
            (*journal)->RecordRegistryValue(kMakerKeyPath, InstallationPathValueName());
        pathValueWritten = WriteInstallationPathValue(programs.mainProgram);
        if (!pathValueWritten) {
            // Without it the next installer cannot find the product: the installation is undone.
            RollBack(state, view);
            ReportOutcome(view, false);
            view.SetStatusText(FormatText(LoadText(kTextInstallationFailed), L"-1"));
            return false;
        }

        state.actionLog.AddRegistration();
        const RegistrationRun run = RunProductRegistration(programs.mainProgram, mutex, &view);
        const bool registered = run.started && run.exitCode == kRegistrationSucceeded;
        state.actionLog.Complete(registered);
        // The registry line shows "OK" only when the values and the product's own registration
        // both succeeded.
        ReportOutcome(view, registryWritten && registered);

        AnnounceStep(view, kTextInstallationData);
        const std::optional<std::wstring> logPath = UninstallLogPath(programs.uninstaller);
        logWritten = logPath && CallAnswering(view, [&] {
                         return state.actionLog.Write(*logPath, state.installFolder, state.startMenuFolder);
                     });
        // Without an uninstaller there is no log, but the installation is final all the same.
        if (journal && !(*journal)->Settled())
            (*journal)->Final();
    } catch (...) {
        RollBack(state, view);
        if (pathValueWritten)
            pathValueBefore.Restore();
        throw;
    }
    ReportOutcome(view, logWritten);

    view.SetStatusText(ContinueStatusText());
    return true;
}
