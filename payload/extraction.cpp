#include "payload/extraction.h"

#include "actionlog/folder_rights.h"
#include "actionlog/paths_equivalent.h"
#include "payload/compress_error.h"
#include "payload/decompression.h"
#include "payload/decompression_ahead.h"
#include "payload/payload_format.h"

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/system/system_error.hpp>

#include <share.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ios>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

// Read-back failures are recognised by the system error they carry.
static_assert(std::is_base_of_v<std::system_error, std::ios_base::failure>);

namespace fs = boost::filesystem;

namespace {

// The read-back reads files in blocks of this size.
constexpr std::size_t kBlockSize = payload_decompression::kBlockSize;

void ClearRuntimeError()
{
    errno = 0;
    _doserrno = 0;
}

// The C runtime's last error: the operating system's code if it recorded one, else errno.
std::error_code RuntimeError()
{
    if (_doserrno != 0)
        return {static_cast<int>(_doserrno), std::system_category()};
    if (errno != 0)
        return {errno, std::generic_category()};
    return {};
}

// A stream failure that carries the C runtime's error, so that a sharing violation or an
// access denial can be told apart from other failures.
[[noreturn]] void ThrowStreamFailure(const char* what)
{
    const std::error_code code = RuntimeError();
    throw std::ios_base::failure(what, code ? code : std::make_error_code(std::io_errc::stream));
}

// Throws the decompressed bytes away, giving the caller a turn after every piece: the first
// piece of a bzip2 block comes only after the block's whole input has been read.
struct DiscardingReceiver {
    const BetweenBlocks& betweenBlocks;
    std::size_t write(const char*, std::size_t count)
    {
        if (betweenBlocks)
            betweenBlocks();
        return count;
    }
};

// The lookup, asking the shell once for each folder: every question reads the registry,
// and the payload's files name the same few folders over and over.
ShellFolderLookup AskingOnce(ShellFolderLookup lookup)
{
    return [lookup = std::move(lookup), answers = std::make_shared<std::map<int, std::wstring>>()](int csidl) {
        const auto [answer, added] = answers->try_emplace(csidl);
        if (added)
            answer->second = lookup(csidl);
        return answer->second;
    };
}

// Whether nothing exists at path, so that it cannot be opened either.
bool IsMissing(const std::wstring& path)
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsSharingViolation(const std::error_code& code)
{
    return code.category() == std::system_category() && code.value() == ERROR_SHARING_VIOLATION;
}

std::uint32_t ReadBackCrcOnce(const std::wstring& path, const BetweenBlocks& betweenBlocks)
{
    ClearRuntimeError();
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, Closer> file(::_wfsopen(path.c_str(), L"rb", _SH_DENYWR));
    if (!file)
        ThrowStreamFailure("the written file cannot be opened for reading back");
    PayloadCrc crc;
    char block[kBlockSize];
    for (;;) {
        const std::size_t read = std::fread(block, 1, sizeof block, file.get());
        crc.process_bytes(block, read);
        if (read < sizeof block)
            break;
        if (betweenBlocks)
            betweenBlocks();
    }
    if (std::ferror(file.get()) || !std::feof(file.get()) || RuntimeError())
        ThrowStreamFailure("the written file cannot be read back");
    return crc.checksum();
}

} // namespace

OutputFile::OutputFile(const std::wstring& path)
{
    ClearRuntimeError();
    file_ = ::_wfsopen(path.c_str(), L"wb", _SH_DENYWR);
    if (!file_)
        ThrowStreamFailure("the file cannot be opened for writing");
}

OutputFile::~OutputFile()
{
    if (file_)
        std::fclose(file_);
}

void OutputFile::write(const char* bytes, std::size_t count)
{
    ClearRuntimeError();
    if (std::fwrite(bytes, 1, count, file_) != count)
        ThrowStreamFailure("the file cannot be written");
}

void OutputFile::close()
{
    ClearRuntimeError();
    std::FILE* const file = std::exchange(file_, nullptr);
    if (std::fclose(file) != 0)
        ThrowStreamFailure("the file cannot be written");
}

void ApplyFolderRights(const std::wstring& folder, RightsFolders& rightsFolders, const FolderRightsGranter& grant)
{
    // The folder and its existing parents, asked for once for all listed folders and only
    // when one of them exists: each step of the walk is a query of the file system, and
    // most listed folders are made only for their first file.
    std::optional<std::vector<fs::path>> walk;
    for (RightsFolder& item : rightsFolders) {
        if (item.done || IsMissing(item.path))
            continue;   // an existing folder is never equivalent to a missing one
        if (!walk) {
            walk.emplace();
            boost::system::error_code error;
            for (fs::path current(folder); !current.empty() && fs::is_directory(current, error);
                 current = current.parent_path()) {
                walk->push_back(current);
                if (!current.has_relative_path())
                    break;   // the root is its own parent
            }
        }
        for (const fs::path& current : *walk) {
            const std::wstring path = current.wstring();
            if (item.otherFolders.count(path))
                continue;
            if (PathsEquivalent(path, item.path)) {
                item.done = true;
                grant(path, kFolderFullAccess, kFolderInheritance);
                break;
            }
            item.otherFolders.insert(path);
        }
    }
}

std::unique_ptr<OutputFile> OpenOutput(const std::wstring& path, RightsFolders& rightsFolders,
                                       const FolderRightsGranter& grant)
{
    const fs::path file(path);
    const fs::path parent = file.parent_path();
    boost::system::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (fs::exists(status)) {
        // Follows a link to its target; only a regular file loses its read-only mark.
        if (fs::is_regular_file(status)) {
            const auto writable = fs::perms(fs::add_perms | fs::owner_write | fs::group_write | fs::others_write);
            fs::permissions(file, writable, error);
        }
    } else if (!parent.empty() && !fs::exists(parent, error)) {
        fs::create_directories(parent);
    }
    ApplyFolderRights(parent.wstring(), rightsFolders, grant);
    return std::make_unique<OutputFile>(path);
}

std::uint32_t ReadBackCrc(const std::wstring& path, const BetweenBlocks& betweenBlocks)
{
    for (int retries = 0;; ++retries) {
        try {
            return ReadBackCrcOnce(path, betweenBlocks);
        } catch (const std::system_error& error) {   // the stream failure carries the system error
            if (retries >= 3 || !IsSharingViolation(error.code()))
                throw;
        }
        // A second's wait, in short steps that give the caller's thread its turns.
        for (int step = 0; step < 50; ++step) {
            ::Sleep(20);
            if (betweenBlocks)
                betweenBlocks();
        }
    }
}

PayloadSink::PayloadSink(std::wstring installFolder, std::wstring samplesFolder, std::wstring temporaryFolder,
                         PayloadHandler notify, const ExtractionServices& services)
    : header_(std::make_unique<kv::memstream>()),
      notify_(std::move(notify)),
      grantRights_(services.grantRights ? services.grantRights : FolderRightsGranter(GrantUsersAccess)),
      betweenBlocks_(services.betweenBlocks)
{
    destinations_.installFolder = std::move(installFolder);
    destinations_.samplesFolder = std::move(samplesFolder);
    destinations_.temporaryFolder = std::move(temporaryFolder);
    destinations_.shellFolder = AskingOnce(services.shellFolder ? services.shellFolder : ShellFolderLookup(ShellFolderPath));
}

PayloadSink::~PayloadSink() = default;

const PayloadEntry* PayloadSink::currentEntry() const
{
    return remaining_ ? &entries_[nextIndex_ - 1] : nullptr;
}

notification::result PayloadSink::Notify(notification message)
{
    return notify_ ? notify_(std::move(message)) : notification::result::proceed;
}

std::size_t PayloadSink::write(const char* bytes, std::size_t count)
{
    if (halted_)
        return count;
    try {
        return nextIndex_ == 0 ? WriteHeader(bytes, count) : WriteFile(bytes, count);
    } catch (...) {
        halted_ = true;
        throw;
    }
}

void PayloadSink::finish()
{
    while (!halted_ && nextIndex_ != 0 && nextIndex_ - 1 < entries_.size() && !remaining_
           && entries_[nextIndex_ - 1].size == 0)
        write(nullptr, 0);
}

std::size_t PayloadSink::WriteHeader(const char* bytes, std::size_t count)
{
    const std::size_t have = header_->written();
    if (have < payload_format::kSizeFieldBytes) {
        const std::size_t n = std::min(count, payload_format::kSizeFieldBytes - have);
        header_->write(bytes, static_cast<std::streamsize>(n));
        if (have + n == payload_format::kSizeFieldBytes) {
            headerSize_ = payload_format::ReadLittleEndian(header_->data(), payload_format::kSizeFieldBytes);
            if (headerSize_ < payload_format::kFixedHeaderBytes || headerSize_ > payload_format::kMaxHeaderSize)
                throw_compress_error(compress_errc::unexpected);
        }
        return n;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, headerSize_ - have));
    header_->write(bytes, static_cast<std::streamsize>(n));
    if (have + n == headerSize_)
        ReadHeader();
    return n;
}

void PayloadSink::ReadHeader()
{
    PayloadArchive archive = ReadPayloadHeader(header_->data(), header_->written());
    header_.reset();
    for (PayloadEntry& entry : archive.entries) {
        entry.destination = JoinPath(ExpandDestination(destinations_, entry.destination), PayloadFileName(entry.source));
        // Refused like a malformed header, before anything is written.
        if (DestinationFault(entry.destination))
            throw_compress_error(compress_errc::unexpected);
    }
    bytesDone_ = headerSize_;
    bytesTotal_ = archive.TotalSize();
    entries_ = std::move(archive.entries);
    if (Notify(notification::header{entries_}) == notification::result::abort
        || Notify(notification::progress{bytesDone_, bytesTotal_}) == notification::result::abort)
        throw_compress_error(compress_errc::interrupted);
    nextIndex_ = 1;
}

std::size_t PayloadSink::WriteFile(const char* bytes, std::size_t count)
{
    const std::size_t k = nextIndex_ - 1;
    if (k >= entries_.size())
        throw_compress_error(compress_errc::unexpected);   // more data than the header announced
    const PayloadEntry& entry = entries_[k];

    if (!remaining_) {
        const notification::result answer = Notify(notification::file_begin{entry});
        if (answer == notification::result::abort)
            throw_compress_error(compress_errc::interrupted);
        remaining_ = entry.size;
        skipping_ = answer == notification::result::skip;
        if (!skipping_)
            output_ = OpenOutput(entry.destination, destinations_.rightsFolders, grantRights_);
    }

    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, *remaining_));
    if (!skipping_ && n != 0)
        output_->write(bytes, n);
    *remaining_ -= n;
    bytesDone_ += n;
    if (Notify(notification::progress{bytesDone_, bytesTotal_}) == notification::result::abort)
        throw_compress_error(compress_errc::interrupted);

    if (*remaining_ == 0) {
        if (!skipping_) {
            output_->close();
            output_.reset();
            if (ReadBackCrc(entry.destination, betweenBlocks_) != entry.crc)
                throw_compress_error(compress_errc::invalid_checksum);
            if (Notify(notification::file_end{entry}) == notification::result::abort)
                throw_compress_error(compress_errc::interrupted);
        }
        remaining_.reset();
        skipping_ = false;
        ++nextIndex_;
    }
    return n;
}

bool ExtractPayload(std::istream& payloadStream, const std::wstring& installFolder, const std::wstring& samplesFolder,
                    const std::wstring& temporaryFolder, PayloadHandler handler, const ExtractionServices& services)
{
    if (!handler)
        throw std::invalid_argument("ExtractPayload needs a handler");

    std::wstring failedPath;
    try {
        ClearRuntimeError();
        handler(notification::started{});
        PayloadSink sink(installFolder, samplesFolder, temporaryFolder, handler, services);
        std::uint64_t compressedBytes = 0;
        try {
            compressedBytes = DecompressPayloadAhead(
                payloadStream, [&sink](const char* bytes, std::size_t count) { return sink.write(bytes, count); },
                services.betweenBlocks);
            sink.finish();
            if (sink.bytesTotal() == 0 || sink.bytesDone() != sink.bytesTotal())
                throw_compress_error(compress_errc::unexpected);
        } catch (...) {
            if (const PayloadEntry* entry = sink.currentEntry())
                failedPath = entry->destination;
            throw;
        }
        handler(notification::finished{compressedBytes, sink.bytesTotal()});
        return true;
    } catch (const std::exception& error) {
        // The sink is gone: the file it was writing is closed.
        const std::error_code code = ExtractionErrorCode(error);
        if (failedPath.empty())
            if (const auto* fileSystemError = dynamic_cast<const fs::filesystem_error*>(&error))
                failedPath = fileSystemError->path1().wstring();
        handler(notification::failed{code, failedPath});
        return false;
    }
}

bool VerifyPayload(std::istream& payloadStream, const BetweenBlocks& betweenBlocks)
{
    DiscardingReceiver discard{betweenBlocks};
    if (betweenBlocks)
        DecompressPayload(payloadStream, discard, betweenBlocks);
    else
        DecompressPayload(payloadStream, discard);
    return !payloadStream.fail() && payloadStream.peek() == std::char_traits<char>::eof();
}

std::error_code ExtractionErrorCode(const std::exception& error)
{
    if (dynamic_cast<const boost::iostreams::bzip2_error*>(&error))
        return compress_errc::bzip2_failure;
    if (dynamic_cast<const std::ios_base::failure*>(&error))
        if (const std::error_code code = RuntimeError())
            return code;
    if (const auto* systemError = dynamic_cast<const std::system_error*>(&error))
        return systemError->code();
    if (const auto* boostError = dynamic_cast<const boost::system::system_error*>(&error)) {
        const boost::system::error_code& code = boostError->code();
        if (code.category() == boost::system::generic_category())
            return {code.value(), std::generic_category()};
        if (code.category() == boost::system::system_category())
            return {code.value(), std::system_category()};
    }
    return compress_errc::unexpected;
}
