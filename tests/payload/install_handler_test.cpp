// The installer's extraction handler: each FileKind's rule, the report and status texts,
// the progress bar and the message pump, on payloads extracted into a temporary folder.
#include "payload/install_handler.h"

#include "payload/compress_error.h"
#include "payload/path_tokens.h"
#include "payload_test_support.h"
#include "product/languages.h"
#include "support/recording_install_view.h"
#include "support/temporary_folder_override.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ios>

using namespace payload_testing;
using testing_support::ReadFileBytes;
using testing_support::RecordingInstallView;
using testing_support::ReportCall;
using testing_support::ViewCall;
using testing_support::WriteFileBytes;

namespace {

const ReportCall kOk{L"OK\r\n", false};
const ReportCall kPreparing{L"Preparing Installation...", false};

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// A grant of access to Users, its path relative to the test's folder.
struct Grant {
    std::wstring path;
    DWORD accessMask;
    BYTE aceFlags;
    bool operator==(const Grant&) const = default;
};

void PrintTo(const Grant& grant, std::ostream* os)
{
    *os << testing::PrintToString(grant.path) << std::hex << " 0x" << grant.accessMask << " 0x" << +grant.aceFlags;
}

class InstallHandlerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { SetLanguage(kEnglish); }

    // Extracts the archive with the installer's handler: "<InstallPath>" is the test's
    // folder, which is also the all-users desktop where the samples folder "Samples" goes,
    // "<CommonData>" is folder\ProgramData, "<Temporary>" is folder\Temp. Counts the
    // notifications the handler is given and records the grants of the extraction and of
    // the handler instead of making them.
    bool Extract(const std::string& archive)
    {
        compressedBlocks_ = (archive.size() + 4095) / 4096;
        kv::imemstream stream(archive.data(), archive.size());
        ExtractionServices services;
        services.shellFolder = [&](int csidl) {
            return csidl == CSIDL_COMMON_APPDATA ? folder_ / L"ProgramData" : folder_.path();
        };
        services.grantRights = [&](const std::wstring& path, DWORD accessMask, BYTE aceFlags) {
            const std::wstring prefix = folder_.path() + L"\\";
            grants_.push_back({path.starts_with(prefix) ? path.substr(prefix.size()) : path, accessMask, aceFlags});
            return true;
        };
        // Pumping at every chance, so that the pumps can be counted.
        InstallHandler handler(view_, stream, state_, programs_, std::chrono::milliseconds(0), services.grantRights);
        return ExtractPayload(
            stream, folder_.path(), L"Samples", folder_ / L"Temp",
            [&](notification message) {
                ++notifications_;
                return handler(std::move(message));
            },
            services);
    }

    ReportCall Copying(const std::wstring& path) const
    {
        const std::wstring quoted = path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
        return {L"Copying File  " + quoted + L"...", false};
    }

    testing_support::TemporaryFolder folder_;
    RecordingInstallView view_;
    InstallState state_;
    InstalledPrograms programs_;
    std::size_t notifications_ = 0;
    std::size_t compressedBlocks_ = 0;
    std::vector<Grant> grants_;
};

TEST_F(InstallHandlerTest, WrittenFilesAreRecordedReportedAndTheirProgramsNoted)
{
    const TemporaryFiles temporaryFiles(folder_ / L"Temp");
    EXPECT_TRUE(Extract(CompressedPayload({{L"DSETUP.dll", L"<Temporary>", FileKind::TemporaryFile, "setup"},
                                           {L"Tavelo.de.dll", L"<InstallPath>\\Lang", FileKind::LanguageLibrary, "de"},
                                           {L"Uninstall.exe", L"<InstallPath>", FileKind::Uninstaller, "uninstall"},
                                           {L"Sample 1.tvp", L"<SamplePath>", FileKind::SampleData, "sample"},
                                           {L"Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, "main"}})));

    const std::wstring temporary = folder_ / L"Temp\\DSETUP.dll";
    const std::wstring language = folder_ / L"Lang\\Tavelo.de.dll";
    const std::wstring uninstaller = folder_ / L"Uninstall.exe";
    const std::wstring sample = folder_ / L"Samples\\Sample 1.tvp";
    const std::wstring mainProgram = folder_ / L"Tavelo.exe";
    EXPECT_EQ(view_.ReportCalls(),
              (std::vector<ReportCall>{kPreparing, kOk, Copying(temporary), kOk, Copying(language), kOk,
                                       Copying(uninstaller), kOk, Copying(sample), kOk, Copying(mainProgram), kOk}));
    EXPECT_EQ(view_.CallsOf(ViewCall::StatusPath),
              (std::vector<ViewCall>{{ViewCall::StatusPath, Copying(temporary).text},
                                     {ViewCall::StatusPath, Copying(language).text},
                                     {ViewCall::StatusPath, Copying(uninstaller).text},
                                     {ViewCall::StatusPath, Copying(sample).text},
                                     {ViewCall::StatusPath, Copying(mainProgram).text}}));
    EXPECT_EQ(view_.CallsOf(ViewCall::StatusText),
              (std::vector<ViewCall>{{ViewCall::StatusText, L"Preparing Installation..."}}));
    EXPECT_EQ(programs_.mainProgram, mainProgram);
    EXPECT_EQ(programs_.uninstaller, uninstaller);
    // The temporary file is listed for removal, not recorded for the uninstaller.
    EXPECT_EQ(temporaryFiles.files(), std::vector<std::wstring>{temporary});
    std::vector<std::pair<std::wstring, int>> files;
    for (const ActionRecord& record : state_.actionLog.records) {
        if (record.kind == ActionKind::FileInstalled) {
            EXPECT_TRUE(record.done);
            files.emplace_back(record.text, record.detail);
        }
    }
    EXPECT_EQ(files, (std::vector<std::pair<std::wstring, int>>{{language, FileKindDetail(FileKind::LanguageLibrary)},
                                                                {uninstaller, FileKindDetail(FileKind::Uninstaller)},
                                                                {sample, FileKindDetail(FileKind::SampleData)},
                                                                {mainProgram, FileKindDetail(FileKind::MainProgram)}}));
    EXPECT_FALSE(state_.actionLog.pending);
    // The window's messages are pumped after every notification, and during the verification
    // pass (before its "OK") after every block of input and every piece of output.
    const auto verified = std::find(view_.calls.begin(), view_.calls.end(), ViewCall{ViewCall::Report, kOk.text});
    const auto verifying = static_cast<std::size_t>(std::count(view_.calls.begin(), verified, ViewCall{ViewCall::Pump}));
    EXPECT_GT(verifying, compressedBlocks_);
    EXPECT_EQ(view_.Count(ViewCall::Pump), notifications_ + verifying);
    EXPECT_EQ(view_.CallsOf(ViewCall::Progress).back().value, 100);
}

TEST_F(InstallHandlerTest, SharedFileAlreadyThereIsTakenOverUnchangedWithACopyAsItsBackup)
{
    const std::wstring shared = folder_ / L"Settings.kvs";
    WriteFileBytes(shared, Bytes("the user's settings"));

    EXPECT_TRUE(Extract(CompressedPayload({{L"Settings.kvs", L"<InstallPath>", FileKind::SharedData, "default settings"}})));

    EXPECT_EQ(ReadFileBytes(shared), Bytes("the user's settings"));
    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, kOk}));
    ASSERT_EQ(state_.actionLog.records.size(), 1u);
    const ActionRecord& record = state_.actionLog.records.front();
    EXPECT_EQ(record.kind, ActionKind::FileInstalled);
    EXPECT_EQ(record.text, shared);
    EXPECT_EQ(record.detail, FileKindDetail(FileKind::SharedData));
    EXPECT_TRUE(record.done);
    ASSERT_FALSE(record.backup.empty());
    EXPECT_EQ(ReadFileBytes(record.backup), Bytes("the user's settings"));
    ::DeleteFileW(record.backup.c_str());
}

TEST_F(InstallHandlerTest, UpdateLeavesSharedFilesOfTheEarlierLogAndSkipsSamplesWithoutTrace)
{
    const std::wstring shared = folder_ / L"Settings.kvs";
    WriteFileBytes(shared, Bytes("earlier settings"));
    state_.previousStatus = PreviousInstallStatus::OlderVersion;
    state_.actionLog.previousRecords.push_back({ActionKind::FileInstalled, shared, {}, true, FileKindDetail(FileKind::SharedData)});

    EXPECT_TRUE(Extract(CompressedPayload({{L"Settings.kvs", L"<InstallPath>", FileKind::SharedData, "new settings"},
                                           {L"Sample 1.tvp", L"<SamplePath>", FileKind::SampleData, "sample"}})));

    EXPECT_EQ(ReadFileBytes(shared), Bytes("earlier settings"));
    EXPECT_FALSE(::PathFileExistsW((folder_ / L"Samples").c_str()));
    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, kOk}));
    EXPECT_TRUE(state_.actionLog.records.empty());
    // The bar still runs to the end.
    EXPECT_EQ(view_.CallsOf(ViewCall::Progress).back().value, 100);
}

TEST_F(InstallHandlerTest, SharedFileOfTheEarlierLogThatWasDeletedIsWrittenAgain)
{
    const std::wstring shared = folder_ / L"Settings.kvs";
    state_.previousStatus = PreviousInstallStatus::OlderVersion;
    state_.actionLog.previousRecords.push_back({ActionKind::FileInstalled, shared, {}, true, FileKindDetail(FileKind::SharedData)});

    EXPECT_TRUE(Extract(CompressedPayload({{L"Settings.kvs", L"<InstallPath>", FileKind::SharedData, "new settings"}})));

    EXPECT_EQ(ReadFileBytes(shared), Bytes("new settings"));
    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, kOk, Copying(shared), kOk}));
    ASSERT_EQ(state_.actionLog.records.size(), 1u);
    EXPECT_EQ(state_.actionLog.records.front().text, shared);
    EXPECT_TRUE(state_.actionLog.records.front().done);
}

TEST_F(InstallHandlerTest, ReinstallationWritesTheSamples)
{
    state_.previousStatus = PreviousInstallStatus::SameVersion;
    EXPECT_TRUE(Extract(CompressedPayload({{L"Sample 1.tvp", L"<SamplePath>", FileKind::SampleData, "sample"}})));
    EXPECT_EQ(ReadFileBytes(folder_ / L"Samples\\Sample 1.tvp"), Bytes("sample"));
}

struct GrantCase {
    const char* name;
    PreviousInstallStatus previousStatus;   // not NotInstalled: the earlier log lists Settings.kvs
    bool settingsThere;                     // Settings.kvs is there before the installation
    std::vector<Grant> grants;
};

void PrintTo(const GrantCase& grantCase, std::ostream* os)
{
    *os << grantCase.name;
}

class InstallHandlerGrantTest : public InstallHandlerTest, public testing::WithParamInterface<GrantCase> {};

// Every folder and shared file that Users are given, with its mask and in order: on the
// machine a missing or narrower grant shows only when a user without administrator rights
// is refused.
TEST_P(InstallHandlerGrantTest, OpensEachSharedFolderAndFileToUsers)
{
    const std::wstring settings = folder_ / L"ProgramData\\Korvane\\Settings.kvs";
    if (GetParam().settingsThere) {
        ASSERT_EQ(::SHCreateDirectoryExW(nullptr, (folder_ / L"ProgramData\\Korvane").c_str(), nullptr), ERROR_SUCCESS);
        WriteFileBytes(settings, Bytes("user settings"));
    }
    state_.previousStatus = GetParam().previousStatus;
    if (state_.previousStatus != PreviousInstallStatus::NotInstalled)
        state_.actionLog.previousRecords.push_back(
            {ActionKind::FileInstalled, settings, {}, true, FileKindDetail(FileKind::SharedData)});

    EXPECT_TRUE(Extract(CompressedPayload({{L"Settings.kvs", L"<CommonData>\\Korvane", FileKind::SharedData, "settings"},
                                           {L"Stone.kvm", L"<CommonData>\\Korvane\\Materials", FileKind::SharedData, "stone"},
                                           {L"Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, "main"},
                                           {L"Sample 1.tvp", L"<SamplePath>", FileKind::SampleData, "sample"}})));

    EXPECT_EQ(grants_, GetParam().grants);
    for (const ActionRecord& record : state_.actionLog.records)
        if (!record.backup.empty())
            ::DeleteFileW(record.backup.c_str());
}

constexpr DWORD kFull = 0x1F01FF;     // FILE_ALL_ACCESS
constexpr BYTE kInherited = 0x3;      // by files and folders
constexpr DWORD kModify = 0x13019F;   // read, write and delete, not execute

INSTANTIATE_TEST_SUITE_P(
    Installations, InstallHandlerGrantTest,
    testing::Values(
        GrantCase{"Fresh", PreviousInstallStatus::NotInstalled, false,
                  {{L"ProgramData\\Korvane", kFull, kInherited}, {L"ProgramData\\Korvane\\Settings.kvs", kModify, 0},
                   {L"ProgramData\\Korvane\\Materials", kFull, kInherited},
                   {L"ProgramData\\Korvane\\Materials\\Stone.kvm", kModify, 0}, {L"Samples", kFull, kInherited}}},
        // The earlier installation's shared file stays; the samples are not written.
        GrantCase{"Update", PreviousInstallStatus::OlderVersion, true,
                  {{L"ProgramData\\Korvane\\Settings.kvs", kModify, 0}, {L"ProgramData\\Korvane", kFull, kInherited},
                   {L"ProgramData\\Korvane\\Materials", kFull, kInherited},
                   {L"ProgramData\\Korvane\\Materials\\Stone.kvm", kModify, 0}}},
        // A shared file that no earlier installation put there is taken over as it is.
        GrantCase{"KeptSharedFile", PreviousInstallStatus::NotInstalled, true,
                  {{L"ProgramData\\Korvane\\Settings.kvs", kModify, 0}, {L"ProgramData\\Korvane", kFull, kInherited},
                   {L"ProgramData\\Korvane\\Materials", kFull, kInherited},
                   {L"ProgramData\\Korvane\\Materials\\Stone.kvm", kModify, 0}, {L"Samples", kFull, kInherited}}}),
    [](const testing::TestParamInfo<GrantCase>& info) { return info.param.name; });

TEST_F(InstallHandlerTest, FailureEndsTheFilesLineWithFailedAndShowsTheSystemErrorCode)
{
    const std::wstring locked = folder_ / L"Tavelo.fr.dll";
    WriteFileBytes(locked, {1});
    const kv::unique_file holder(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    EXPECT_FALSE(Extract(CompressedPayload({{L"Tavelo.de.dll", L"<InstallPath>", FileKind::LanguageLibrary, "de"},
                                            {L"Tavelo.fr.dll", L"<InstallPath>", FileKind::LanguageLibrary, "fr"}})));

    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, kOk, Copying(folder_ / L"Tavelo.de.dll"), kOk,
                                                           Copying(locked), {L"Failed\r\n", false}}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code 1:00000020).");
    ASSERT_EQ(state_.actionLog.records.size(), 2u);
    EXPECT_TRUE(state_.actionLog.records.front().done);
    EXPECT_EQ(state_.actionLog.records.back().text, locked);
    EXPECT_FALSE(state_.actionLog.records.back().done);
    EXPECT_FALSE(state_.actionLog.pending);
}

TEST_F(InstallHandlerTest, FolderWhereASharedFileBelongsMakesItsWriteFail)
{
    const std::wstring shared = folder_ / L"Licence.txt";
    ASSERT_TRUE(::CreateDirectoryW(shared.c_str(), nullptr));

    EXPECT_FALSE(Extract(CompressedPayload({{L"Licence.txt", L"<InstallPath>", FileKind::SharedData, "licence"}})));

    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, kOk, Copying(shared), {L"Failed\r\n", false}}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code 1:00000005).");
    ASSERT_EQ(state_.actionLog.records.size(), 1u);
    EXPECT_FALSE(state_.actionLog.records.back().done);
    state_.actionLog.Rollback();
    EXPECT_TRUE(::PathIsDirectoryW(shared.c_str()));
}

TEST_F(InstallHandlerTest, FileThatCannotBeSavedIsNotReplacedAndItsWriteFails)
{
    const std::wstring program = folder_ / L"Tavelo.exe";
    const std::wstring shared = folder_ / L"Settings.kvs";
    WriteFileBytes(program, Bytes("old program"));
    WriteFileBytes(shared, Bytes("user settings"));
    // A temporary folder too long for backups (more than 246 characters).
    const std::wstring tooLong = folder_ / std::wstring(250 - folder_.path().size(), L'y');
    ASSERT_TRUE(::CreateDirectoryW(tooLong.c_str(), nullptr));

    bool extracted = true;
    {
        const testing_support::TemporaryFolderOverride temporary(tooLong + L"\\");
        extracted = Extract(CompressedPayload({{L"Settings.kvs", L"<InstallPath>", FileKind::SharedData, "default settings"},
                                               {L"Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, "new program"}}));
    }

    EXPECT_FALSE(extracted);
    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, kOk, Copying(program), {L"Failed\r\n", false}}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code 1:000000CE).");   // name too long
    EXPECT_EQ(ReadFileBytes(program), Bytes("old program"));
    // The rollback leaves both files as they were: the shared one was taken over without a
    // copy, the program never replaced.
    state_.actionLog.Rollback();
    EXPECT_EQ(ReadFileBytes(program), Bytes("old program"));
    EXPECT_EQ(ReadFileBytes(shared), Bytes("user settings"));
}

TEST_F(InstallHandlerTest, DamagedArchiveFailsWhilePreparingWithNothingWritten)
{
    std::string archive = CompressedPayload({{L"Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, std::string(5000, 'x')}});
    archive.resize(archive.size() - 20);

    EXPECT_FALSE(Extract(archive));

    EXPECT_EQ(view_.ReportCalls(), (std::vector<ReportCall>{kPreparing, {L"Failed\r\n", false}}));
    EXPECT_EQ(view_.StatusLine(), L"Installation failed (Error Code 6).");
    EXPECT_TRUE(HoldsNoFile(folder_.path()));
    EXPECT_TRUE(state_.actionLog.records.empty());
}

TEST(ProgressPercent, RoundsToTheNearestPercentButStaysBelowHundredUntilTheEnd)
{
    EXPECT_EQ(ProgressPercent(0, 10000), 0);
    EXPECT_EQ(ProgressPercent(4999, 10000), 50);
    EXPECT_EQ(ProgressPercent(4949, 10000), 49);
    EXPECT_EQ(ProgressPercent(9949, 10000), 99);
    EXPECT_EQ(ProgressPercent(9999, 10000), 99);
    EXPECT_EQ(ProgressPercent(10000, 10000), 100);
    EXPECT_EQ(ProgressPercent(28706951, 28706952), 99);
}

TEST(ErrorCodeText, ShowsEachCategoryInItsOwnForm)
{
    EXPECT_EQ(ErrorCodeText({ERROR_ACCESS_DENIED, std::system_category()}), L"1:00000005");
    EXPECT_EQ(ErrorCodeText({static_cast<int>(0x80070005), std::system_category()}), L"1:80070005");
    EXPECT_EQ(ErrorCodeText({ENOSPC, std::generic_category()}), L"2:0000001C");
    EXPECT_EQ(ErrorCodeText(compress_errc::invalid_checksum), L"3");
    EXPECT_EQ(ErrorCodeText(compress_errc::bzip2_failure), L"6");
    EXPECT_EQ(ErrorCodeText(std::make_error_code(std::io_errc::stream)), L"7");
}

} // namespace
