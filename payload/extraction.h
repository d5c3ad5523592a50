// The extraction engine: turns the payload stream into files on disk. It decides nothing
// about a particular file; it tells a handler what happens at each step and obeys its
// answers.
#pragma once

#include "payload/path_tokens.h"
#include "payload/payload_archive.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

namespace extraction_notifications {
struct started {};
struct finished {
    std::uint64_t compressedBytes;   // bytes read from the archive stream in the extraction pass
    std::uint64_t total;             // headerSize plus all file sizes
};
struct file_begin {
    const PayloadEntry& entry;       // its destination is the full file path
};
struct file_end {
    const PayloadEntry& entry;
};
struct progress {
    std::uint64_t done;              // decompressed bytes dealt with, header included
    std::uint64_t total;
};
struct failed {
    std::error_code code;
    std::wstring path;               // the file in progress, the path of a file-system error, or empty
};
struct header {
    const std::vector<PayloadEntry>& entries;   // every file, its destination the full file path
};
} // namespace extraction_notifications

// What the engine tells its handler; the alternative's index is part of the interface.
// std::visit and std::get_if work on it as on its variant.
class notification
    : public std::variant<extraction_notifications::started, extraction_notifications::finished,
                          extraction_notifications::file_begin, extraction_notifications::file_end,
                          extraction_notifications::progress, extraction_notifications::failed,
                          extraction_notifications::header> {
public:
    using started = extraction_notifications::started;
    using finished = extraction_notifications::finished;
    using file_begin = extraction_notifications::file_begin;
    using file_end = extraction_notifications::file_end;
    using progress = extraction_notifications::progress;
    using failed = extraction_notifications::failed;
    using header = extraction_notifications::header;

    // The handler's answer. abort to a notification of the PayloadSink ends the
    // extraction with compress_errc::interrupted; skip answers file_begin (the file's
    // bytes are consumed without being written) and counts as proceed elsewhere; any
    // other value counts as proceed. Answers to started, finished and failed are ignored.
    enum class result : int { proceed = 0, abort = 1, skip = 2 };

    using variant::variant;
};

// A handler: a function object held by value, called on the thread of the extraction.
using PayloadHandler = std::function<notification::result(notification)>;

// Gives Users access to a folder or file; GrantUsersAccess in the installer.
using FolderRightsGranter = std::function<bool(const std::wstring& path, DWORD accessMask, BYTE aceFlags)>;

// Called between blocks of a long piece of work that sends no notification (the
// verification pass, the read-back of a written file), so that the caller's thread can do
// what it must meanwhile: the installer hands the waiting window messages to its windows.
using BetweenBlocks = std::function<void()>;

// What the engine asks of the machine besides files; tests replace them.
struct ExtractionServices {
    ShellFolderLookup shellFolder;    // empty: ShellFolderPath
    FolderRightsGranter grantRights;  // empty: GrantUsersAccess
    BetweenBlocks betweenBlocks;      // between the blocks of every read-back; empty: nothing
};

// A file being written: open for binary writing, other processes may read it but not
// write it. Failures raise a stream failure (std::ios_base::failure) that carries the C
// runtime's error: the operating system's code if it has one, else errno.
class OutputFile {
public:
    explicit OutputFile(const std::wstring& path);
    ~OutputFile();   // closes without raising
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const char* bytes, std::size_t count);
    // Flushes and closes the file, raising a stream failure when that fails.
    void close();

private:
    std::FILE* file_;
};

// Grants Users full access, inherited by files and subfolders, to every listed folder not
// yet done that is folder itself or one of its existing parents, and marks it done.
void ApplyFolderRights(const std::wstring& folder, RightsFolders& rightsFolders, const FolderRightsGranter& grant);

// Opens path for writing: clears the read-only mark of an existing file (following a
// link to its target), else creates the missing parent folders (a failure raises a
// boost::filesystem::filesystem_error naming the folder); then applies the folder rights
// to the parent and creates or truncates the file.
std::unique_ptr<OutputFile> OpenOutput(const std::wstring& path, RightsFolders& rightsFolders,
                                       const FolderRightsGranter& grant);

// The CRC-32 of a file's content on disk. Another process holding the new file (a virus
// scanner, typically) makes the read fail with a sharing violation: up to three retries
// follow, one second apart. Failures raise a stream failure carrying the C runtime's error.
// Calls betweenBlocks, when not empty, between the blocks it reads and while it waits.
std::uint32_t ReadBackCrc(const std::wstring& path, const BetweenBlocks& betweenBlocks = {});

// The receiver of the decompressed bytes: collects and reads the header, expands the
// destinations, then cuts the stream into files, writes each, reads it back and compares
// its CRC-32. A call of write never crosses the end of the header's size field, of the
// header or of a file; an entry of size 0 starts and ends in one call that accepts 0 bytes.
class PayloadSink {
public:
    PayloadSink(std::wstring installFolder, std::wstring samplesFolder, std::wstring temporaryFolder,
                PayloadHandler notify, const ExtractionServices& services = {});
    ~PayloadSink();
    PayloadSink(const PayloadSink&) = delete;
    PayloadSink& operator=(const PayloadSink&) = delete;

    // Accepts 0 to count bytes; whatever it does not accept must be offered again. After
    // an error has left a call, every later call accepts and discards all it is offered.
    std::size_t write(const char* bytes, std::size_t count);

    // At the end of the stream: handles the empty files that follow the last byte.
    void finish();

    std::uint64_t bytesDone() const { return bytesDone_; }
    std::uint64_t bytesTotal() const { return bytesTotal_; }
    // The entry whose bytes are in progress, or null.
    const PayloadEntry* currentEntry() const;

private:
    std::size_t WriteHeader(const char* bytes, std::size_t count);
    std::size_t WriteFile(const char* bytes, std::size_t count);
    void ReadHeader();
    notification::result Notify(notification message);

    DestinationContext destinations_;   // the three folders and the rights folders
    std::vector<PayloadEntry> entries_;
    std::uint64_t headerSize_ = 0;
    std::uint64_t bytesDone_ = 0;
    std::uint64_t bytesTotal_ = 0;
    std::unique_ptr<kv::memstream> header_;   // collects the header until it is read
    std::unique_ptr<OutputFile> output_;      // the file being written
    PayloadHandler notify_;
    FolderRightsGranter grantRights_;
    BetweenBlocks betweenBlocks_;
    std::uint32_t nextIndex_ = 0;   // 0: header; k + 1: entry k is the current or next file
    std::optional<std::uint64_t> remaining_;
    bool skipping_ = false;
    bool halted_ = false;
};

// Extracts the archive stream (positioned at its start) into files: sends started, then
// decompresses the stream through a PayloadSink and sends finished. Returns true when
// every file was handled and the byte count came out exact; after any failure, sends one
// failed notification and returns false. The handler must not be empty. The stream is
// decompressed on a thread of its own (DecompressPayloadAhead); the sink, the handler and
// services.betweenBlocks, which is also called while the bytes are awaited, run on the
// calling thread.
bool ExtractPayload(std::istream& payloadStream, const std::wstring& installFolder, const std::wstring& samplesFolder,
                    const std::wstring& temporaryFolder, PayloadHandler handler,
                    const ExtractionServices& services = {});

// Decompresses the whole stream into nothing: true when it decompresses without error and
// is read to its end, which is where it is left. A bzip2 error is raised unchanged. Calls
// betweenBlocks, when not empty, after every block of compressed input and every piece of
// decompressed output.
bool VerifyPayload(std::istream& payloadStream, const BetweenBlocks& betweenBlocks = {});

// The error code that a failure of the extraction is reported with, tried in this order:
// a bzip2 error of the decompressor gives compress_errc::bzip2_failure; any other stream
// failure the C runtime's last error (the operating system's code, else errno) when it has
// one; a standard system error its own code; a Boost system error the same value in the
// standard system or generic category (another category gives unexpected); anything
// else compress_errc::unexpected.
std::error_code ExtractionErrorCode(const std::exception& error);
