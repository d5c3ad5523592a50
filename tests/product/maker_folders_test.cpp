#include "product/maker_folders.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

namespace {

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

TEST(MakerFolders, AreTheDataFoldersWithTheMakersNameAndTheDocuments)
{
    const MakerFolders& folders = GetMakerFolders();
    EXPECT_EQ(folders.commonData, L"C:\\ProgramData\\Korvane");
    EXPECT_EQ(folders.userData, ShellFolder(CSIDL_APPDATA) + L"\\Korvane");
    EXPECT_EQ(folders.documents, ShellFolder(CSIDL_PERSONAL));
    EXPECT_FALSE(ShellFolder(CSIDL_APPDATA).empty());
}

} // namespace
