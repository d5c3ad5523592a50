// Decompression of a payload stream, shared by the extraction engine and the tools that
// read archives.
#pragma once

#include "payload/compress_error.h"

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/filter/bzip2.hpp>

#include <cstddef>
#include <cstdint>
#include <ios>
#include <istream>

namespace payload_decompression {

// Compressed input is read, and decompressed output handed on, in blocks of this size.
inline constexpr std::size_t kBlockSize = 4096;

// A Boost.Iostreams sink that hands every byte to a receiver with a member
// std::size_t write(const char* bytes, std::size_t count), offering again at once
// whatever the receiver did not accept. A receiver that accepts nothing must make
// progress otherwise (the extraction's sink ends an empty file in such a call).
template <class Receiver>
class ReceiverDevice {
public:
    using char_type = char;
    using category = boost::iostreams::sink_tag;

    explicit ReceiverDevice(Receiver& receiver) : receiver_(receiver) {}

    std::streamsize write(const char* bytes, std::streamsize count)
    {
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(count))
            done += receiver_.write(bytes + done, static_cast<std::size_t>(count) - done);
        return count;
    }

private:
    Receiver& receiver_;
};

// Nothing to do between two blocks.
struct NoPause {
    void operator()() const {}
};

} // namespace payload_decompression

// Reads the stream from its current position in blocks of 4,096 bytes, decompresses it
// with libbzip2 in its normal (not reduced) memory mode, and hands the output to the
// receiver in pieces of at most 4,096 bytes; calls betweenBlocks() after each block of
// input. Input that ends before the bzip2 end-of-stream marker raises
// boost::iostreams::bzip2_error, as does damaged data. The stream's state is left as it
// was. Returns the number of compressed bytes read.
template <class Receiver, class BetweenBlocks = payload_decompression::NoPause>
std::uint64_t DecompressPayload(std::istream& stream, Receiver& receiver, BetweenBlocks&& betweenBlocks = {})
{
    using namespace payload_decompression;
    boost::iostreams::bzip2_decompressor decompressor(false, kBlockSize);
    ReceiverDevice<Receiver> device(receiver);
    std::uint64_t compressedBytes = 0;
    char block[kBlockSize];
    std::streambuf* const buffer = stream.rdbuf();
    for (;;) {
        const std::streamsize read = buffer ? buffer->sgetn(block, sizeof block) : 0;
        if (read <= 0)
            break;
        compressedBytes += static_cast<std::uint64_t>(read);
        if (decompressor.write(device, block, read) != read)
            throw_compress_error(compress_errc::unexpected);
        betweenBlocks();
    }
    decompressor.close(device, std::ios_base::out);
    return compressedBytes;
}
