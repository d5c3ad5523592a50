#include "actionlog/file_identity.h"

#include "support/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <vector>

namespace {

using testing_support::WriteFileBytes;

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(::towupper(c));
    return text;
}

// Files, folders, second names, short names, letter case, relative and dotted paths, names
// that do not exist, folders that do not exist, devices and streams.
class FileIdentityTest : public testing::Test {
protected:
    void SetUp() override
    {
        WriteFileBytes(folder_ / L"Tavelo.exe", {1, 2, 3});
        WriteFileBytes(folder_ / L"A rather long name.dat", {4});
        ASSERT_TRUE(::CreateHardLinkW((folder_ / L"Second name.dat").c_str(), (folder_ / L"A rather long name.dat").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((folder_ / L"Lang").c_str(), nullptr));
        WriteFileBytes(folder_ / L"Lang\\Deutsch.dll", {5});
        ::GetCurrentDirectoryW(MAX_PATH, previousFolder_);
        ASSERT_TRUE(::SetCurrentDirectoryW(folder_.path().c_str()));

        wchar_t shortName[MAX_PATH] = {};
        ::GetShortPathNameW((folder_ / L"A rather long name.dat").c_str(), shortName, MAX_PATH);
        paths_ = {folder_ / L"Tavelo.exe", folder_ / L"TAVELO.EXE", L"tavelo.exe", L".\\Lang\\..\\Tavelo.exe",
                  folder_ / L"Tavelo.exe. ", folder_ / L"A rather long name.dat", folder_ / L"Second name.dat",
                  shortName, folder_ / L"Lang", folder_ / L"Lang\\Deutsch.dll", folder_ / L"lang\\deutsch.DLL", folder_ / L"Lang\\", folder_.path(),
                  folder_ / L"Missing.dll", folder_ / L"No folder\\Missing.dll", folder_ / L"Tavelo.exe\\Inside",
                  folder_ / L"NUL", folder_ / L"Tavelo.exe:stream", folder_ / L"Tav*.exe", L"C:\\", L"Q:\\Nowhere\\x"};
    }
    void TearDown() override { ::SetCurrentDirectoryW(previousFolder_); }

    testing_support::TemporaryFolder folder_;
    wchar_t previousFolder_[MAX_PATH] = {};
    std::vector<std::wstring> paths_;
};

TEST_F(FileIdentityTest, FolderListingsGiveWhatOpeningEachPathGives)
{
    FolderListingIdentifier identifier;
    for (const std::wstring& path : paths_) {
        const PathIdentity opened = IdentifyPath(path);
        PathIdentity listed = identifier.Identify(path);
        identifier.Complete(path, listed);
        EXPECT_EQ(listed.presence, opened.presence) << kv::to_utf8(path);
        if (opened.presence == Presence::Identified) {
            EXPECT_EQ(listed.identity, opened.identity) << kv::to_utf8(path);
        }
    }
}

TEST_F(FileIdentityTest, EveryNameOfAFileHasItsIdentity)
{
    const PathIdentity first = IdentifyPath(folder_ / L"A rather long name.dat");
    ASSERT_EQ(first.presence, Presence::Identified);
    EXPECT_EQ(IdentifyPath(folder_ / L"Second name.dat").identity, first.identity);
    EXPECT_EQ(IdentifyPath(folder_ / L"a RATHER long name.dat").identity, first.identity);
    EXPECT_NE(IdentifyPath(folder_ / L"Tavelo.exe").identity, first.identity);
    EXPECT_EQ(IdentifyPath(folder_ / L"Missing.dll").presence, Presence::Missing);
    EXPECT_EQ(IdentifyPath(folder_ / L"NUL").presence, Presence::Unidentified);
}

// The listing, not an open of the file, identifies a plain file; size and write time are
// asked for only when two names share a file index.
TEST_F(FileIdentityTest, PlainFileIsIdentifiedFromItsFolderListing)
{
    FolderListingIdentifier identifier;
    PathIdentity listed = identifier.Identify(folder_ / L"Tavelo.exe");
    ASSERT_EQ(listed.presence, Presence::Identified);
    EXPECT_FALSE(listed.complete);
    identifier.Complete(folder_ / L"Tavelo.exe", listed);
    EXPECT_TRUE(listed.complete);
    EXPECT_EQ(listed.identity.sizeLow, 3u);
}

TEST_F(FileIdentityTest, FolderInOtherLetterCaseIsFoundThroughItsParents)
{
    FolderListingIdentifier identifier;
    const PathIdentity first = identifier.Identify(folder_ / L"Lang\\Deutsch.dll");
    PathIdentity second = identifier.Identify(Upper(folder_ / L"Lang\\Deutsch.dll"));
    ASSERT_EQ(second.presence, Presence::Identified);
    EXPECT_NE(second.listedEntry, nullptr);
    EXPECT_EQ(second.listedEntry, first.listedEntry);
    identifier.Complete(Upper(folder_ / L"Lang\\Deutsch.dll"), second);
    EXPECT_EQ(second.identity, IdentifyPath(folder_ / L"Lang\\Deutsch.dll").identity);
    EXPECT_EQ(identifier.Identify(Upper(folder_ / L"Lang\\Missing.dll")).presence, Presence::Missing);
}

} // namespace
