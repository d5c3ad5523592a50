#include "payload/extraction.h"

#include "actionlog/folder_rights.h"
#include "payload/compress_error.h"
#include "payload/payload_format.h"
#include "payload_test_support.h"
#include "support/security_api.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <boost/filesystem/exception.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

using namespace payload_testing;

namespace {

using result = notification::result;

const std::error_code kUnexpected = compress_errc::unexpected;

class ExtractionTest : public testing::Test {
protected:
    // Extracts an archive into the test's folder: "<InstallPath>" is the folder itself,
    // the samples folder is folder\Samples, "<Temporary>" folder\Temp. The handler
    // verifies and rewinds the stream on started, as the installer's does.
    bool Extract(const std::string& archive, const ExtractionServices& services = {})
    {
        kv::imemstream stream(archive.data(), archive.size());
        return ExtractPayload(stream, folder_.path(), folder_ / L"Samples", folder_ / L"Temp",
                              VerifyingHandler(stream, recorder_), services);
    }

    // The file data is refused before any file was begun or written.
    void ExpectNothingWritten()
    {
        EXPECT_EQ(recorder_.Count(2), 0u);
        EXPECT_TRUE(HoldsNoFile(folder_.path()));
    }

    testing_support::TemporaryFolder folder_;
    Recorder recorder_;
};

TEST_F(ExtractionTest, TwelveByteArchiveReportsItsProgressAndFinishes)
{
    const std::string archive = payload_format::Compress(payload_format::HeaderBytes({}));
    EXPECT_TRUE(Extract(archive));
    EXPECT_EQ(recorder_.events, (std::vector<Event>{{0}, {6}, {4, L"", 12, 12}, {1, L"", archive.size(), 12}}));
}

TEST_F(ExtractionTest, WritesEveryFileWithItsExactBytes)
{
    std::string binary(70000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7 + i / 251);
    const std::vector<PayloadFile> files = {
        {L"C:\\b\\DSETUP.dll", L"<Temporary>", FileKind::TemporaryFile, "setup"},
        {L"C:\\b\\Tavelo.de.dll", L"<InstallPath>\\Lang", FileKind::LanguageLibrary, binary},
        {L"C:\\b\\Kitchen.tvp", L"<SamplePath>\\Kitchen", FileKind::SampleData, "kitchen"},
        {L"C:\\b\\Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, std::string(4096, 'm')},
    };
    const std::string archive = CompressedPayload(files);
    ASSERT_TRUE(Extract(archive));

    EXPECT_EQ(FileContent(folder_ / L"Temp\\DSETUP.dll"), "setup");
    EXPECT_EQ(FileContent(folder_ / L"Lang\\Tavelo.de.dll"), binary);
    EXPECT_EQ(FileContent(folder_ / L"Samples\\Kitchen\\Kitchen.tvp"), "kitchen");
    EXPECT_EQ(FileContent(folder_ / L"Tavelo.exe"), std::string(4096, 'm'));

    const std::uint64_t total = PayloadBytes(files).size();
    EXPECT_EQ(recorder_.events.front(), Event{0});
    EXPECT_EQ(recorder_.events.back(), (Event{1, L"", archive.size(), total}));
    EXPECT_EQ(recorder_.Count(2), 4u);
    EXPECT_EQ(recorder_.Count(3), 4u);
    EXPECT_EQ(recorder_.Count(5), 0u);
    std::uint64_t previous = 0;
    for (const Event& event : recorder_.events) {
        if (event.kind != 4)
            continue;
        EXPECT_EQ(event.total, total);
        EXPECT_GE(event.done, previous);
        EXPECT_LE(event.done - previous, 4096u) << "pieces of at most 4,096 bytes";
        previous = event.done;
    }
    EXPECT_EQ(previous, total);
}

TEST_F(ExtractionTest, AbortOnProgressFailsWithInterruptedAndTheFilesPath)
{
    const std::vector<PayloadFile> files = {{L"a.dat", L"<InstallPath>", FileKind::LanguageLibrary, "first"},
                                            {L"b.dat", L"<InstallPath>", FileKind::LanguageLibrary, std::string(10000, 'b')}};
    int fileProgress = 0;
    recorder_.answer = [&](const notification& message) {
        if (std::holds_alternative<notification::file_begin>(message))
            fileProgress = 0;
        if (std::holds_alternative<notification::progress>(message) && ++fileProgress == 2)
            return result::abort;
        return result::proceed;
    };
    EXPECT_FALSE(Extract(CompressedPayload(files)));
    const Event failure = recorder_.Failure();
    EXPECT_EQ(failure.code, compress_errc::interrupted);
    EXPECT_EQ(failure.code.value(), 5);
    EXPECT_EQ(failure.path, folder_ / L"b.dat");
    EXPECT_EQ(recorder_.Count(1), 0u);
}

TEST_F(ExtractionTest, OneByteMoreThanAnnouncedFailsWithUnexpectedAndNoPath)
{
    const std::vector<PayloadFile> files = {{L"a.dat", L"<InstallPath>", FileKind::LanguageLibrary, "abc"}};
    EXPECT_FALSE(Extract(payload_format::Compress(PayloadBytes(files) + "!")));
    EXPECT_EQ(recorder_.Failure().code, kUnexpected);
    EXPECT_EQ(recorder_.Failure().path, L"");
}

TEST_F(ExtractionTest, OneByteLessThanAnnouncedFailsWithUnexpectedAndTheLastFilesPath)
{
    const std::vector<PayloadFile> files = {{L"a.dat", L"<InstallPath>", FileKind::LanguageLibrary, "abc"},
                                            {L"b.dat", L"<InstallPath>", FileKind::LanguageLibrary, "defg"}};
    const std::string bytes = PayloadBytes(files);
    EXPECT_FALSE(Extract(payload_format::Compress(bytes.substr(0, bytes.size() - 1))));
    EXPECT_EQ(recorder_.Failure().code, kUnexpected);
    EXPECT_EQ(recorder_.Failure().path, folder_ / L"b.dat");
    EXPECT_EQ(recorder_.Count(1), 0u);
}

TEST_F(ExtractionTest, EmptyStreamFailsWithBzip2ErrorBeforeAnythingIsWritten)
{
    EXPECT_FALSE(Extract(""));
    EXPECT_EQ(recorder_.Failure().code, compress_errc::bzip2_failure);
    EXPECT_EQ(recorder_.Failure().code.value(), 6);
    EXPECT_EQ(recorder_.Failure().path, L"");
    ExpectNothingWritten();
}

TEST_F(ExtractionTest, Bzip2StreamWithEmptyContentFailsWithUnexpected)
{
    const std::string archive = payload_format::Compress("");
    kv::imemstream stream(archive.data(), archive.size());
    ASSERT_TRUE(VerifyPayload(stream));
    EXPECT_FALSE(Extract(archive));
    EXPECT_EQ(recorder_.events, (std::vector<Event>{{0}, {5, L"", 0, 0, kUnexpected}}));
}

TEST_F(ExtractionTest, BitFlipsAnywhereInTheCompressedDataAreRefusedBeforeAnythingIsWritten)
{
    std::vector<PayloadFile> files;
    for (int i = 0; i < 4; ++i) {
        std::string content;
        for (int j = 0; j < 20000; ++j)
            content += static_cast<char>('a' + (j * (i + 3) + j / 97) % 26);
        files.push_back({L"file" + std::to_wstring(i) + L".dat", L"<InstallPath>", FileKind::SharedData, content});
    }
    const std::string archive = CompressedPayload(files);
    // The first four bytes ("BZh9") name the format and block size; every bit after them
    // is guarded by the block and stream checksums.
    for (std::size_t position = 4; position < archive.size(); position += archive.size() / 23) {
        for (const char bit : {'\x01', '\x80'}) {
            std::string damaged = archive;
            damaged[position] ^= bit;
            recorder_.events.clear();
            EXPECT_FALSE(Extract(damaged)) << "flip at " << position;
            const std::error_code code = recorder_.Failure().code;
            EXPECT_TRUE(code == compress_errc::bzip2_failure || code == compress_errc::damaged_archive)
                << "flip at " << position << ": " << code.message();
            ExpectNothingWritten();
        }
    }
}

TEST_F(ExtractionTest, ChecksumMismatchFailsWithInvalidChecksumAndLeavesTheFile)
{
    const std::vector<PayloadFile> files = {{L"good.dat", L"<InstallPath>", FileKind::LanguageLibrary, "good"},
                                            {L"bad.dat", L"<InstallPath>", FileKind::LanguageLibrary, "bad", 0x12345678u},
                                            {L"never.dat", L"<InstallPath>", FileKind::LanguageLibrary, "never"}};
    EXPECT_FALSE(Extract(CompressedPayload(files)));
    EXPECT_EQ(recorder_.Failure().code, compress_errc::invalid_checksum);
    EXPECT_EQ(recorder_.Failure().code.value(), 3);
    EXPECT_EQ(recorder_.Failure().path, folder_ / L"bad.dat");
    EXPECT_EQ(FileContent(folder_ / L"bad.dat"), "bad");
    EXPECT_FALSE(FileContent(folder_ / L"never.dat"));
    EXPECT_EQ(recorder_.Count(3), 1u) << "no file_end for the bad file";
}

TEST_F(ExtractionTest, ExistingReadOnlyFileIsOverwritten)
{
    const std::wstring path = folder_ / L"Tavelo.exe";
    testing_support::WriteFileBytes(path, {'o', 'l', 'd', '!', '!'});
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(Extract(CompressedPayload({{L"Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, "new"}})));
    EXPECT_EQ(FileContent(path), "new");
}

TEST_F(ExtractionTest, FolderThatCannotBeCreatedFailsWithItsSystemError)
{
    testing_support::WriteFileBytes(folder_ / L"blocker", {1});   // a file where a folder must go
    EXPECT_FALSE(Extract(CompressedPayload({{L"a.dat", L"<InstallPath>\\blocker\\sub", FileKind::LanguageLibrary, "abc"}})));
    const Event failure = recorder_.Failure();
    EXPECT_EQ(failure.code.category(), std::system_category());
    EXPECT_NE(failure.code.value(), 0);
    EXPECT_EQ(failure.path, folder_ / L"blocker\\sub\\a.dat");
}

TEST_F(ExtractionTest, FileThatCannotBeOpenedFailsWithTheOperatingSystemsError)
{
    const std::wstring path = folder_ / L"locked.dat";
    testing_support::WriteFileBytes(path, {1});
    kv::unique_file holder(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(Extract(CompressedPayload({{L"locked.dat", L"<InstallPath>", FileKind::LanguageLibrary, "abc"}})));
    EXPECT_EQ(recorder_.Failure().code, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    EXPECT_EQ(recorder_.Failure().path, path);
}

TEST_F(ExtractionTest, MalformedHeadersAreRefusedBeforeAnythingIsWritten)
{
    const std::vector<PayloadFile> files = {{L"a.dat", L"<InstallPath>", FileKind::LanguageLibrary, "abc"}};
    const std::string good = PayloadBytes(files);
    const std::size_t headerSize = good.size() - 3;

    std::string countTooHigh = good;
    countTooHigh[8] = 2;
    std::string recordsEndEarly = good.substr(0, headerSize) + "zz" + good.substr(headerSize);
    recordsEndEarly[0] = static_cast<char>(headerSize + 2);
    std::string stringTooLong = good;
    std::memcpy(stringTooLong.data() + 12, "\x00\x00\x01\x00", 4);
    std::string tinyHeader = good;
    tinyHeader[0] = 8;
    std::string hugeHeader = good;
    hugeHeader[5] = 1;   // 2^40 bytes and more

    for (const std::string* bytes : {&countTooHigh, &recordsEndEarly, &stringTooLong, &tinyHeader, &hugeHeader}) {
        recorder_.events.clear();
        EXPECT_FALSE(Extract(payload_format::Compress(*bytes)));
        EXPECT_EQ(recorder_.Failure().code, kUnexpected);
        ExpectNothingWritten();
    }
}

TEST_F(ExtractionTest, FileNamesThatCouldLeaveTheirFolderAreRefusedBeforeAnythingIsWritten)
{
    for (const wchar_t* source : {L"..", L"C:\\build\\..", L".", L"C:\\build\\", L"Tavelo.exe:stream", L"x\x1f"}) {
        recorder_.events.clear();
        const std::vector<PayloadFile> files = {{L"first.dat", L"<InstallPath>\\Sub", FileKind::LanguageLibrary, "first"},
                                                {source, L"<InstallPath>\\Sub", FileKind::LanguageLibrary, "escape"}};
        EXPECT_FALSE(Extract(CompressedPayload(files))) << kv::to_utf8(source);
        EXPECT_EQ(recorder_.Failure().code, kUnexpected);
        ExpectNothingWritten();
    }
}

TEST_F(ExtractionTest, DestinationsThatLeaveTheirFolderAreRefusedBeforeAnythingIsWritten)
{
    const std::pair<const wchar_t*, const wchar_t*> refused[] = {
        {L"Escape.dll", L"<InstallPath>\\..\\..\\..\\windows"},
        {L"Escape.dll", L"<InstallPath>\\Lang\\.\\x"},
        {L"Escape.dll", L"<installpath>\\Lang"},   // no token: a relative path
        {L"Escape.dll", L"Lang"},
        {L"Escape.dll", L""},
        {L"Escape.dll", L"\\Lang"},
        {L"Escape.dll", L"<InstallPath>\\a|b"},
        {L"NUL", L"<InstallPath>"},
        {L"nul.txt", L"<InstallPath>"},
        {L"Com1.dll", L"<InstallPath>"},
        {L"LPT9", L"<InstallPath>"},
        {L"CON .dll", L"<InstallPath>"},
        {L"Escape.dll", L"<InstallPath>\\aux"},
    };
    for (const auto& [source, destination] : refused) {
        recorder_.events.clear();
        const std::vector<PayloadFile> files = {{L"first.dat", L"<InstallPath>\\Sub", FileKind::LanguageLibrary, "first"},
                                                {source, destination, FileKind::LanguageLibrary, "escape"}};
        EXPECT_FALSE(Extract(CompressedPayload(files))) << kv::to_utf8(destination) << " " << kv::to_utf8(source);
        EXPECT_EQ(recorder_.Failure().code, kUnexpected);
        ExpectNothingWritten();
    }

    // One character short of MAX_PATH is written; one more is refused.
    const std::wstring folder = folder_ / L"Deep";
    const std::wstring name(MAX_PATH - 1 - folder.size() - 1, L'n');
    recorder_.events.clear();
    EXPECT_FALSE(Extract(CompressedPayload({{name + L"n", folder, FileKind::LanguageLibrary, "long"}})));
    EXPECT_EQ(recorder_.Failure().code, kUnexpected);
    ExpectNothingWritten();
    // An absolute destination without a token stays allowed; so do names that only look
    // like devices.
    EXPECT_TRUE(Extract(CompressedPayload({{name, folder, FileKind::LanguageLibrary, "long"},
                                           {L"CONSOLE.dll", folder_ / L"Absolute", FileKind::LanguageLibrary, "abs"},
                                           {L"COM10.dat", L"<InstallPath>", FileKind::LanguageLibrary, "x"}})));
    EXPECT_TRUE(testing_support::Exists(folder + L"\\" + name));
    EXPECT_TRUE(testing_support::Exists(folder_ / L"Absolute\\CONSOLE.dll"));
}

TEST_F(ExtractionTest, MissingShellFolderFailsBeforeAnythingIsWritten)
{
    ExtractionServices services;
    services.shellFolder = [](int) { return std::wstring(); };
    const std::vector<PayloadFile> files = {{L"a.dat", L"<InstallPath>", FileKind::LanguageLibrary, "abc"},
                                            {L"b.kvl", L"<CommonData>\\Korvane", FileKind::SharedData, "def"}};
    EXPECT_FALSE(Extract(CompressedPayload(files), services));
    EXPECT_EQ(recorder_.Failure().code, kUnexpected);
    EXPECT_EQ(recorder_.Failure().path, L"");
    ExpectNothingWritten();
}

// Records the grants instead of changing access lists, which Wine does not keep.
struct GrantRecord {
    std::wstring path;
    DWORD accessMask;
    BYTE aceFlags;
    bool operator==(const GrantRecord&) const = default;
};

TEST_F(ExtractionTest, EachRegisteredFolderIsGrantedOnceWhenItsFirstFileIsCreated)
{
    const std::wstring data = folder_ / L"ProgramData";
    const std::wstring desktop = folder_ / L"Desktop";
    std::vector<GrantRecord> grants;
    std::vector<std::size_t> grantsAtFileBegin;
    std::map<int, int> questions;
    ExtractionServices services;
    services.shellFolder = [&](int csidl) {
        ++questions[csidl];
        return csidl == 0x23 ? data : csidl == 0x19 ? desktop : L"";
    };
    services.grantRights = [&](const std::wstring& path, DWORD mask, BYTE flags) {
        grants.push_back({path, mask, flags});
        return true;
    };
    recorder_.answer = [&](const notification& message) {
        if (std::holds_alternative<notification::file_begin>(message))
            grantsAtFileBegin.push_back(grants.size());
        return result::proceed;
    };

    const std::vector<PayloadFile> files = {
        {L"a.kvl", L"<CommonData>\\Korvane\\Tavelo 7", FileKind::SharedData, "a"},
        {L"b.kvl", L"<CommonData>\\Korvane\\Tavelo 7", FileKind::SharedData, "b"},
        {L"c.kvm", L"<CommonData>\\Korvane\\Materials", FileKind::SharedData, "c"},
        {L"d.ktx", L"<CommonData>\\Korvane\\Textures\\Tavelo 7", FileKind::SampleData, "d"},
        {L"e.tvp", L"<SamplePath>", FileKind::SampleData, "e"},
        {L"f.tvp", L"<SamplePath>\\Kitchen", FileKind::SampleData, "f"},
    };
    const std::string archive = CompressedPayload(files);
    kv::imemstream archiveStream(archive.data(), archive.size());
    ASSERT_TRUE(ExtractPayload(archiveStream, folder_ / L"Install", L"Tavelo Examples", L"",
                               VerifyingHandler(archiveStream, recorder_), services));

    const DWORD full = 0x1F01FF;
    EXPECT_EQ(grants, (std::vector<GrantRecord>{{data + L"\\Korvane", full, 3},
                                                {data + L"\\Korvane\\Tavelo 7", full, 3},
                                                {data + L"\\Korvane\\Materials", full, 3},
                                                {data + L"\\Korvane\\Textures", full, 3},
                                                {data + L"\\Korvane\\Textures\\Tavelo 7", full, 3},
                                                {desktop + L"\\Tavelo Examples", full, 3}}));
    EXPECT_EQ(grantsAtFileBegin, (std::vector<std::size_t>{0, 2, 2, 3, 5, 6}))
        << "each grant comes with the first file created at or below its folder";
    EXPECT_EQ(questions, (std::map<int, int>{{0x19, 1}, {0x23, 1}})) << "the shell is asked once for each folder";
    EXPECT_EQ(FileContent(desktop + L"\\Tavelo Examples\\Kitchen\\f.tvp"), "f");
}

TEST_F(ExtractionTest, FailedGrantEndsTheExtractionWithItsHresult)
{
    ExtractionServices services;
    services.shellFolder = [&](int) { return folder_ / L"ProgramData"; };
    services.grantRights = [](const std::wstring&, DWORD, BYTE) -> bool {
        throw kv::security::make_error(ERROR_ACCESS_DENIED);
    };
    const std::vector<PayloadFile> files = {{L"a.dat", L"<InstallPath>", FileKind::LanguageLibrary, "a"},
                                            {L"b.kvl", L"<CommonData>\\Korvane", FileKind::SharedData, "b"},
                                            {L"c.dat", L"<InstallPath>", FileKind::LanguageLibrary, "c"}};
    EXPECT_FALSE(Extract(CompressedPayload(files), services));
    const Event failure = recorder_.Failure();
    EXPECT_EQ(failure.code, std::error_code(static_cast<int>(0x80070005), std::system_category()));
    EXPECT_EQ(failure.path, folder_ / L"ProgramData\\Korvane\\b.kvl");
    EXPECT_FALSE(FileContent(folder_ / L"c.dat"));
    EXPECT_EQ(recorder_.Count(1), 0u);
}

TEST_F(ExtractionTest, RealGrantOnTheMachineLetsTheExtractionSucceed)
{
    ExtractionServices services;
    services.shellFolder = [&](int) { return folder_ / L"ProgramData"; };
    EXPECT_TRUE(Extract(CompressedPayload({{L"b.kvl", L"<CommonData>\\Korvane", FileKind::SharedData, "b"}}), services));
    EXPECT_EQ(FileContent(folder_ / L"ProgramData\\Korvane\\b.kvl"), "b");
}

TEST(ExtractPayload, NeedsAHandler)
{
    kv::imemstream stream;
    EXPECT_THROW(ExtractPayload(stream, L"C:\\x", L"", L"", nullptr), std::invalid_argument);
}

// Holds a file open so that others cannot read it, until release() or destruction.
class FileHolder {
public:
    explicit FileHolder(const std::wstring& path)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~FileHolder()
    {
        if (releaser_.joinable())
            releaser_.join();
    }
    bool held() const { return static_cast<bool>(handle_); }
    void ReleaseAfter(std::chrono::milliseconds delay)
    {
        releaser_ = std::thread([this, delay] {
            std::this_thread::sleep_for(delay);
            handle_.reset();
        });
    }

private:
    kv::unique_file handle_;
    std::thread releaser_;
};

TEST(ReadBackCrc, SharingViolationHeldForTwoSecondsIsWaitedOutGivingTheCallerItsTurns)
{
    testing_support::TemporaryFolder folder;
    const std::wstring path = folder / L"scanned.dat";
    testing_support::WriteFileBytes(path, {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    FileHolder holder(path);
    ASSERT_TRUE(holder.held());
    holder.ReleaseAfter(std::chrono::milliseconds(2000));

    const auto start = std::chrono::steady_clock::now();
    int turns = 0;
    EXPECT_EQ(ReadBackCrc(path, [&] { ++turns; }), 0xCBF43926u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    // The caller's thread (the wizard's) answers its messages while the read-back waits: a
    // turn every 20 ms of each second's wait, counted rather than timed, which a loaded
    // machine would stretch.
    EXPECT_GE(turns, 100);
    EXPECT_EQ(turns % 50, 0);
}

TEST(ReadBackCrc, GivesTheCallerATurnBetweenTheBlocksItReads)
{
    testing_support::TemporaryFolder folder;
    const std::wstring path = folder / L"large.dat";
    testing_support::WriteFileBytes(path, std::vector<std::uint8_t>(3 * 4096 + 1, 0x5A));
    int turns = 0;
    ReadBackCrc(path, [&] { ++turns; });
    EXPECT_EQ(turns, 3) << "four blocks";
}

TEST(ReadBackCrc, FourthSharingViolationGoesUpAsTheSystemError)
{
    testing_support::TemporaryFolder folder;
    const std::wstring path = folder / L"held.dat";
    testing_support::WriteFileBytes(path, {1});
    FileHolder holder(path);
    ASSERT_TRUE(holder.held());

    const auto start = std::chrono::steady_clock::now();
    try {
        ReadBackCrc(path);
        FAIL() << "read a file another process holds";
    } catch (const std::ios_base::failure& error) {
        EXPECT_EQ(error.code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
        EXPECT_EQ(ExtractionErrorCode(error), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900)) << "three retries";
}

TEST(ReadBackCrc, MissingFileFailsAtOnce)
{
    try {
        ReadBackCrc(L"C:\\no such folder\\file.dat");
        FAIL() << "read a missing file";
    } catch (const std::ios_base::failure& error) {
        EXPECT_EQ(error.code().category(), std::system_category());
        EXPECT_EQ(error.code().value(), ERROR_PATH_NOT_FOUND);
    }
}

TEST(ExtractionErrorCode, CategoriesAreMappedInOrder)
{
    errno = 0;
    _doserrno = 0;
    EXPECT_EQ(ExtractionErrorCode(boost::iostreams::bzip2_error(-4)), compress_errc::bzip2_failure);
    EXPECT_EQ(ExtractionErrorCode(std::system_error(compress_errc::invalid_checksum)), compress_errc::invalid_checksum);

    const std::ios_base::failure stream("stream", std::make_error_code(std::io_errc::stream));
    EXPECT_EQ(ExtractionErrorCode(stream), std::make_error_code(std::io_errc::stream))
        << "without an error of the C runtime, its own code";
    errno = ENOSPC;
    EXPECT_EQ(ExtractionErrorCode(stream), std::error_code(ENOSPC, std::generic_category()));
    _doserrno = ERROR_DISK_FULL;
    EXPECT_EQ(ExtractionErrorCode(stream), std::error_code(ERROR_DISK_FULL, std::system_category()));
    EXPECT_EQ(ExtractionErrorCode(boost::iostreams::bzip2_error(-4)), compress_errc::bzip2_failure)
        << "a bzip2 error is no C runtime failure";
    errno = 0;
    _doserrno = 0;

    using boost::system::system_error;
    EXPECT_EQ(ExtractionErrorCode(system_error(5, boost::system::system_category())),
              std::error_code(5, std::system_category()));
    EXPECT_EQ(ExtractionErrorCode(system_error(ENOENT, boost::system::generic_category())),
              std::error_code(ENOENT, std::generic_category()));
    EXPECT_EQ(ExtractionErrorCode(boost::filesystem::filesystem_error(
                  "x", boost::system::error_code(3, boost::system::system_category()))),
              std::error_code(3, std::system_category()));

    class other_category : public boost::system::error_category {
        const char* name() const noexcept override { return "other"; }
        std::string message(int) const override { return "other"; }
    };
    static const other_category other;
    EXPECT_EQ(ExtractionErrorCode(system_error(1, other)), kUnexpected);
    EXPECT_EQ(ExtractionErrorCode(std::bad_alloc()), kUnexpected);
    EXPECT_EQ(ExtractionErrorCode(std::runtime_error("x")), kUnexpected);
}

TEST(CompressCategory, NamesAndMessages)
{
    EXPECT_STREQ(compress_category().name(), "compress");
    EXPECT_EQ(std::error_code(compress_errc::invalid_checksum).message(), "invalid checksum");
    EXPECT_EQ(std::error_code(compress_errc::damaged_archive).message(), "unknown error");
    EXPECT_EQ(std::error_code(compress_errc::interrupted).message(), "interrupted");
    EXPECT_EQ(std::error_code(compress_errc::bzip2_failure).message(), "bzip2 error");
    EXPECT_EQ(std::error_code(compress_errc::unexpected).message(), "unexpected error");
    EXPECT_EQ(std::error_code(8, compress_category()).message(), "unknown error");
    try {
        throw_compress_error(compress_errc::interrupted);
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), 5);
    }
}

} // namespace
