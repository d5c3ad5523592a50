// The language flags in the built installer: one 18 x 12, 24-bit image each, loadable at the
// start page's 16 x 12, with each flag's colours where they belong.
#include "support/installer_module.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

const std::vector<int> kFlagIcons = {141, 142, 143, 144, 145, 146, 147, 148, 149, 150,
                                     151, 152, 153, 154, 155, 156, 157, 158, 160, 161};

#pragma pack(push, 2)
struct GroupIconDirectory {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct Rgb {
    int r, g, b;
};

struct Probe {
    int x, y;    // from the top-left corner
    Rgb colour;
};

constexpr Rgb kWhite{255, 255, 255};

class FlagIcons : public testing::Test {
protected:
    const BYTE* Resource(LPCWSTR type, int id, DWORD* size = nullptr) const
    {
        const HRSRC found = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(id), type);
        if (!found)
            return nullptr;
        if (size)
            *size = ::SizeofResource(module_.get(), found);
        return static_cast<const BYTE*>(::LockResource(::LoadResource(module_.get(), found)));
    }

    // The one image of a flag icon: its header, followed by the bottom-up colour rows.
    const BITMAPINFOHEADER* Image(int flag) const
    {
        const auto* directory = reinterpret_cast<const GroupIconDirectory*>(Resource(RT_GROUP_ICON, flag));
        if (!directory || directory->count != 1)
            return nullptr;
        const auto* entry = reinterpret_cast<const GroupIconEntry*>(directory + 1);
        if (entry->width != 18 || entry->height != 12 || entry->bitCount != 24)
            return nullptr;
        return reinterpret_cast<const BITMAPINFOHEADER*>(Resource(RT_ICON, entry->id));
    }

    static Rgb Pixel(const BITMAPINFOHEADER* image, int x, int y)
    {
        const int stride = (image->biWidth * 3 + 3) / 4 * 4;
        const int height = image->biHeight / 2;   // colour rows, then the mask
        const BYTE* pixel = reinterpret_cast<const BYTE*>(image + 1) + (height - 1 - y) * stride + x * 3;
        return {pixel[2], pixel[1], pixel[0]};
    }

    const kv::unique_module module_ = testing_support::LoadInstallerResources();
};

TEST_F(FlagIcons, EachIsOneImageOf18By12PixelsIn24Bits)
{
    for (int flag : kFlagIcons) {
        const BITMAPINFOHEADER* image = Image(flag);
        ASSERT_NE(image, nullptr) << flag;
        EXPECT_EQ(image->biWidth, 18) << flag;
        EXPECT_EQ(image->biHeight, 24) << flag;
        EXPECT_EQ(image->biBitCount, 24) << flag;
    }
    EXPECT_EQ(Resource(RT_GROUP_ICON, 159), nullptr);
}

TEST_F(FlagIcons, LoadAtTheStartPagesSize)
{
    for (int flag : kFlagIcons) {
        kv::unique_icon icon(static_cast<HICON>(
            ::LoadImageW(module_.get(), MAKEINTRESOURCEW(flag), IMAGE_ICON, 16, 12, LR_DEFAULTCOLOR)));
        ASSERT_TRUE(icon) << flag;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon.get(), &info)) << flag;
        kv::unique_gdi_object color(info.hbmColor), mask(info.hbmMask);
        BITMAP bitmap{};
        ASSERT_TRUE(::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) << flag;
        EXPECT_EQ(bitmap.bmWidth, 16) << flag;
        EXPECT_EQ(bitmap.bmHeight, 12) << flag;
    }
}

TEST_F(FlagIcons, ColoursOfEachFlagWhereTheyBelong)
{
    const std::vector<std::pair<int, std::vector<Probe>>> flags = {
        {141, {{9, 2, {0, 0, 0}}, {9, 6, {221, 0, 0}}, {9, 9, {255, 206, 0}}}},              // Germany
        {142, {{3, 2, {200, 16, 46}}, {6, 2, kWhite}, {12, 5, kWhite}}},                      // Denmark
        {143, {{12, 1, {170, 21, 27}}, {12, 6, {241, 191, 0}}}},                              // Spain
        {144, {{2, 6, {0, 35, 149}}, {9, 6, kWhite}, {15, 6, {237, 41, 57}}}},                // France
        {145, {{1, 3, {1, 33, 105}}, {9, 6, {200, 16, 46}}}},                                 // United Kingdom
        {146, {{2, 6, {0, 146, 70}}, {9, 6, kWhite}, {15, 6, {206, 43, 55}}}},                // Italy
        {147, {{9, 2, {174, 28, 40}}, {9, 6, kWhite}, {9, 9, {33, 70, 139}}}},                // Netherlands
        {148, {{2, 6, {0, 102, 0}}, {15, 6, {255, 0, 0}}, {9, 6, {255, 222, 0}}}},            // Portugal
        {149, {{15, 2, {227, 10, 23}}, {3, 6, kWhite}}},                                      // Turkey
        {150, {{9, 2, kWhite}, {9, 6, {0, 150, 110}}, {9, 9, {214, 38, 18}}}},                // Bulgaria
        {151, {{2, 6, {0, 43, 127}}, {9, 6, {252, 209, 22}}, {15, 6, {206, 17, 38}}}},        // Romania
        {152, {{15, 8, {238, 28, 37}}, {3, 3, {255, 222, 0}}}},                               // China
        {153, {{2, 6, {17, 69, 126}}, {14, 2, kWhite}, {14, 9, {215, 20, 26}}}},              // Czechia
        {154, {{3, 2, {186, 12, 47}}, {5, 2, kWhite}, {7, 2, {0, 32, 91}}}},                  // Norway
        {155, {{1, 1, {13, 94, 175}}, {2, 2, kWhite}, {10, 1, kWhite}, {10, 2, {13, 94, 175}}}},  // Greece
        {156, {{9, 3, kWhite}, {9, 8, {220, 20, 60}}}},                                       // Poland
        {157, {{9, 2, {0, 56, 184}}, {3, 6, kWhite}}},                                        // Israel
        {158, {{2, 2, {218, 37, 29}}, {9, 6, {255, 222, 0}}}},                                // Vietnam
        {160, {{2, 2, kWhite}, {9, 6, {188, 0, 45}}}},                                        // Japan
        {161, {{9, 2, {205, 42, 62}}, {9, 6, kWhite}, {9, 9, {67, 111, 77}}}},                // Hungary
    };
    for (const auto& [flag, probes] : flags) {
        const BITMAPINFOHEADER* image = Image(flag);
        ASSERT_NE(image, nullptr) << flag;
        for (const Probe& probe : probes) {
            const Rgb seen = Pixel(image, probe.x, probe.y);
            // Edges are drawn smooth: a probe may take a little of a neighbouring colour.
            const int distance = std::abs(seen.r - probe.colour.r) + std::abs(seen.g - probe.colour.g)
                + std::abs(seen.b - probe.colour.b);
            EXPECT_LE(distance, 120) << "flag " << flag << " at " << probe.x << "," << probe.y << ": " << seen.r
                                     << " " << seen.g << " " << seen.b;
        }
    }
}

} // namespace
