#include "tools/test_driver/png_writer.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <boost/crc.hpp>

namespace {

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
}

TEST(PngWriter, WritesSignatureHeaderAndChunksWithTheirChecksums)
{
    const testing_support::TemporaryFolder folder;
    const std::vector<std::uint8_t> pixels{255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};   // 2 x 2
    driver::WritePng(folder / L"p.png", 2, 2, pixels);
    const auto file = testing_support::ReadFileBytes(folder / L"p.png");

    ASSERT_GE(file.size(), 8u + 25 + 12);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(BigEndian(file, 8), 13u);
    EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), "IHDR");
    EXPECT_EQ(BigEndian(file, 16), 2u);
    EXPECT_EQ(BigEndian(file, 20), 2u);

    // Every chunk's CRC covers its type and data.
    for (std::size_t at = 8; at < file.size();) {
        const std::uint32_t length = BigEndian(file, at);
        boost::crc_32_type crc;
        crc.process_bytes(file.data() + at + 4, length + 4);
        EXPECT_EQ(BigEndian(file, at + 8 + length), crc.checksum());
        at += 12 + length;
    }

    // The image data is one stored deflate block: the filter byte and the pixels of each row.
    const std::size_t idat = 8 + 25;
    EXPECT_EQ(std::string(file.begin() + idat + 4, file.begin() + idat + 8), "IDAT");
    const std::size_t block = idat + 8 + 2;
    EXPECT_EQ(file[block], 1);   // the last block, stored
    const std::vector<std::uint8_t> rows(file.begin() + block + 5, file.begin() + block + 5 + 14);
    EXPECT_EQ(rows, (std::vector<std::uint8_t>{0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 10, 20, 30}));
}

} // namespace
