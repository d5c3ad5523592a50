#include "app/process_start.h"
#include "product/maker_folders.h"

#include <gtest/gtest.h>

namespace {

// The test program carries the installer's manifest, which asks for common controls 6.
TEST(ProcessStart, ManifestBringsCommonControlsSix)
{
    EXPECT_GE(CommonControlsVersion(), 0x60000u) << std::hex << CommonControlsVersion();
}

TEST(ProcessStart, ApplicationNameComesFromTheVersionResource)
{
    EXPECT_EQ(ApplicationName(), L"Tavelo7");
}

TEST(ProcessStart, MakerFoldersAreKnown)
{
    EXPECT_NO_THROW(GetMakerFolders());
}

} // namespace
