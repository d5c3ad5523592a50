#include "payload/install_handler.h"

#include "actionlog/folder_rights.h"
#include "payload/compress_error.h"
#include "payload/path_tokens.h"
#include "product/texts.h"
#include "support/strings.h"

#include <shlwapi.h>

#include <cmath>
#include <type_traits>

namespace {

// Only a file is taken over; a folder or anything else in its place makes the file's write
// fail.
bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

int ProgressPercent(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    const int percent = static_cast<int>(std::floor(static_cast<double>(done) / static_cast<double>(total) * 100.0 + 0.5));
    return percent == 100 && done < total ? 99 : percent;
}

std::wstring ErrorCodeText(const std::error_code& code)
{
    if (code.category() == std::system_category())
        return kv::format(L"1:%08X", static_cast<unsigned>(code.value()));
    if (code.category() == std::generic_category())
        return kv::format(L"2:%08X", static_cast<unsigned>(code.value()));
    if (code.category() == compress_category())
        return std::to_wstring(code.value());
    return std::to_wstring(static_cast<int>(compress_errc::unexpected));
}

InstallHandler::InstallHandler(InstallView& view, std::istream& payloadStream, InstallState& state,
                               InstalledPrograms& programs, std::chrono::milliseconds pumpInterval,
                               FolderRightsGranter grantRights)
    : view_(&view), payloadStream_(&payloadStream), state_(&state), programs_(&programs),
      grantRights_(grantRights ? std::move(grantRights) : FolderRightsGranter(GrantUsersAccess)),
      pacing_(std::make_shared<Pacing>(Pacing{pumpInterval, {}}))
{
}

void InstallHandler::PumpWhenDue() const
{
    const auto now = std::chrono::steady_clock::now();
    if (now - pacing_->last < pacing_->interval)
        return;
    pacing_->last = now;
    view_->PumpMessages();
}

notification::result InstallHandler::operator()(notification message)
{
    const notification::result answer = std::visit(
        [this](const auto& event) {
            using Event = std::decay_t<decltype(event)>;
            if constexpr (std::is_same_v<Event, notification::started>)
                return Started();
            else if constexpr (std::is_same_v<Event, notification::file_begin>)
                return FileBegin(event.entry);
            else if constexpr (std::is_same_v<Event, notification::file_end>)
                return FileEnd(event.entry);
            else if constexpr (std::is_same_v<Event, notification::progress>)
                return Progress(event.done, event.total);
            else if constexpr (std::is_same_v<Event, notification::failed>)
                return Failed(event.code);
            else if constexpr (std::is_same_v<Event, notification::header>)
                return Header(event.entries);
            else
                return notification::result::proceed;
        },
        message);
    // The page keeps repainting while the payload is unpacked; its buttons are disabled,
    // so nothing a handled message does can reach the state used here.
    PumpWhenDue();
    return answer;
}

notification::result InstallHandler::Started()
{
    const std::wstring preparing = LoadText(kTextPreparing);
    view_->SetStatusText(preparing);
    view_->AppendReport(preparing, false);
    // A damaged archive is refused here, before a single file is written: a bzip2 error
    // leaves this handler as it is, an unclean end is reported as a damaged archive. The
    // pass takes seconds on a large payload: the page keeps answering its messages.
    if (!VerifyPayload(*payloadStream_, [this] { PumpWhenDue(); }))
        throw_compress_error(compress_errc::damaged_archive);
    payloadStream_->clear();
    payloadStream_->seekg(0);
    ReportOutcome(*view_, true);
    return notification::result::proceed;
}

notification::result InstallHandler::Header(const std::vector<PayloadEntry>& entries)
{
    // The files that are new to the machine go into the journal in one write, before the
    // first of them is made: one flush instead of one per file. The temporary files have
    // no records; their folder goes as a whole.
    std::vector<std::pair<std::wstring, FileKind>> files;
    for (const PayloadEntry& entry : entries)
        if (entry.kind != FileKind::TemporaryFile)
            files.emplace_back(entry.destination, entry.kind);
    state_->actionLog.Foresee(files);
    return notification::result::proceed;
}

notification::result InstallHandler::FileBegin(const PayloadEntry& entry)
{
    const std::wstring& path = entry.destination;
    ActionLog& log = state_->actionLog;
    switch (entry.kind) {
    case FileKind::MainProgram:
        programs_->mainProgram = path;
        return Write(entry, false);
    case FileKind::Uninstaller:
        programs_->uninstaller = path;
        return Write(entry, false);
    case FileKind::SharedData: {
        // A shared file that the earlier installation put there stays as it is; its record
        // is carried over when the log is written. One that has since been deleted is
        // written again.
        const bool exists = FileExists(path);
        if (state_->previousStatus != PreviousInstallStatus::NotInstalled && log.HasCompletedFile(path) && exists) {
            OpenToUsers(path);
            return notification::result::skip;
        }
        if (!exists)
            return Write(entry, true);
        // A file the earlier installation did not put there is taken over unchanged.
        log.AddFile(path, FileKind::SharedData, true);
        log.Complete(true);
        OpenToUsers(path);
        return notification::result::skip;
    }
    case FileKind::SampleData:
        // An update keeps the user's samples of the earlier version.
        if (state_->previousStatus == PreviousInstallStatus::OlderVersion)
            return notification::result::skip;
        return Write(entry, false);
    case FileKind::TemporaryFile:
        if (TemporaryFiles* temporaryFiles = TemporaryFiles::Current())
            temporaryFiles->Add(path);
        return Write(entry, false);
    default:
        return Write(entry, false);
    }
}

notification::result InstallHandler::Write(const PayloadEntry& entry, bool copyOriginal)
{
    const std::wstring text = FormatText(LoadText(kTextCopying), kv::quoted_path(entry.destination));
    view_->SetStatusPath(text);
    view_->AppendReport(text, false);
    // Raises when a file to be replaced cannot be saved: its line then ends with "Failed".
    if (entry.kind != FileKind::TemporaryFile)
        state_->actionLog.AddFile(entry.destination, entry.kind, copyOriginal);
    return notification::result::proceed;
}

notification::result InstallHandler::FileEnd(const PayloadEntry& entry)
{
    if (entry.kind == FileKind::SharedData)
        OpenToUsers(entry.destination);
    if (entry.kind != FileKind::TemporaryFile)
        state_->actionLog.Complete(true);
    ReportOutcome(*view_, true);
    return notification::result::proceed;
}

void InstallHandler::OpenToUsers(const std::wstring& path) const
{
    grantRights_(path, kSharedFileModifyAccess, 0);
}

notification::result InstallHandler::Progress(std::uint64_t done, std::uint64_t total)
{
    view_->SetProgress(ProgressPercent(done, total));
    return notification::result::proceed;
}

notification::result InstallHandler::Failed(const std::error_code& code)
{
    state_->actionLog.Complete(false);
    ReportOutcome(*view_, false);
    view_->SetStatusText(FormatText(LoadText(kTextInstallationFailed), ErrorCodeText(code)));
    return notification::result::abort;
}
