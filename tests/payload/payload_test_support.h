// Payload archives built in memory, and a handler that records what the extraction tells it.
#pragma once

#include "payload/extraction.h"
#include "payload/payload_archive.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace payload_testing {

struct PayloadFile {
    std::wstring source;        // its last component names the file
    std::wstring destination;   // the folder as the archive writes it
    FileKind kind = FileKind::LanguageLibrary;
    std::string content;
    std::optional<std::uint32_t> crc;   // the record's CRC-32 when it must differ from the content's
};

// The records of the files, with sizes and CRC-32s taken from their contents.
std::vector<PayloadEntry> Entries(const std::vector<PayloadFile>& files);

// The decompressed stream of an archive holding the files: header, then contents.
std::string PayloadBytes(const std::vector<PayloadFile>& files);

// The same bzip2-compressed: an archive as the installer embeds it.
std::string CompressedPayload(const std::vector<PayloadFile>& files);

// A receiver of DecompressPayload that keeps every byte.
struct ByteCollector {
    std::string bytes;
    std::size_t write(const char* data, std::size_t count)
    {
        bytes.append(data, count);
        return count;
    }
};

// One notification as the tests compare it.
struct Event {
    std::size_t kind = 0;        // the notification's index: 0 started ... 5 failed
    std::wstring path;           // file_begin, file_end: the destination; failed: the path
    std::uint64_t done = 0;      // progress: done; finished: compressed bytes
    std::uint64_t total = 0;     // progress, finished: the total
    std::error_code code;        // failed

    bool operator==(const Event&) const = default;
};

// A handler that records every notification and answers with a policy of the test's
// choice (proceed when there is none).
class Recorder {
public:
    std::function<notification::result(const notification&)> answer;
    std::vector<Event> events;

    PayloadHandler handler();

    std::size_t Count(std::size_t kind) const;
    // The only failed notification; fails the test when there is not exactly one.
    Event Failure() const;
};

// Like the installer's handler, verifies the whole stream when told started (a damaged
// archive raises its bzip2 error, an unclean end compress_errc::damaged_archive) and
// rewinds it; every notification also goes to the recorder.
PayloadHandler VerifyingHandler(std::istream& stream, Recorder& recorder);

// Reads a whole file, or returns nullopt when it does not exist.
std::optional<std::string> FileContent(const std::wstring& path);

// Whether a folder holds no file at any depth.
bool HoldsNoFile(const std::wstring& folder);

} // namespace payload_testing
