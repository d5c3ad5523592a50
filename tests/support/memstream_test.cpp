#include "support/memstream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ReadAll(std::istream& in)
{
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MemoryStreams, OwnedBufferGrowsBy256BelowHalfAKilobyteThenByHalfItsSize)
{
    kv::memstream stream;
    EXPECT_EQ(stream.capacity(), 0u);
    std::vector<std::size_t> capacities;
    for (int i = 0; i < 2000; ++i) {
        stream.put('x');
        if (capacities.empty() || capacities.back() != stream.capacity())
            capacities.push_back(stream.capacity());
    }
    EXPECT_EQ(capacities, (std::vector<std::size_t>{256, 512, 768, 1152, 1728, 2592}));
    EXPECT_EQ(stream.written(), 2000u);
}

TEST(MemoryStreams, OneLargeWriteGrowsInTheSameStepsUntilItFits)
{
    kv::memstream stream;
    const std::string block(1000, 'a');
    stream.write(block.data(), static_cast<std::streamsize>(block.size()));
    EXPECT_EQ(stream.capacity(), 1152u);   // 256, 512, 768, 1152
    EXPECT_EQ(stream.written(), 1000u);
}

TEST(MemoryStreams, ReadAndWritePositionsAreIndependent)
{
    kv::memstream stream;
    stream.write("abcdef", 6);
    char two[2];
    ASSERT_TRUE(stream.read(two, 2));
    EXPECT_EQ(std::string(two, 2), "ab");
    stream.write("ghi", 3);             // appends after "f", not after the read position
    EXPECT_EQ(stream.written(), 9u);
    EXPECT_EQ(ReadAll(stream), "cdefghi");
    EXPECT_EQ(std::string(stream.data(), stream.written()), "abcdefghi");
}

TEST(MemoryStreams, ReadingPastTheWrittenBytesReportsEndOfStream)
{
    kv::memstream stream;
    stream.write("abc", 3);
    char four[4];
    stream.read(four, 4);
    EXPECT_EQ(stream.gcount(), 3);
    EXPECT_TRUE(stream.eof());
    stream.clear();
    stream.write("d", 1);               // written after the end was seen: readable again
    EXPECT_EQ(stream.get(), 'd');
}

TEST(MemoryStreams, GrowingKeepsTheReadPositionAndTheBytes)
{
    kv::memstream stream;
    stream.write("0123456789", 10);
    char skip[4];
    stream.read(skip, 4);
    const std::string filler(3000, 'z');
    stream.write(filler.data(), static_cast<std::streamsize>(filler.size()));
    char next[3];
    ASSERT_TRUE(stream.read(next, 3));
    EXPECT_EQ(std::string(next, 3), "456");
    EXPECT_EQ(stream.written(), 3010u);
}

TEST(MemoryStreams, InputStreamViewsTheBlockWithoutCopyingAndRewinds)
{
    static const char block[] = "payload bytes";
    kv::imemstream stream(block, sizeof block - 1);
    EXPECT_EQ(stream.data(), block);
    EXPECT_EQ(stream.size(), sizeof block - 1);
    EXPECT_EQ(ReadAll(stream), "payload bytes");
    EXPECT_EQ(stream.peek(), std::char_traits<char>::eof());
    EXPECT_TRUE(stream.eof());

    stream.clear();
    stream.seekg(0);
    ASSERT_TRUE(stream);
    EXPECT_EQ(ReadAll(stream), "payload bytes");
}

TEST(MemoryStreams, InputStreamRefusesWritingAndSeeksOnlyWithinTheBlock)
{
    static const char block[] = "abc";
    kv::imemstream stream(block, 3);
    EXPECT_EQ(stream.rdbuf()->sputc('x'), std::char_traits<char>::eof());
    stream.seekg(4);
    EXPECT_TRUE(stream.fail());
    stream.clear();
    stream.seekg(0, std::ios::end);
    EXPECT_EQ(static_cast<std::streamoff>(stream.tellg()), 3);
    EXPECT_EQ(stream.get(), std::char_traits<char>::eof());
}

TEST(MemoryStreams, EmptyInputStreamIsAtItsEndAtOnce)
{
    kv::imemstream stream;
    EXPECT_EQ(stream.size(), 0u);
    EXPECT_EQ(stream.get(), std::char_traits<char>::eof());
    EXPECT_TRUE(stream.eof());
}

TEST(MemoryStreams, MovedStreamsKeepTheirPositionAndContent)
{
    static const char block[] = "0123456789";
    kv::imemstream first(block, 10);
    first.ignore(3);
    kv::imemstream second(std::move(first));
    EXPECT_EQ(second.get(), '3');
    EXPECT_EQ(second.data(), block);

    kv::memstream written;
    written.write("hello", 5);
    kv::memstream moved(std::move(written));
    EXPECT_EQ(moved.written(), 5u);
    EXPECT_EQ(ReadAll(moved), "hello");
}

} // namespace
