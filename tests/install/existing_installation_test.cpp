#include "install/existing_installation.h"
#include "product/product_identity.h"

#include <gtest/gtest.h>

namespace {

TEST(ExistingInstallation, InstalledVersionIsComparedAsOneUnsignedNumber)
{
    EXPECT_EQ(CompareInstalledVersion(true, 0x00070001000A0001ull), PreviousInstallStatus::SameVersion);
    EXPECT_EQ(CompareInstalledVersion(true, 0x0007000100090003ull), PreviousInstallStatus::OlderVersion);   // 7.1.9.3
    EXPECT_EQ(CompareInstalledVersion(true, 0x00070001000A0000ull), PreviousInstallStatus::OlderVersion);   // 7.1.10.0
    EXPECT_EQ(CompareInstalledVersion(true, 0x00070001000A0002ull), PreviousInstallStatus::NewerVersion);   // 7.1.10.2
    EXPECT_EQ(CompareInstalledVersion(true, 0x0007000200000000ull), PreviousInstallStatus::NewerVersion);   // 7.2.0.0
    EXPECT_EQ(CompareInstalledVersion(true, 0x0008000000000000ull), PreviousInstallStatus::NewerVersion);   // 8.0.0.0
    EXPECT_EQ(CompareInstalledVersion(true, 0x8000000000000000ull), PreviousInstallStatus::NewerVersion);   // no sign trouble
    EXPECT_EQ(CompareInstalledVersion(true, 0), PreviousInstallStatus::OlderVersion);
    EXPECT_EQ(CompareInstalledVersion(false, 0), PreviousInstallStatus::SameVersion) << "a program without version resource";
}

TEST(ExistingInstallation, EmptyFoldersGetTheDefaultsAndGivenOnesStay)
{
    SetProductCode(product::kThisProductCode);
    InstallState state;
    SetDefaultFolders(state);
    EXPECT_EQ(state.installFolder, L"C:\\Program Files\\Korvane\\Tavelo 7");
    EXPECT_EQ(state.startMenuFolder, L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Korvane\\Tavelo 7");

    InstallState update;
    update.installFolder = L"D:\\Apps\\Tavelo";
    update.startMenuFolder = L"C:\\Menu";
    SetDefaultFolders(update);
    EXPECT_EQ(update.installFolder, L"D:\\Apps\\Tavelo");
    EXPECT_EQ(update.startMenuFolder, L"C:\\Menu");
}

} // namespace
