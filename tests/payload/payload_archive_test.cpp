#include "payload/payload_archive.h"

#include "payload/compress_error.h"
#include "payload/extraction.h"
#include "payload/payload_format.h"
#include "payload_test_support.h"
#include "product/languages.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <boost/iostreams/filter/bzip2.hpp>

#include <cstdlib>
#include <cstring>
#include <utility>

using namespace payload_testing;

namespace {

std::string Bytes(std::initializer_list<unsigned> values)
{
    std::string bytes;
    for (unsigned value : values)
        bytes.push_back(static_cast<char>(value));
    return bytes;
}

// Throws unless reading the header refuses it as an unexpected error.
void ExpectRefused(const std::string& header, const char* why)
{
    try {
        ReadPayloadHeader(header.data(), header.size());
        ADD_FAILURE() << "accepted a header with " << why;
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), compress_errc::unexpected) << why;
    }
}

TEST(PayloadCrc, IsTheCrc32OfZlibAndPng)
{
    EXPECT_EQ(PayloadCrc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(PayloadCrc32("", 0), 0x00000000u);
    EXPECT_EQ(PayloadCrc32("\0", 1), 0xD202EF8Du);
}

TEST(PayloadFormat, ArchiveWithoutEntriesIsTwelveBytes)
{
    EXPECT_EQ(payload_format::HeaderBytes({}), Bytes({0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PayloadFormat, RecordLayoutIsLittleEndianWithStringsInCodeUnits)
{
    PayloadEntry entry;
    entry.source = L"D:\\b\\T\u00e9.exe";   // 11 code units
    entry.destination = L"<InstallPath>";  // 13 code units: 4 + 26 bytes
    entry.kind = FileKind::MainProgram;
    entry.size = 0x0102030405ull;
    entry.crc = 0xAABBCCDDu;
    const std::string header = payload_format::HeaderBytes({entry});

    const std::size_t record = 24 + 2 * 11 + 2 * 13;
    ASSERT_EQ(header.size(), 12 + record);
    EXPECT_EQ(header.substr(0, 12), Bytes({12 + record, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(header.substr(12, 4), Bytes({11, 0, 0, 0}));
    EXPECT_EQ(header.substr(16 + 2 * 6, 4), Bytes({0xE9, 0, '.', 0}));   // "é." as UTF-16LE
    const std::size_t destination = 16 + 2 * 11;
    EXPECT_EQ(header.substr(destination, 6), Bytes({13, 0, 0, 0, '<', 0}));
    const std::size_t fixed = destination + 4 + 26;
    EXPECT_EQ(header.substr(fixed), Bytes({1, 0, 0, 0, 5, 4, 3, 2, 1, 0, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA}));
}

TEST(PayloadHeader, ReadsBackTheRecordsItWasWrittenWith)
{
    PayloadEntry first{L"C:\\build\\Tavelo.exe", L"<InstallPath>", FileKind::MainProgram, 705111, 0xFB233EED};
    PayloadEntry empty{L"x", L"", payload_format::KindOfField(9), 0, 0};   // empty destination, unknown kind
    const std::string header = payload_format::HeaderBytes({first, empty});

    const PayloadArchive archive = ReadPayloadHeader(header.data(), header.size());
    EXPECT_EQ(archive.headerSize, header.size());
    ASSERT_EQ(archive.entries.size(), 2u);
    EXPECT_EQ(archive.entries[0].source, first.source);
    EXPECT_EQ(archive.entries[0].destination, first.destination);
    EXPECT_EQ(archive.entries[0].kind, FileKind::MainProgram);
    EXPECT_EQ(archive.entries[0].size, 705111u);
    EXPECT_EQ(archive.entries[0].crc, 0xFB233EEDu);
    EXPECT_EQ(archive.entries[1].destination, L"");
    EXPECT_EQ(payload_format::KindField(archive.entries[1].kind), 9u);
    EXPECT_EQ(archive.TotalSize(), header.size() + 705111u);
}

TEST(PayloadHeader, HeaderThatDoesNotHoldTogetherIsRefused)
{
    const PayloadEntry entry{L"a.dat", L"<InstallPath>", FileKind::SharedData, 3, 0};
    const std::string good = payload_format::HeaderBytes({entry});

    std::string sizeMismatch = good;
    sizeMismatch[0] = static_cast<char>(good.size() + 1);
    ExpectRefused(sizeMismatch, "a size field that is not its length");

    std::string recordsRunPast = good;
    recordsRunPast[8] = 2;   // two records announced, one present
    ExpectRefused(recordsRunPast, "records running past its end");

    std::string recordsEndEarly = good + "xy";
    recordsEndEarly[0] = static_cast<char>(recordsEndEarly.size());
    ExpectRefused(recordsEndEarly, "records ending before its end");

    std::string hugeString = good;
    std::memcpy(hugeString.data() + 12, "\xFF\xFF\xFF\x7F", 4);
    ExpectRefused(hugeString, "a string length that cannot fit");

    std::string hugeCount = good;
    std::memcpy(hugeCount.data() + 8, "\xFF\xFF\xFF\xFF", 4);
    ExpectRefused(hugeCount, "an entry count that cannot fit");

    const PayloadEntry huge{L"b.dat", L"", FileKind::SharedData, ~0ull - 10, 0};
    const std::string overflow = payload_format::HeaderBytes({entry, huge});
    ExpectRefused(overflow, "sizes whose sum overflows");

    ExpectRefused(good.substr(0, 11), "fewer than 12 bytes");
}

TEST(PayloadHeader, FileNamesThatCouldLeaveTheirFolderAreRefused)
{
    for (const wchar_t* source : {L"", L"C:\\build\\", L".", L"..", L"C:\\build\\..", L"../..", L"data:stream",
                                  L"C:\\build\\C:", L"tab\there", L"line\nbreak", L"nul\x01"}) {
        const std::string header = payload_format::HeaderBytes({{source, L"<InstallPath>", FileKind::SharedData, 0, 0}});
        ExpectRefused(header, "an unsafe file name");
    }
    for (const wchar_t* source : {L"Tavelo.de.dll", L"C:\\build/Tavelo.exe", L"..data", L"Sample 01 - Kitchen.tvp"}) {
        const std::string header = payload_format::HeaderBytes({{source, L"<InstallPath>", FileKind::SharedData, 0, 0}});
        EXPECT_NO_THROW(ReadPayloadHeader(header.data(), header.size())) << kv::to_utf8(source);
    }
}

TEST(PayloadHeader, FileNameIsTheLastComponentOfTheSource)
{
    EXPECT_EQ(PayloadFileName(L"C:\\build\\lang\\Tavelo.de.dll"), L"Tavelo.de.dll");
    EXPECT_EQ(PayloadFileName(L"/build/lang/Tavelo.de.dll"), L"Tavelo.de.dll");
    EXPECT_EQ(PayloadFileName(L"C:\\build/mixed\\x/Tavelo.exe"), L"Tavelo.exe");
    EXPECT_EQ(PayloadFileName(L"Tavelo.exe"), L"Tavelo.exe");
}

TEST(VerifyPayload, IntactArchiveIsReadToItsEnd)
{
    const std::string archive = CompressedPayload({{L"a", L"<InstallPath>", FileKind::LanguageLibrary, "alpha"}});
    kv::imemstream stream(archive.data(), archive.size());
    EXPECT_TRUE(VerifyPayload(stream));
    EXPECT_TRUE(stream.eof());
    stream.clear();
    stream.seekg(0);
    EXPECT_TRUE(VerifyPayload(stream)) << "the stream can be verified again after a rewind";
}

TEST(VerifyPayload, DamagedTruncatedOrEmptyStreamsRaiseABzip2Error)
{
    const std::string archive = CompressedPayload({{L"a", L"<InstallPath>", FileKind::LanguageLibrary, std::string(5000, 'x')}});
    std::string damaged = archive;
    damaged[damaged.size() / 2] ^= 0x10;
    const std::string truncated = archive.substr(0, archive.size() - 1);
    for (const std::string* bytes : {&std::as_const(damaged), &truncated}) {
        kv::imemstream stream(bytes->data(), bytes->size());
        EXPECT_THROW(VerifyPayload(stream), boost::iostreams::bzip2_error);
    }
    kv::imemstream empty;
    EXPECT_THROW(VerifyPayload(empty), boost::iostreams::bzip2_error);
}

// OpenPayloadStream looks in the language's resource module, then in the executable.
class OpenPayloadStreamTest : public testing::Test {
protected:
    void TearDown() override { GetLanguageState().resourceModule = saved_; }

    // A copy of the blank module with the given bytes as its payload resource, or none.
    HMODULE ResourceModule(const std::string* payload)
    {
        const std::wstring copy = folder_ / L"language.dll";
        EXPECT_TRUE(::CopyFileW(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE").c_str(), copy.c_str(), FALSE));
        if (payload) {
            const HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
            EXPECT_NE(update, nullptr);
            EXPECT_TRUE(::UpdateResourceW(update, MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), 0,
                                          const_cast<char*>(payload->data()), static_cast<DWORD>(payload->size())));
            EXPECT_TRUE(::EndUpdateResourceW(update, FALSE));
        }
        module_.reset(::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        EXPECT_TRUE(module_);
        return module_.get();
    }

    const HMODULE saved_ = GetLanguageState().resourceModule;
    testing_support::TemporaryFolder folder_;
    kv::unique_module module_;
};

TEST_F(OpenPayloadStreamTest, ReadsTheResourceOfTheLanguageModuleInPlace)
{
    const std::string archive = CompressedPayload({{L"a", L"<InstallPath>", FileKind::LanguageLibrary, "alpha"}});
    GetLanguageState().resourceModule = ResourceModule(&archive);

    kv::imemstream stream = OpenPayloadStream();
    ASSERT_EQ(stream.size(), archive.size());
    EXPECT_EQ(std::string(stream.data(), stream.size()), archive);
    EXPECT_TRUE(VerifyPayload(stream));
}

TEST_F(OpenPayloadStreamTest, ModuleWithoutTheResourceGivesAnEmptyStreamThatFailsAsBzip2Error)
{
    // Neither the language module nor this test program carries a payload.
    GetLanguageState().resourceModule = ResourceModule(nullptr);
    kv::imemstream stream = OpenPayloadStream();
    EXPECT_EQ(stream.size(), 0u);

    testing_support::TemporaryFolder target;
    Recorder recorder;
    EXPECT_FALSE(ExtractPayload(stream, target.path(), L"", L"", VerifyingHandler(stream, recorder)));
    EXPECT_EQ(recorder.Failure().code, compress_errc::bzip2_failure);
    EXPECT_EQ(recorder.Failure().path, L"");
    EXPECT_TRUE(HoldsNoFile(target.path()));
}

TEST_F(OpenPayloadStreamTest, WithoutLanguageModuleTheExecutableBecomesIt)
{
    GetLanguageState().resourceModule = nullptr;
    OpenPayloadStream();
    EXPECT_EQ(GetLanguageState().resourceModule, ::GetModuleHandleW(nullptr));
}

// The executable is searched when the language module lacks the archive: a copy of this
// test program with an archive added runs the child test below.
TEST_F(OpenPayloadStreamTest, FallsBackToTheExecutable)
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring copy = folder_ / L"with_payload.exe";
    ASSERT_TRUE(::CopyFileW(self, copy.c_str(), FALSE));
    const std::string archive = CompressedPayload({{L"fallback.txt", L"<InstallPath>", FileKind::LanguageLibrary, "found"}});
    const HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(::UpdateResourceW(update, MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), 0,
                                  const_cast<char*>(archive.data()), static_cast<DWORD>(archive.size())));
    ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));

    std::wstring commandLine = L"\"" + copy + L"\" --gtest_filter=OpenPayloadStreamChild.*";
    ::SetEnvironmentVariableW(L"TAVELO_PAYLOAD_CHILD_SIZE", std::to_wstring(archive.size()).c_str());
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::SetEnvironmentVariableW(L"TAVELO_PAYLOAD_CHILD_SIZE", nullptr);
    ASSERT_TRUE(started);
    kv::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    ASSERT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the child test failed";
}

TEST(OpenPayloadStreamChild, FindsTheArchiveOfTheExecutable)
{
    const wchar_t* expected = _wgetenv(L"TAVELO_PAYLOAD_CHILD_SIZE");
    if (!expected)
        GTEST_SKIP() << "runs only in the copy that FallsBackToTheExecutable makes";
    testing_support::TemporaryFolder folder;
    const std::wstring blank = folder / L"blank.dll";
    ASSERT_TRUE(::CopyFileW(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE").c_str(), blank.c_str(), FALSE));
    kv::unique_module language(::LoadLibraryExW(blank.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(language);
    GetLanguageState().resourceModule = language.get();

    kv::imemstream stream = OpenPayloadStream();
    EXPECT_EQ(stream.size(), std::wcstoul(expected, nullptr, 10));
    EXPECT_TRUE(VerifyPayload(stream));
    EXPECT_EQ(GetLanguageState().resourceModule, language.get()) << "the language module stays as it was";
}

} // namespace
