// The decompression a few buffers ahead of the taking thread: every byte in order, and
// both kinds of failure reach the taking thread without leaving the other one behind.
#include "payload/decompression.h"
#include "payload/decompression_ahead.h"
#include "payload/payload_format.h"
#include "payload_test_support.h"
#include "support/memstream.h"

#include <gtest/gtest.h>

#include <boost/iostreams/filter/bzip2.hpp>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

// 3 MiB of letters that compress about three times: twelve of the thread's buffers.
std::string Original()
{
    std::string bytes(3 << 20, '\0');
    std::uint32_t state = 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>('a' + (state >> 16) % 16);
    }
    return bytes;
}

TEST(DecompressPayloadAhead, HandsOnEveryByteInOrderInPiecesOfAtMost4096)
{
    const std::string original = Original();
    const std::string compressed = payload_format::Compress(original);
    kv::imemstream stream(compressed.data(), compressed.size());
    std::string received;
    std::size_t offers = 0, largest = 0;
    const std::uint64_t read = DecompressPayloadAhead(stream, [&](const char* bytes, std::size_t count) {
        largest = std::max(largest, count);
        const std::size_t accepted = ++offers % 3 ? count : count / 2;   // every third offer taken in part
        received.append(bytes, accepted);
        return accepted;
    });
    EXPECT_TRUE(received == original) << "received " << received.size() << " bytes";
    EXPECT_LE(largest, 4096u);
    EXPECT_EQ(read, compressed.size());
}

TEST(DecompressPayloadAhead, DamagedStreamFailsAfterTheSameBytesAsWithoutTheThread)
{
    const std::string compressed = payload_format::Compress(Original());
    const std::string damaged = compressed.substr(0, compressed.size() * 3 / 4);
    payload_testing::ByteCollector before;
    kv::imemstream plainStream(damaged.data(), damaged.size());
    EXPECT_THROW(DecompressPayload(plainStream, before), boost::iostreams::bzip2_error);

    kv::imemstream stream(damaged.data(), damaged.size());
    std::string received;
    EXPECT_THROW(DecompressPayloadAhead(stream,
                                        [&](const char* bytes, std::size_t count) {
                                            received.append(bytes, count);
                                            return count;
                                        }),
                 boost::iostreams::bzip2_error);
    EXPECT_GT(before.bytes.size(), 1u << 20) << "whole blocks come before the damage";
    EXPECT_TRUE(received == before.bytes) << received.size() << " bytes instead of " << before.bytes.size();
}

TEST(DecompressPayloadAhead, FailingReceiverStopsTheDecompression)
{
    const std::string compressed = payload_format::Compress(Original());
    kv::imemstream stream(compressed.data(), compressed.size());
    int calls = 0;
    EXPECT_THROW(DecompressPayloadAhead(stream,
                                        [&](const char*, std::size_t count) -> std::size_t {
                                            if (++calls == 2)
                                                throw std::runtime_error("the disk is full");
                                            return count;
                                        }),
                 std::runtime_error);
    EXPECT_EQ(calls, 2);
}

} // namespace
