#include "payload/path_tokens.h"

#include "install/install_state.h"
#include "payload/compress_error.h"
#include "support/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <set>
#include <regex>

namespace {

// Shell folders of a made-up machine: "S:\" + the CSIDL in hexadecimal, except those the
// test removes. Every look-up is recorded.
class FakeShell {
public:
    std::set<int> missing;
    std::vector<int> lookups;

    static std::wstring PathOf(int csidl) { return kv::format(L"S:\\csidl-%02x", csidl); }

    ShellFolderLookup lookup()
    {
        return [this](int csidl) {
            lookups.push_back(csidl);
            return missing.count(csidl) ? std::wstring() : PathOf(csidl);
        };
    }
};

class ExpandDestinationTest : public testing::Test {
protected:
    ExpandDestinationTest()
    {
        context_.installFolder = L"C:\\Program Files\\Korvane\\Tavelo 7";
        context_.samplesFolder = L"Tavelo Examples";
        context_.temporaryFolder = L"C:\\users\\me\\Temp\\korvane_{x}";
        context_.shellFolder = shell_.lookup();
    }

    std::wstring Expand(const std::wstring& folder) { return ExpandDestination(context_, folder); }

    std::vector<std::wstring> RightsFolders() const
    {
        std::vector<std::wstring> paths;
        for (const RightsFolder& folder : context_.rightsFolders) {
            EXPECT_FALSE(folder.done);
            paths.push_back(folder.path);
        }
        return paths;
    }

    FakeShell shell_;
    DestinationContext context_;
};

TEST_F(ExpandDestinationTest, EachTokenStandsForItsFolder)
{
    const std::pair<const wchar_t*, std::wstring> table[] = {
        {L"<InstallPath>", context_.installFolder},
        {L"<ProgramFiles>", FakeShell::PathOf(CSIDL_PROGRAM_FILES)},
        {L"<ProgramCommon>", FakeShell::PathOf(CSIDL_PROGRAM_FILES_COMMON)},
        {L"<CommonData>", FakeShell::PathOf(CSIDL_COMMON_APPDATA)},
        {L"<UserData>", FakeShell::PathOf(CSIDL_APPDATA)},
        {L"<CommonDocuments>", FakeShell::PathOf(CSIDL_COMMON_DOCUMENTS)},
        {L"<Documents>", FakeShell::PathOf(CSIDL_PERSONAL)},
        {L"<CommonDesktop>", FakeShell::PathOf(CSIDL_COMMON_DESKTOPDIRECTORY)},
        {L"<Desktop>", FakeShell::PathOf(CSIDL_DESKTOPDIRECTORY)},
        {L"<WinDir>", FakeShell::PathOf(CSIDL_WINDOWS)},
        {L"<System>", FakeShell::PathOf(CSIDL_SYSTEM)},
        {L"<Temporary>", context_.temporaryFolder},
        {L"<SamplePath>", FakeShell::PathOf(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tavelo Examples"},
    };
    for (const auto& [token, folder] : table) {
        EXPECT_EQ(Expand(token), folder) << kv::to_utf8(token);
        EXPECT_EQ(Expand(std::wstring(token) + L"\\Lang"), folder + L"\\Lang") << kv::to_utf8(token);
    }
}

TEST_F(ExpandDestinationTest, FallbackFoldersAreAskedOnlyWhereTheTableHasThem)
{
    shell_.missing = {CSIDL_COMMON_APPDATA, CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY};
    EXPECT_EQ(Expand(L"<CommonData>\\Korvane"), FakeShell::PathOf(CSIDL_APPDATA) + L"\\Korvane");
    EXPECT_EQ(Expand(L"<CommonDocuments>"), FakeShell::PathOf(CSIDL_PERSONAL));
    EXPECT_EQ(Expand(L"<CommonDesktop>"), FakeShell::PathOf(CSIDL_DESKTOPDIRECTORY));
    EXPECT_EQ(Expand(L"<SamplePath>"), FakeShell::PathOf(CSIDL_DESKTOPDIRECTORY) + L"\\Tavelo Examples");
    EXPECT_EQ(shell_.lookups, (std::vector<int>{0x23, 0x1A, 0x2E, 0x05, 0x19, 0x10, 0x19, 0x10}));

    // Tokens without a fallback fail at once when their folder is missing.
    for (const auto& [token, csidl] : std::vector<std::pair<const wchar_t*, int>>{
             {L"<ProgramFiles>", 0x26}, {L"<ProgramCommon>", 0x2B}, {L"<UserData>", 0x1A}, {L"<Documents>", 0x05},
             {L"<Desktop>", 0x10}, {L"<WinDir>", 0x24}, {L"<System>", 0x25}}) {
        shell_.missing = {csidl};
        shell_.lookups.clear();
        try {
            Expand(token);
            ADD_FAILURE() << kv::to_utf8(token) << " expanded without its folder";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), compress_errc::unexpected);
        }
        EXPECT_EQ(shell_.lookups, std::vector<int>{csidl}) << kv::to_utf8(token);
    }
}

TEST_F(ExpandDestinationTest, MissingFolderAndFallbackRaiseUnexpected)
{
    shell_.missing = {CSIDL_COMMON_APPDATA, CSIDL_APPDATA};
    try {
        Expand(L"<CommonData>\\Korvane");
        FAIL() << "expanded without a folder";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), compress_errc::unexpected);
        EXPECT_EQ(error.code().value(), 7);
        EXPECT_STREQ(error.code().category().name(), "compress");
    }
}

TEST_F(ExpandDestinationTest, OnlyAnExactFirstElementIsAToken)
{
    EXPECT_EQ(Expand(L"<installpath>\\Lang"), L"Lang") << "another case is an unknown token";
    EXPECT_EQ(Expand(L"<Unknown>\\a\\b"), L"a\\b");
    EXPECT_EQ(Expand(L"<InstallPath >"), L"");
    EXPECT_EQ(Expand(L"Lang\\<InstallPath>"), L"Lang\\<InstallPath>");
    EXPECT_EQ(Expand(L"C:\\Data"), L"C:\\Data");
    EXPECT_EQ(Expand(L"\\<InstallPath>\\Lang"), L"\\<InstallPath>\\Lang");
    EXPECT_EQ(Expand(L"<InstallPath>x\\Lang"), L"<InstallPath>x\\Lang");
    EXPECT_EQ(Expand(L""), L"");
    EXPECT_EQ(Expand(L"<InstallPath>/Lang//Sub\\"), context_.installFolder + L"\\Lang\\Sub");
    EXPECT_TRUE(shell_.lookups.empty());
}

TEST_F(ExpandDestinationTest, TemporaryWithoutTemporaryFolderIsTheInstallFolder)
{
    context_.temporaryFolder.clear();
    EXPECT_EQ(Expand(L"<Temporary>\\DirectX"), context_.installFolder + L"\\DirectX");
}

TEST_F(ExpandDestinationTest, SamplesFolderNamedRelativeLandsOnTheAllUsersDesktopAndGetsRights)
{
    const std::wstring desktop = FakeShell::PathOf(CSIDL_COMMON_DESKTOPDIRECTORY);
    EXPECT_EQ(Expand(L"<SamplePath>\\Kitchen"), desktop + L"\\Tavelo Examples\\Kitchen");
    EXPECT_EQ(RightsFolders(), std::vector<std::wstring>{desktop + L"\\Tavelo Examples"})
        << "the samples folder itself, not the folders below it";

    context_.rightsFolders.clear();
    context_.samplesFolder = L"D:\\Samples";
    EXPECT_EQ(Expand(L"<SamplePath>"), L"D:\\Samples");
    context_.samplesFolder = L"\\\\server\\share\\Samples";
    EXPECT_EQ(Expand(L"<SamplePath>"), L"\\\\server\\share\\Samples");
    EXPECT_TRUE(RightsFolders().empty());

    context_.samplesFolder = L"\\Samples";   // a separator but no drive: relative
    EXPECT_EQ(Expand(L"<SamplePath>"), desktop + L"\\Samples");
    EXPECT_EQ(RightsFolders(), std::vector<std::wstring>{desktop + L"\\Samples"});
}

TEST_F(ExpandDestinationTest, CommonTokensRegisterEveryFolderBelowTheShellFolderOnce)
{
    const std::wstring data = FakeShell::PathOf(CSIDL_COMMON_APPDATA);
    Expand(L"<CommonData>\\Korvane\\Textures\\Tavelo 7");
    Expand(L"<CommonData>\\Korvane\\Tavelo 7");
    Expand(L"<CommonData>\\KORVANE\\Materials");
    Expand(L"<UserData>\\Korvane\\Tavelo 7");
    Expand(L"<InstallPath>\\Lang");
    EXPECT_EQ(RightsFolders(),
              (std::vector<std::wstring>{data + L"\\Korvane", data + L"\\Korvane\\Textures",
                                         data + L"\\Korvane\\Textures\\Tavelo 7", data + L"\\Korvane\\Tavelo 7",
                                         data + L"\\KORVANE\\Materials"}));

    context_.rightsFolders.clear();
    Expand(L"<CommonDocuments>\\Korvane");
    Expand(L"<CommonDesktop>\\Korvane");
    Expand(L"<Documents>\\Korvane");
    Expand(L"<Desktop>\\Korvane");
    EXPECT_EQ(RightsFolders(),
              (std::vector<std::wstring>{FakeShell::PathOf(CSIDL_COMMON_DOCUMENTS) + L"\\Korvane",
                                         FakeShell::PathOf(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Korvane"}));
}

TEST(RegisterRightsFolder, KeepsOneEntryPerEquivalentPath)
{
    testing_support::TemporaryFolder folder;
    ::CreateDirectoryW((folder / L"Korvane").c_str(), nullptr);
    RightsFolders folders;
    RegisterRightsFolder(folders, folder / L"Korvane");
    RegisterRightsFolder(folders, folder / L"korvane");
    RegisterRightsFolder(folders, folder.path() + L"/Korvane");
    RegisterRightsFolder(folders, folder / L"Korvane\\Materials");
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].path, folder / L"Korvane");
    EXPECT_EQ(folders[1].path, folder / L"Korvane\\Materials");
}

TEST(JoinPath, PutsOneSeparatorBetweenFolderAndName)
{
    EXPECT_EQ(JoinPath(L"C:\\A", L"b.dll"), L"C:\\A\\b.dll");
    EXPECT_EQ(JoinPath(L"C:\\A\\", L"b.dll"), L"C:\\A\\b.dll");
    EXPECT_EQ(JoinPath(L"C:/A/", L"b.dll"), L"C:/A/b.dll");
    EXPECT_EQ(JoinPath(L"C:", L"b.dll"), L"C:b.dll");
    EXPECT_EQ(JoinPath(L"", L"b.dll"), L"b.dll");
    EXPECT_EQ(JoinPath(L"C:\\A", L"\\b"), L"C:\\A\\b");
}

TEST(KnownFolder, ShellFoldersOfThisMachine)
{
    EXPECT_EQ(KnownFolder(CSIDL_COMMON_APPDATA, CSIDL_APPDATA, true), L"C:\\ProgramData");
    EXPECT_EQ(KnownFolder(CSIDL_PROGRAM_FILES, 0, false), L"C:\\Program Files");
    EXPECT_EQ(KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true), L"C:\\users\\Public\\Desktop");
}

TEST(MakeTemporaryFolderPath, NamesAFreshFolderInTheUserTemporaryFolder)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    InstallState state;
    std::wstring error;
    ASSERT_TRUE(MakeTemporaryFolderPath(state, error));
    const std::wstring first = state.temporaryFolder;
    ASSERT_TRUE(MakeTemporaryFolderPath(state, error));
    EXPECT_NE(state.temporaryFolder, first);

    const std::wregex name(
        L"korvane_\\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\}");
    for (const std::wstring& path : {first, state.temporaryFolder}) {
        ASSERT_EQ(path.compare(0, std::wcslen(temp), temp), 0) << kv::to_utf8(path);
        EXPECT_TRUE(std::regex_match(path.substr(std::wcslen(temp)), name)) << kv::to_utf8(path);
        EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "the folder is not created";
    }
}

TEST(MakeTemporaryFolderPath, TooLongTemporaryPathFailsWithItsErrorText)
{
    wchar_t saved[MAX_PATH] = {};
    const bool hadTmp = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) != 0;
    const std::wstring longPath = L"C:\\" + std::wstring(250, L'x');
    ::SetEnvironmentVariableW(L"TMP", longPath.c_str());
    InstallState state;
    std::wstring error;
    const bool made = MakeTemporaryFolderPath(state, error);
    ::SetEnvironmentVariableW(L"TMP", hadTmp ? saved : nullptr);

    EXPECT_FALSE(made);
    EXPECT_EQ(error, L"0000007a (GetTempPath)");
    EXPECT_TRUE(state.temporaryFolder.empty());
}

TEST(TemporaryFiles, RemovesItsFilesThenTheFolderWhenItEnds)
{
    testing_support::TemporaryFolder parent;
    const std::wstring folder = parent / L"korvane_{run}";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    testing_support::WriteFileBytes(folder + L"\\DSETUP.dll", {1});
    testing_support::WriteFileBytes(folder + L"\\dxupdate.cab", {2});
    {
        TemporaryFiles files(folder);
        EXPECT_EQ(TemporaryFiles::Current(), &files);
        files.Add(folder + L"\\DSETUP.dll");
        files.Add(folder + L"\\missing.cab");   // never written: ignored
        files.Add(folder + L"\\dxupdate.cab");
    }
    EXPECT_EQ(TemporaryFiles::Current(), nullptr);
    EXPECT_EQ(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(TemporaryFiles, LeavesFilesItDoesNotListAndTheirFolder)
{
    testing_support::TemporaryFolder parent;
    const std::wstring folder = parent / L"korvane_{run}";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    testing_support::WriteFileBytes(folder + L"\\listed.cab", {1});
    testing_support::WriteFileBytes(folder + L"\\other.txt", {2});
    {
        TemporaryFiles files(folder);
        files.Add(folder + L"\\listed.cab");
    }
    EXPECT_EQ(::GetFileAttributesW((folder + L"\\listed.cab").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW((folder + L"\\other.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace

TEST(CreateTemporaryFolder, MakesTheFolderWritableByTheInstallerAndHoldsItInPlace)
{
    testing_support::TemporaryFolder parent;
    const std::wstring folder = parent / L"korvane_{run}";
    {
        const kv::unique_file hold = CreateTemporaryFolder(folder);
        ASSERT_TRUE(hold);
        testing_support::WriteFileBytes(folder + L"\\DSETUP.dll", {1, 2, 3});
        EXPECT_EQ(testing_support::ReadFileBytes(folder + L"\\DSETUP.dll"), (std::vector<std::uint8_t>{1, 2, 3}));
        // Neither renamed away nor replaced while it is held.
        EXPECT_FALSE(::MoveFileW(folder.c_str(), (parent / L"elsewhere").c_str()));
        EXPECT_TRUE(testing_support::Exists(folder));
        // A second run's folder of the same name cannot be made.
        EXPECT_THROW(CreateTemporaryFolder(folder), std::system_error);
    }
    ::DeleteFileW((folder + L"\\DSETUP.dll").c_str());
    EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
}
