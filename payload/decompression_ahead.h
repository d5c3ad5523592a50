// Decompression of a payload stream on a thread of its own, a few buffers ahead of the
// thread that takes the bytes: with two cores, the next bytes are decompressed while the
// last ones are written and read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>

// Takes a piece of the decompressed bytes and returns how many it accepted.
using DecompressedReceiver = std::function<std::size_t(const char* bytes, std::size_t count)>;

// Decompresses the stream from its current position as DecompressPayload does, on another
// thread that holds at most four buffers of 256 KiB, and hands the bytes to receive on the
// calling thread in pieces of at most 4,096 bytes, offering again at once what it did not
// accept. Calls whileWaiting, when not empty, at least every 20 ms while it waits for the
// decompression. A failure of the decompression (damaged data raises
// boost::iostreams::bzip2_error) is raised on the calling thread once every byte
// decompressed before it has been handed on; a failure of receive stops the decompression
// before it is raised. Returns the number of compressed bytes read.
std::uint64_t DecompressPayloadAhead(std::istream& stream, const DecompressedReceiver& receive,
                                     const std::function<void()>& whileWaiting = {});
