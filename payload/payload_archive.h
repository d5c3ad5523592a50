// The payload archive embedded in the installer: one bzip2 stream that decompresses to a
// header listing the files, followed by the files' bytes in header order.
#pragma once

#include "support/memstream.h"

#include <boost/crc.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How the installer treats a payload file. The numbers are part of the archive format;
// a value outside this list is handled like LanguageLibrary.
enum class FileKind : std::int32_t {
    LanguageLibrary = 0,
    MainProgram = 1,
    Uninstaller = 2,
    SharedData = 3,
    SampleData = 4,
    TemporaryFile = 5,
};

// One file record of the header.
struct PayloadEntry {
    std::wstring source;        // path on the machine that built the archive; its last component names the file
    std::wstring destination;   // the folder as the archive names it; once the header is read, the full file path
    FileKind kind = FileKind::LanguageLibrary;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;      // CRC-32 of the file's bytes
};

// The archive as its header describes it.
struct PayloadArchive {
    // Resource type and name of the archive in the installer executable.
    static constexpr unsigned kResourceType = 260;
    static constexpr unsigned kResourceName = 134;

    std::uint64_t headerSize = 0;   // bytes before the first file's data, the size field included
    std::vector<PayloadEntry> entries;

    // headerSize plus every entry's size: the length of the decompressed stream.
    std::uint64_t TotalSize() const;
};

// The CRC-32 of the format (that of zlib and PNG: reflected 0x04C11DB7, initial value and
// final XOR 0xFFFFFFFF), computed a byte at a time from a 256-entry table.
using PayloadCrc = boost::crc_32_type;
std::uint32_t PayloadCrc32(const void* data, std::size_t size);

// The last component of an entry's source, which names the installed file; both "\" and
// "/" separate components.
std::wstring PayloadFileName(const std::wstring& source);

// Whether a file name keeps the file inside the folder its destination names: not empty,
// not "." or "..", no drive or stream colon, no control character.
bool IsSafePayloadFileName(const std::wstring& name);

// Reads a complete header: headerSize bytes, the 8-byte size field included. Refuses with
// compress_errc::unexpected a header that does not hold together (records running past
// the end or ending before it, an entry count or string length that cannot fit, sizes
// whose sum overflows) and any entry whose file name is unsafe.
PayloadArchive ReadPayloadHeader(const char* header, std::size_t size);

// The archive's compressed bytes, read in place from the resource (type 260, name 134)
// of the current language's resource module, else of the executable. When the language
// state has no resource module yet, the executable's own becomes it. A missing or empty
// resource gives an empty stream.
kv::imemstream OpenPayloadStream();
