#include "product/languages.h"
#include "product/version_info.h"

#include "support/test_support.h"
#include "support/version_resource_builder.h"

#include <gtest/gtest.h>

namespace {

using testing_support::VersionResource;
using testing_support::VersionString;

class VersionInfoOfFiles : public testing::Test {
protected:
    // A module whose version resource is the given one.
    std::wstring ModuleWith(const VersionResource& resource)
    {
        const std::wstring path = folder_ / (L"crafted" + std::to_wstring(count_++) + L".dll");
        testing_support::WriteModuleWithResource(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE"), path,
                                                 RT_VERSION, MAKEINTRESOURCEW(1),
                                                 testing_support::BuildVersionResource(resource));
        return path;
    }

    static VersionResource Product(const std::wstring& version, DWORD flags, DWORD mask = 0x3F)
    {
        VersionResource resource;
        resource.fileVersionMS = 0x00070002;
        resource.fileFlags = flags;
        resource.fileFlagsMask = mask;
        resource.translations = {{0x0400, 1200}};
        resource.tables = {{L"040004b0", {{L"ProductName", L"Tavelo"}, {L"ProductVersion", version}}}};
        return resource;
    }

    void TearDown() override { GetLanguageState().currentIndex = kFrench; }

    testing_support::TemporaryFolder folder_;
    int count_ = 0;
};

TEST(VersionInfoOfTheInstaller, NamesTheInstallerAndItsApplication)
{
    const VersionInfo info(testing_support::BuiltFile(L"TAVELO_INSTALLER"));
    EXPECT_EQ(info.Translations(), std::vector<std::wstring>{L"040004b0"});
    EXPECT_EQ(info.StringValue(L"ApplicationId"), L"Tavelo7");
    EXPECT_EQ(info.ProductName(), L"Install");
    EXPECT_EQ(info.StringValue(L"ProductVersion"), L"2.03b");
    EXPECT_EQ(info.StringValue(L"OriginalFilename"), L"InstallTavelo7.01j.exe");
    EXPECT_EQ(info.StringValue(L"CompanyName"), L"Korvane");
    EXPECT_EQ(info.LegalCopyright(), L"Copyright \u00A9 2026 Korvane. All rights reserved.");
    EXPECT_EQ(info.ProductNameWithVersion(), L"Install 2.03b");
    EXPECT_EQ(info.FileVersion(), 0x0002000300020001ull);
    ASSERT_TRUE(info.HasFixedInfo());
    EXPECT_EQ(info.FixedInfo()->dwFileFlags, 0u);
    EXPECT_EQ(info.FixedInfo()->dwFileFlagsMask, 0x3Fu);
}

TEST(VersionInfoOfTheInstaller, RunningExecutableIsReadInPlace)
{
    // The test program carries the installer's resources.
    const VersionInfo& current = VersionInfo::Current();
    EXPECT_EQ(current.StringValue(L"ApplicationId"), L"Tavelo7");
    EXPECT_EQ(current.ProductNameWithVersion(), L"Install 2.03b");
    EXPECT_EQ(current.FileVersion(), 0x0002000300020001ull);
}

TEST_F(VersionInfoOfFiles, TranslationsOtherThanUnicodeGiveNoStringsButTheVersion)
{
    VersionResource resource;
    resource.fileVersionMS = 0x00070001;
    resource.fileVersionLS = 0x00090003;
    resource.translations = {{0x0409, 1252}};
    resource.tables = {{L"040904e4", {{L"ProductName", L"Tavelo"}, {L"ProductVersion", L"7.01h"}}}};
    const VersionInfo info(ModuleWith(resource));
    EXPECT_TRUE(info.Translations().empty());
    EXPECT_EQ(info.ProductName(), L"");
    EXPECT_EQ(info.ProductNameWithVersion(), L"");
    EXPECT_EQ(info.FileVersion(), 0x0007000100090003ull);
}

TEST_F(VersionInfoOfFiles, OnlyUnicodeTranslationsAreKeptInTheirOrder)
{
    VersionResource resource;
    resource.translations = {{0x0409, 1252}, {0x040C, 1200}, {0x0409, 1200}};
    resource.tables = {{L"040c04b0", {{L"ProductName", L"Tavelo FR"}}}, {L"040904b0", {{L"ProductName", L"Tavelo EN"}}}};
    const VersionInfo info(ModuleWith(resource));
    EXPECT_EQ(info.Translations(), (std::vector<std::wstring>{L"040c04b0", L"040904b0"}));
    EXPECT_EQ(info.StringValue(L"ProductName", 0), L"Tavelo FR");
    EXPECT_EQ(info.StringValue(L"ProductName", 1), L"Tavelo EN");
    EXPECT_EQ(info.StringValue(L"ProductName", 2), L"");
}

TEST_F(VersionInfoOfFiles, ValueLengthWithAndWithoutItsNul)
{
    VersionResource resource;
    resource.translations = {{0x0400, 1200}};
    resource.tables = {{L"040004b0",
                        {VersionString{L"ProductName", L"Tavelo", true},
                         VersionString{L"ProductVersion", L"7.01h", false},
                         VersionString{L"Comments", L"", true}}}};
    const VersionInfo info(ModuleWith(resource));
    EXPECT_EQ(info.StringValue(L"ProductName"), L"Tavelo");
    EXPECT_EQ(info.StringValue(L"ProductVersion"), L"7.01h");
    EXPECT_EQ(info.StringValue(L"Comments"), L"");
    EXPECT_EQ(info.StringValue(L"Missing"), L"");
    EXPECT_EQ(info.ProductNameWithVersion(), L"Tavelo 7.01h");
}

TEST_F(VersionInfoOfFiles, PrereleaseBetaIsWrittenPlainExceptInFrench)
{
    const std::wstring path = ModuleWith(Product(L"7.02 b\u00EAta", VS_FF_PRERELEASE));
    GetLanguageState().currentIndex = kEnglish;
    EXPECT_EQ(VersionInfo(path).ProductNameWithVersion(), L"Tavelo 7.02 beta");
    GetLanguageState().currentIndex = kFrench;
    EXPECT_EQ(VersionInfo(path).ProductNameWithVersion(), L"Tavelo 7.02 b\u00EAta");
}

TEST_F(VersionInfoOfFiles, OnlyTheLastBetaIsReplaced)
{
    const std::wstring path = ModuleWith(Product(L"b\u00EAta 7.02 b\u00EAta", VS_FF_PRERELEASE));
    GetLanguageState().currentIndex = kEnglish;
    EXPECT_EQ(VersionInfo(path).ProductNameWithVersion(), L"Tavelo b\u00EAta 7.02 beta");
}

TEST_F(VersionInfoOfFiles, BetaStaysWithoutThePrereleaseFlag)
{
    const std::wstring path = ModuleWith(Product(L"7.02 b\u00EAta", 0));
    GetLanguageState().currentIndex = kEnglish;
    EXPECT_EQ(VersionInfo(path).ProductNameWithVersion(), L"Tavelo 7.02 b\u00EAta");
}

TEST_F(VersionInfoOfFiles, PrivateAndDebugBuildsAreMarkedWithAnEnDash)
{
    EXPECT_EQ(VersionInfo(ModuleWith(Product(L"7.02", VS_FF_PRIVATEBUILD))).ProductNameWithVersion(),
              L"Tavelo 7.02 \u2013 Private");
    EXPECT_EQ(VersionInfo(ModuleWith(Product(L"7.02", VS_FF_DEBUG))).ProductNameWithVersion(),
              L"Tavelo 7.02 \u2013 Debug");
    EXPECT_EQ(VersionInfo(ModuleWith(Product(L"7.02", VS_FF_PRIVATEBUILD | VS_FF_DEBUG))).ProductNameWithVersion(),
              L"Tavelo 7.02 \u2013 Private \u2013 Debug");
}

TEST_F(VersionInfoOfFiles, FlagsOutsideTheMaskAreIgnored)
{
    EXPECT_EQ(VersionInfo(ModuleWith(Product(L"7.02", VS_FF_DEBUG | VS_FF_PRIVATEBUILD, 0))).ProductNameWithVersion(),
              L"Tavelo 7.02");
}

TEST_F(VersionInfoOfFiles, NameWithoutVersionHasNoTrailingSpace)
{
    VersionResource resource = Product(L"", 0);
    EXPECT_EQ(VersionInfo(ModuleWith(resource)).ProductNameWithVersion(), L"Tavelo");
}

TEST_F(VersionInfoOfFiles, ResourceWithoutFixedPartHasNoVersionAndNoStrings)
{
    VersionResource resource = Product(L"7.02", 0);
    resource.fixedInfo = false;
    const VersionInfo info(ModuleWith(resource));
    EXPECT_FALSE(info.HasFixedInfo());
    EXPECT_EQ(info.FileVersion(), 0u);
    EXPECT_TRUE(info.Translations().empty());
    EXPECT_EQ(info.ProductNameWithVersion(), L"");
}

TEST_F(VersionInfoOfFiles, FileWithoutVersionResourceIsEmpty)
{
    const VersionInfo info(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE"));
    EXPECT_FALSE(info.HasFixedInfo());
    EXPECT_EQ(info.FileVersion(), 0u);
    EXPECT_TRUE(info.Translations().empty());
    EXPECT_EQ(info.StringValue(L"ProductName"), L"");
    EXPECT_EQ(info.ProductNameWithVersion(), L"");
}

TEST_F(VersionInfoOfFiles, MissingFileIsEmpty)
{
    const VersionInfo info(folder_ / L"missing.exe");
    EXPECT_EQ(info.FileVersion(), 0u);
    EXPECT_EQ(info.ProductNameWithVersion(), L"");
}

} // namespace
