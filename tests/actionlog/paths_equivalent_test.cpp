#include "actionlog/paths_equivalent.h"

#include "support/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class PathsEquivalentTest : public testing::Test {
protected:
    testing_support::TemporaryFolder folder_;
};

TEST_F(PathsEquivalentTest, SameTextIsEquivalentEvenWhenNothingExists)
{
    EXPECT_TRUE(PathsEquivalent(L"Q:\\Nowhere\\file.dat", L"Q:\\Nowhere\\file.dat"));
}

TEST_F(PathsEquivalentTest, ExistingFileNamedWithOtherLetterCase)
{
    const std::wstring file = folder_ / L"Shared.DAT";
    testing_support::WriteFileBytes(file, {1, 2, 3});
    EXPECT_TRUE(PathsEquivalent(file, folder_ / L"shared.dat"));
}

TEST_F(PathsEquivalentTest, SecondNameOfTheSameFile)
{
    const std::wstring file = folder_ / L"original.dat";
    const std::wstring link = folder_ / L"other name.dat";
    testing_support::WriteFileBytes(file, {1});
    ASSERT_TRUE(::CreateHardLinkW(link.c_str(), file.c_str(), nullptr));
    EXPECT_TRUE(PathsEquivalent(file, link));
}

TEST_F(PathsEquivalentTest, DifferentExistingFilesAreNotEquivalent)
{
    testing_support::WriteFileBytes(folder_ / L"a.dat", {1});
    testing_support::WriteFileBytes(folder_ / L"b.dat", {1});
    EXPECT_FALSE(PathsEquivalent(folder_ / L"a.dat", folder_ / L"b.dat"));
}

TEST_F(PathsEquivalentTest, WithoutEitherFileLetterCaseOfTheAbsolutePathsDecides)
{
    EXPECT_TRUE(PathsEquivalent(L"Q:\\Program Files\\Korvane\\Tavelo.exe", L"q:\\PROGRAM FILES\\korvane\\tavelo.EXE"));
    EXPECT_FALSE(PathsEquivalent(L"Q:\\Program Files\\Korvane\\Tavelo.exe", L"Q:\\Program Files\\Korvane\\Tavelo.ex"));
    EXPECT_FALSE(PathsEquivalent(L"Q:\\Program Files\\Korvane", L"Q:\\Program Files\\Korvane\\Tavelo"));
}

TEST_F(PathsEquivalentTest, WhenOnlyOneExistsTheTextsAreCompared)
{
    const std::wstring file = folder_ / L"present.dat";
    testing_support::WriteFileBytes(file, {1});
    EXPECT_FALSE(PathsEquivalent(file, folder_ / L"absent.dat"));
    EXPECT_TRUE(PathsEquivalent(folder_ / L"Gone.dat", folder_ / L"GONE.DAT"));
}

TEST_F(PathsEquivalentTest, RelativePathIsTakenAgainstTheCurrentFolder)
{
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder_.path().c_str()));
    const bool equivalent = PathsEquivalent(L"Missing\\File.txt", folder_ / L"missing\\file.TXT");
    ::SetCurrentDirectoryW(previous);
    EXPECT_TRUE(equivalent);
}

// Paths of every sort the equivalence test meets: existing files and folders named in other
// letter case, through a second name, relatively or with extra separators; missing paths whose
// letters fold by the locale's rules; and device names, which open without a file identity.
class EquivalentPathSetTest : public PathsEquivalentTest {
protected:
    void SetUp() override
    {
        testing_support::WriteFileBytes(folder_ / L"Tavelo.exe", {1});
        testing_support::WriteFileBytes(folder_ / L"Shared.dat", {2});
        ASSERT_TRUE(::CreateHardLinkW((folder_ / L"Link.dat").c_str(), (folder_ / L"Shared.dat").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((folder_ / L"Lang").c_str(), nullptr));
        ::GetCurrentDirectoryW(MAX_PATH, previousFolder_);
        ASSERT_TRUE(::SetCurrentDirectoryW(folder_.path().c_str()));
        paths_ = {folder_ / L"Tavelo.exe", folder_ / L"TAVELO.EXE", L"Tavelo.exe", folder_ / L"Lang\\..\\Tavelo.exe",
                  folder_ / L"Shared.dat", folder_ / L"Link.dat", folder_ / L"Lang", folder_ / L"LANG\\",
                  folder_ / L"Gone.dll", folder_ / L"GONE.DLL", L"gone.dll", folder_ / L"Lang\\\\gone.dll",
                  folder_ / L"Lang\\Gone.dll", L"Q:\\Nowhere\\\u00c4rger", L"q:\\NOWHERE\\\u00e4rger",
                  L"Q:\\Nowhere\\Stra\u00dfe", L"Q:\\Nowhere\\STRASSE", L"Q:/Nowhere/Strasse",
                  L"Q:\\Nowhere\\\u03c3\u03bf\u03c6\u03cc\u03c2", L"Q:\\NOWHERE\\\u03a3\u039f\u03a6\u038c\u03a3",
                  L"Q:\\Nowhere\\a\u00adb", L"Q:\\Nowhere\\ab\u00ad", L"Q:\\Nowhere\\I", L"Q:\\Nowhere\\\u0131",
                  folder_ / L"NUL", folder_ / L"Lang\\nul", L"\\\\.\\C:", L"\\\\.\\c:"};
    }
    void TearDown() override { ::SetCurrentDirectoryW(previousFolder_); }

    wchar_t previousFolder_[MAX_PATH] = {};
    std::vector<std::wstring> paths_;
};

TEST_F(EquivalentPathSetTest, SetOfOnePathAnswersAsPathsEquivalent)
{
    for (const std::wstring& member : paths_) {
        EquivalentPathSet set;
        set.Insert(member);
        for (const std::wstring& path : paths_)
            EXPECT_EQ(set.Contains(path), PathsEquivalent(path, member))
                << kv::to_utf8(path) << " against " << kv::to_utf8(member);
    }
}

TEST_F(EquivalentPathSetTest, InsertUnlessContainedKeepsOnlyPathsWithoutAnEquivalentBefore)
{
    const std::size_t count = paths_.size();
    std::vector<std::vector<bool>> equivalent(count, std::vector<bool>(count));
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < count; ++j)
            equivalent[i][j] = PathsEquivalent(paths_[i], paths_[j]);
    // Every rotation of the list, so that each path is once looked up first, before the set
    // has asked the file system about its members, and once among the last.
    for (std::size_t rotation = 0; rotation < count; ++rotation) {
        EquivalentPathSet set;
        std::vector<std::size_t> kept;
        for (std::size_t n = 0; n < count; ++n) {
            const std::size_t i = (rotation + n) % count;
            bool expected = true;
            for (std::size_t j : kept)
                expected = expected && !equivalent[i][j];
            EXPECT_EQ(set.InsertUnlessContained(paths_[i]), expected) << kv::to_utf8(paths_[i]);
            if (expected)
                kept.push_back(i);
        }
    }
}

TEST_F(PathsEquivalentTest, DeviceWithoutFileIdentityIsComparedByItsPath)
{
    // The null device opens but has no file identity: its names compare as text.
    EXPECT_TRUE(PathsEquivalent(folder_ / L"NUL", folder_ / L"nul"));
    EXPECT_FALSE(PathsEquivalent(folder_ / L"NUL", folder_ / L"Lang\\NUL"));
}

} // namespace
