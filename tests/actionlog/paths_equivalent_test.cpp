#include "actionlog/paths_equivalent.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

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

} // namespace
