// The byte layout of the decompressed payload, shared by the installer's reader and the
// packer that writes archives. All integers are little-endian and unsigned; nothing is
// aligned or padded.
//
//   offset 0   8 bytes   headerSize: bytes up to the first file's data, these 8 included
//   offset 8   4 bytes   entryCount
//   offset 12            entryCount records, one after the other:
//                          4 bytes       n: length of source in UTF-16 code units
//                          2n bytes      source, UTF-16LE, no terminator
//                          4 bytes       m: length of destination in UTF-16 code units
//                          2m bytes      destination, UTF-16LE, no terminator
//                          4 bytes       kind (FileKind)
//                          8 bytes       size of the file in bytes
//                          4 bytes       CRC-32 of the file's bytes
//   headerSize           the files' bytes, back to back, in record order
#pragma once

#include "payload/payload_archive.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace payload_format {

inline constexpr std::size_t kSizeFieldBytes = 8;
inline constexpr std::size_t kFixedHeaderBytes = 12;   // headerSize and entryCount
inline constexpr std::size_t kFixedRecordBytes = 24;   // a record with two empty strings

// The reader refuses larger headers: only the header is held in memory, and a damaged
// size field must not make it buffer the whole stream.
inline constexpr std::uint64_t kMaxHeaderSize = 16u << 20;

inline std::uint64_t ReadLittleEndian(const char* bytes, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = count; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

void AppendLittleEndian(std::string& out, std::uint64_t value, std::size_t count);

// The kind field of a record and the FileKind it stands for. Every value is kept as it is:
// a kind this installer does not know is handled like LanguageLibrary, and listed by its
// number.
inline constexpr std::uint32_t KindField(FileKind kind)
{
    return static_cast<std::uint32_t>(kind);
}
inline constexpr FileKind KindOfField(std::uint32_t field)
{
    return static_cast<FileKind>(static_cast<std::int32_t>(field));
}

// Length of one record: 24 + 2n + 2m.
std::uint64_t RecordSize(const PayloadEntry& entry);

// The header of these entries exactly as it is stored, size field included; the entries'
// destinations are the folders as written in the archive.
std::string HeaderBytes(const std::vector<PayloadEntry>& entries);

// The bzip2 stream of bytes, compressed with the block size given (1 to 9, in 100 kB).
std::string Compress(const std::string& bytes, int blockSize = 9);

// Writes an archive: bzip2-compresses the header and then the files' bytes into out.
class PayloadWriter {
public:
    PayloadWriter(std::ostream& out, int blockSize = 9);
    ~PayloadWriter();
    PayloadWriter(const PayloadWriter&) = delete;
    PayloadWriter& operator=(const PayloadWriter&) = delete;

    void WriteHeader(const std::vector<PayloadEntry>& entries);
    // Bytes of the stream after the header: the files' data in record order.
    void Write(const char* data, std::size_t size);
    // Ends the bzip2 stream. Throws when writing to out failed.
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace payload_format
