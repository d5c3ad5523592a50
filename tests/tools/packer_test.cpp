// The packer writes what the installer reads: build, list, verify and extract.
#include "payload/extraction.h"
#include "payload/payload_format.h"
#include "program_runner.h"
#include "support/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using tools_testing::Quoted;
using tools_testing::RunProgram;

namespace {

void WriteText(const std::wstring& path, const std::string& text)
{
    std::ofstream(path.c_str(), std::ios::binary) << text;
}

using testing_support::Exists;

class PackerTest : public testing::Test {
protected:
    PackerTest()
    {
        ::CreateDirectoryW((folder_ / L"sub").c_str(), nullptr);
        for (std::size_t i = 0; i < 100000; ++i)
            binary_ += static_cast<char>(i * 31 + i / 1000);
        WriteText(folder_ / L"a.txt", "hello");
        WriteText(folder_ / L"sub\\b.bin", binary_);
        WriteText(folder_ / L"empty.dat", "");
    }

    tools_testing::ProgramResult Packer(const std::wstring& arguments)
    {
        return RunProgram(Quoted(testing_support::BuiltFile(L"TAVELO_PACKER")) + L" " + arguments);
    }

    tools_testing::ProgramResult Build(const std::string& manifest)
    {
        WriteText(manifest_, manifest);
        return Packer(L"build " + Quoted(manifest_) + L" " + Quoted(archive_));
    }

    const std::string goodManifest_ =
        "# a test payload\n"
        "folder <InstallPath>\n"
        "MainProgram     a.txt\n"
        "\n"
        "folder <InstallPath>\\Data Files\r\n"
        "SharedData      sub/b.bin\n"
        "SampleData      empty.dat\n";

    testing_support::TemporaryFolder folder_;
    std::string binary_;
    std::wstring manifest_ = folder_ / L"manifest.txt";
    std::wstring archive_ = folder_ / L"payload.bz2";
};

TEST_F(PackerTest, BuildListVerifyAndExtractAgree)
{
    const auto built = Build(goodManifest_);
    ASSERT_EQ(built.exitCode, 0) << built.output;
    const std::string archive = testing_support::ReadFileText(archive_);
    EXPECT_EQ(archive.substr(0, 4), "BZh9") << "bzip2 with 900 kB blocks";

    const std::vector<PayloadEntry> entries = {
        {L"a.txt", L"<InstallPath>", FileKind::MainProgram, 5, PayloadCrc32("hello", 5)},
        {L"sub/b.bin", L"<InstallPath>\\Data Files", FileKind::SharedData, binary_.size(),
         PayloadCrc32(binary_.data(), binary_.size())},
        {L"empty.dat", L"<InstallPath>\\Data Files", FileKind::SampleData, 0, 0}};
    const std::string header = payload_format::HeaderBytes(entries);
    EXPECT_EQ(payload_format::Compress(header + "hello" + binary_), archive) << "the layout the installer reads";

    const auto listed = Packer(L"list " + Quoted(archive_));
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.output.find("<InstallPath>\\Data Files\\b.bin  <- sub/b.bin"), std::string::npos)
        << listed.output;
    EXPECT_NE(listed.output.find("entries: 3\n"
                                 "by kind: LanguageLibrary 0, MainProgram 1, Uninstaller 0, SharedData 1, "
                                 "SampleData 1, TemporaryFile 0\n"
                                 "headerSize: " + std::to_string(header.size()) + "\n"
                                 "total size: " + std::to_string(header.size() + 5 + binary_.size()) + "\n"),
              std::string::npos)
        << listed.output;

    const auto verified = Packer(L"verify " + Quoted(archive_));
    EXPECT_EQ(verified.exitCode, 0);
    EXPECT_EQ(verified.output, "OK: 3 files, " + std::to_string(header.size() + 5 + binary_.size())
                                   + " bytes, every CRC-32 matches\n");

    testing_support::TemporaryFolder target;
    kv::imemstream stream(archive.data(), archive.size());
    EXPECT_TRUE(ExtractPayload(stream, target.path(), L"", L"",
                               [](notification) { return notification::result::proceed; }));
    EXPECT_EQ(testing_support::ReadFileText(target / L"a.txt"), "hello");
    EXPECT_EQ(testing_support::ReadFileText(target / L"Data Files\\b.bin"), binary_);
    EXPECT_TRUE(Exists(target / L"Data Files\\empty.dat"));
}

TEST_F(PackerTest, BadManifestIsRefusedWithItsLineAndNoArchive)
{
    const std::pair<std::string, std::string> cases[] = {
        {"folder <InstallPath>\nMainProgram a.txt\nSharedata sub/b.bin\n", "manifest.txt:3: \"Sharedata\""},
        {"MainProgram a.txt\n", "manifest.txt:1: a file line before any \"folder\" line"},
        {"folder <InstallPath>\nSharedData\n", "manifest.txt:2: the file line names no source file"},
        {"folder <InstallPath>\nSharedData sub/..\n", "manifest.txt:2: \"sub/..\" does not end in a usable file name"},
        {"folder <InstallPath>\\..\\..\\windows\nSharedData a.txt\n",
         "manifest.txt:2: the destination \"<InstallPath>\\..\\..\\windows\" of \"a.txt\" holds a \".\" or \"..\" element"},
        {"folder <installpath>\\Lang\nSharedData a.txt\n",
         "manifest.txt:2: the destination \"<installpath>\\Lang\" of \"a.txt\" is not an absolute path"},
        {"folder C:\\" + std::string(260, 'x') + "\nSharedData a.txt\n",
         "manifest.txt:2: the destination \"C:\\" + std::string(260, 'x') + "\" of \"a.txt\" makes a path of 260 characters"},
        {"folder <InstallPath>\nSharedData NUL\n", "manifest.txt:2: the destination \"<InstallPath>\" of \"NUL\" names a device"},
    };
    for (const auto& [manifest, message] : cases) {
        const auto result = Build(manifest);
        EXPECT_EQ(result.exitCode, 2) << manifest;
        EXPECT_NE(result.output.find("packer: " + message), std::string::npos) << result.output;
        EXPECT_FALSE(Exists(archive_));
    }
}

TEST_F(PackerTest, MissingSourceFileIsNamed)
{
    const auto result = Build("folder <InstallPath>\nMainProgram a.txt\nSharedData sub/missing.bin\n");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.output.find("manifest.txt:3: cannot read the source file"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("missing.bin"), std::string::npos) << result.output;
    EXPECT_FALSE(Exists(archive_));
}

TEST_F(PackerTest, DamagedArchivesAreRefused)
{
    ASSERT_EQ(Build(goodManifest_).exitCode, 0);
    const std::string good = testing_support::ReadFileText(archive_);

    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x04;
    const std::vector<PayloadEntry> wrongCrc = {{L"a.txt", L"<InstallPath>", FileKind::LanguageLibrary, 5, 0xDEADBEEF}};
    const std::vector<PayloadEntry> one = {{L"a.txt", L"<InstallPath>", FileKind::LanguageLibrary, 5, PayloadCrc32("hello", 5)}};
    const std::pair<std::string, std::string> cases[] = {
        // The damaged block may be decompressed, up to its checksum, into nonsense first.
        {flipped, "packer: damaged archive"},
        {good.substr(0, good.size() - 10), "the bzip2 data is damaged or truncated"},
        {payload_format::Compress(payload_format::HeaderBytes(wrongCrc) + "hello"),
         "entry 0 (a.txt): CRC-32 3610a686, its record says deadbeef"},
        {payload_format::Compress(payload_format::HeaderBytes(one) + "hello!"), "1 bytes follow the last file"},
        {payload_format::Compress(payload_format::HeaderBytes(one) + "hell"),
         "the stream ends 1 bytes before the last file is complete"},
        {payload_format::Compress(payload_format::HeaderBytes(one).substr(0, 20)), "it ends within its header"},
    };
    for (const auto& [archive, message] : cases) {
        WriteText(archive_, archive);
        const auto result = Packer(L"verify " + Quoted(archive_));
        EXPECT_EQ(result.exitCode, 4) << message;
        EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
    }
    const auto missing = Packer(L"verify " + Quoted(folder_ / L"none.bz2"));
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_NE(missing.output.find("cannot read the archive"), std::string::npos);
}

TEST_F(PackerTest, WrongArgumentsShowTheUsage)
{
    for (const wchar_t* arguments : {L"", L"pack a b", L"list", L"build onlyone"}) {
        const auto result = Packer(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.output.rfind("usage: packer build MANIFEST OUT", 0), 0u) << result.output;
    }
}

} // namespace
