// Reads the resources back from the built installer file.
#include "support/installer_module.h"
#include "support/pe_imports.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class InstallerResources : public testing::Test {
protected:
    std::string Resource(LPCWSTR type, LPCWSTR name) const
    {
        const HRSRC found = ::FindResourceW(module_.get(), name, type);
        if (!found)
            return {};
        const HGLOBAL loaded = ::LoadResource(module_.get(), found);
        return std::string(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module_.get(), found));
    }

    const kv::unique_module module_ = testing_support::LoadInstallerResources();
};

TEST_F(InstallerResources, ManifestAsksForAdministratorRightsCommonControlsSixAndDpiAwareness)
{
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)"),
              std::string::npos);
    EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"), std::string::npos);
    EXPECT_NE(manifest.find(R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>)"),
              std::string::npos);
    for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(os), std::string::npos) << os;
}

TEST_F(InstallerResources, ApplicationIconLoadsAtTheSystemSizes)
{
    for (int size : {16, 32, 48}) {
        kv::unique_icon icon(static_cast<HICON>(
            ::LoadImageW(module_.get(), MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
        ASSERT_TRUE(icon) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
        kv::unique_gdi_object color(info.hbmColor), mask(info.hbmMask);
        BITMAP bitmap{};
        ASSERT_TRUE(::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap));
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
    }
}

TEST(InstallerExecutable, IsOneSelfContainedFile)
{
    // The C and C++ runtimes are linked in: no MinGW runtime DLL has to travel with it.
    for (const std::string& dll : testing_support::ImportedDlls(testing_support::BuiltFile(L"TAVELO_INSTALLER"))) {
        EXPECT_EQ(dll.rfind("lib", 0), std::string::npos) << dll;
        EXPECT_NE(dll, "version.dll") << "version.dll is bound at run time from the system folder";
    }
}

} // namespace
