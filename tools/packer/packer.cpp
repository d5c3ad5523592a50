// The payload packer: builds the installer's payload archive from a manifest, lists an
// archive and verifies one. It uses the installer's own format code, so that what it
// writes is exactly what the installer reads.
//
//   packer build MANIFEST OUT   pack the files the manifest lists into the archive OUT
//   packer list ARCHIVE         entries, counts by kind, headerSize and total size
//   packer verify ARCHIVE       every file's CRC-32 and the exact length of the stream
//
// The manifest is UTF-8 text. Empty lines and lines starting with "#" are ignored.
// "folder DESTINATION" sets the destination folder (usually starting with a path token
// such as <InstallPath>) of the file lines below it. A file line is "KIND SOURCE": KIND is
// one of LanguageLibrary, MainProgram, Uninstaller, SharedData, SampleData, TemporaryFile;
// SOURCE is the file's path, relative to the manifest's folder unless absolute, and is
// stored in the archive as written. Files are packed in manifest order.
//
// Exit codes: 0 success, 1 wrong arguments, 2 bad manifest, 3 source file missing or
// unreadable, 4 damaged or unreadable archive, 5 the output cannot be written.
#include "payload/compress_error.h"
#include "payload/decompression.h"
#include "payload/path_tokens.h"
#include "payload/payload_archive.h"
#include "payload/payload_format.h"
#include "support/strings.h"

#include <windows.h>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace {

enum ExitCode : int {
    kSuccess = 0,
    kUsage = 1,
    kBadManifest = 2,
    kBadSource = 3,
    kBadArchive = 4,
    kCannotWrite = 5,
};

// A failure with the message to print and the exit code it ends the program with.
struct PackerError {
    int exitCode;
    std::string message;
};

const std::pair<const char*, FileKind> kKinds[] = {
    {"LanguageLibrary", FileKind::LanguageLibrary}, {"MainProgram", FileKind::MainProgram},
    {"Uninstaller", FileKind::Uninstaller},         {"SharedData", FileKind::SharedData},
    {"SampleData", FileKind::SampleData},           {"TemporaryFile", FileKind::TemporaryFile},
};

bool IsKnownKind(FileKind kind)
{
    return std::any_of(std::begin(kKinds), std::end(kKinds), [kind](const auto& known) { return known.second == kind; });
}

std::string KindName(FileKind kind)
{
    for (const auto& [name, value] : kKinds)
        if (value == kind)
            return name;
    return "kind " + std::to_string(static_cast<std::int32_t>(payload_format::KindField(kind)));
}

std::string Utf8(const std::wstring& text)
{
    return kv::to_utf8(text);
}

void Print(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The check the installer makes on every destination once it is expanded, made here on
// stand-in folders, so that a manifest the installer would refuse is refused at build time
// with its line. The real folders are longer than the stand-ins: for a destination that
// starts with a token only the installer can tell a path of 260 characters or more.
const char* ManifestDestinationFault(const PayloadEntry& entry)
{
    DestinationContext context;
    context.installFolder = L"C:\\I";
    context.samplesFolder = L"S";
    context.temporaryFolder = L"C:\\T";
    context.shellFolder = [](int) { return std::wstring(L"C:\\F"); };
    return DestinationFault(JoinPath(ExpandDestination(context, entry.destination), PayloadFileName(entry.source)));
}

// One file of the manifest.
struct ManifestFile {
    PayloadEntry entry;   // source as written, destination, kind
    fs::path path;        // where the packer reads it
    std::string where;    // "manifest.txt:12", for messages
};

std::vector<ManifestFile> ReadManifest(const std::wstring& manifestPath)
{
    std::ifstream in(manifestPath.c_str(), std::ios::binary);
    if (!in)
        throw PackerError{kBadManifest, "cannot read the manifest " + Utf8(manifestPath)};
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);

    const fs::path manifest(manifestPath);
    const fs::path base = manifest.parent_path();
    const std::string name = Utf8(manifest.filename().wstring());
    std::vector<ManifestFile> files;
    std::wstring destination;
    bool haveFolder = false;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string where = name + ":" + std::to_string(number);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.find_first_of(" \t");
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));
        if (word == "folder") {
            destination = kv::from_utf8(rest);
            haveFolder = true;
            continue;
        }

        const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                       [&](const auto& k) { return word == k.first; });
        if (kind == std::end(kKinds))
            throw PackerError{kBadManifest, where + ": \"" + word
                                                + "\" is neither \"folder\" nor a file kind (LanguageLibrary, "
                                                  "MainProgram, Uninstaller, SharedData, SampleData, TemporaryFile)"};
        if (!haveFolder)
            throw PackerError{kBadManifest, where + ": a file line before any \"folder\" line"};
        if (rest.empty())
            throw PackerError{kBadManifest, where + ": the file line names no source file"};

        ManifestFile file;
        file.entry.source = kv::from_utf8(rest);
        file.entry.destination = destination;
        file.entry.kind = kind->second;
        file.where = where;
        if (!IsSafePayloadFileName(PayloadFileName(file.entry.source)))
            throw PackerError{kBadManifest, where + ": \"" + rest + "\" does not end in a usable file name"};
        if (const char* fault = ManifestDestinationFault(file.entry))
            throw PackerError{kBadManifest, where + ": the destination \"" + Utf8(destination) + "\" of \"" + rest
                                                + "\" " + fault};
        const fs::path source(file.entry.source);
        file.path = source.is_absolute() ? source : base / source;
        files.push_back(std::move(file));
    }
    return files;
}

// Size and CRC-32 of a source file.
void MeasureSource(ManifestFile& file)
{
    std::ifstream in(file.path.wstring().c_str(), std::ios::binary);
    if (!in)
        throw PackerError{kBadSource, file.where + ": cannot read the source file " + Utf8(file.path.wstring())};
    PayloadCrc crc;
    std::uint64_t size = 0;
    std::vector<char> block(1 << 16);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        crc.process_bytes(block.data(), static_cast<std::size_t>(in.gcount()));
        size += static_cast<std::uint64_t>(in.gcount());
    }
    if (in.bad())
        throw PackerError{kBadSource, file.where + ": cannot read the source file " + Utf8(file.path.wstring())};
    file.entry.size = size;
    file.entry.crc = crc.checksum();
}

int Build(const std::wstring& manifestPath, const std::wstring& outputPath)
{
    std::vector<ManifestFile> files = ReadManifest(manifestPath);
    std::vector<PayloadEntry> entries;
    for (ManifestFile& file : files) {
        MeasureSource(file);
        entries.push_back(file.entry);
    }

    std::ofstream out(outputPath.c_str(), std::ios::binary | std::ios::trunc);
    if (!out)
        throw PackerError{kCannotWrite, "cannot create " + Utf8(outputPath)};
    try {
        payload_format::PayloadWriter writer(out, 9);
        writer.WriteHeader(entries);
        std::vector<char> block(1 << 16);
        for (const ManifestFile& file : files) {
            std::ifstream in(file.path.wstring().c_str(), std::ios::binary);
            std::uint64_t copied = 0;
            while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
                writer.Write(block.data(), static_cast<std::size_t>(in.gcount()));
                copied += static_cast<std::uint64_t>(in.gcount());
            }
            if (in.bad() || copied != file.entry.size)
                throw PackerError{kBadSource, file.where + ": the source file changed while it was packed"};
        }
        writer.Finish();
        out.close();
        if (!out)
            throw PackerError{kCannotWrite, "cannot write " + Utf8(outputPath)};
    } catch (const PackerError&) {
        out.close();
        ::DeleteFileW(outputPath.c_str());
        throw;
    } catch (const std::exception& error) {
        out.close();
        ::DeleteFileW(outputPath.c_str());
        throw PackerError{kCannotWrite, "cannot write " + Utf8(outputPath) + ": " + error.what()};
    }

    const std::string header = payload_format::HeaderBytes(entries);
    std::uint64_t total = header.size();
    for (const PayloadEntry& entry : entries)
        total += entry.size;
    Print("packed " + std::to_string(entries.size()) + " files, " + std::to_string(total) + " bytes, into "
          + Utf8(outputPath) + " (" + std::to_string(fs::file_size(fs::path(outputPath))) + " bytes)\n");
    return kSuccess;
}

// Reads a decompressed archive: collects and reads the header, then computes the CRC-32
// of each file's bytes and counts what follows the last file.
class ArchiveScanner {
public:
    std::size_t write(const char* bytes, std::size_t count)
    {
        if (!headerRead_)
            return CollectHeader(bytes, count);
        std::size_t done = 0;
        while (done < count) {
            AdvancePastCompleteEntries();
            if (index_ >= archive_.entries.size()) {
                trailing_ += count - done;
                break;
            }
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, remaining_));
            crc_.process_bytes(bytes + done, n);
            remaining_ -= n;
            done += n;
        }
        return count;
    }

    void finish() { AdvancePastCompleteEntries(); }

    bool headerRead() const { return headerRead_; }
    const PayloadArchive& archive() const { return archive_; }
    const std::vector<std::uint32_t>& crcs() const { return crcs_; }   // of the complete files
    std::uint64_t trailing() const { return trailing_; }
    std::uint64_t missing() const   // bytes the last files lack
    {
        std::uint64_t missing = remaining_;
        for (std::size_t i = index_ + (started_ ? 1 : 0); i < archive_.entries.size(); ++i)
            missing += archive_.entries[i].size;
        return missing;
    }

private:
    std::size_t CollectHeader(const char* bytes, std::size_t count)
    {
        if (header_.size() < payload_format::kSizeFieldBytes) {
            const std::size_t n = std::min(count, payload_format::kSizeFieldBytes - header_.size());
            header_.append(bytes, n);
            if (header_.size() == payload_format::kSizeFieldBytes) {
                headerSize_ = payload_format::ReadLittleEndian(header_.data(), payload_format::kSizeFieldBytes);
                if (headerSize_ < payload_format::kFixedHeaderBytes || headerSize_ > payload_format::kMaxHeaderSize)
                    throw PackerError{kBadArchive, "damaged archive: its header size reads "
                                                       + std::to_string(headerSize_)};
            }
            return n;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, headerSize_ - header_.size()));
        header_.append(bytes, n);
        if (header_.size() == headerSize_) {
            try {
                archive_ = ReadPayloadHeader(header_.data(), header_.size());
            } catch (const std::system_error&) {
                throw PackerError{kBadArchive, "damaged archive: its header does not hold together, or names an "
                                               "unsafe file"};
            }
            headerRead_ = true;
        }
        return n;
    }

    void AdvancePastCompleteEntries()
    {
        while (index_ < archive_.entries.size() && remaining_ == 0) {
            if (started_) {
                crcs_.push_back(crc_.checksum());
                ++index_;
                started_ = false;
            } else {
                crc_.reset();
                remaining_ = archive_.entries[index_].size;
                started_ = true;
            }
        }
    }

    std::string header_;
    std::uint64_t headerSize_ = 0;
    bool headerRead_ = false;
    PayloadArchive archive_;
    std::size_t index_ = 0;
    bool started_ = false;
    std::uint64_t remaining_ = 0;
    PayloadCrc crc_;
    std::vector<std::uint32_t> crcs_;
    std::uint64_t trailing_ = 0;
};

ArchiveScanner ScanArchive(const std::wstring& path, std::uint64_t& compressedBytes)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
        throw PackerError{kBadArchive, "cannot read the archive " + Utf8(path)};
    ArchiveScanner scanner;
    try {
        compressedBytes = DecompressPayload(in, scanner);
    } catch (const boost::iostreams::bzip2_error& error) {
        throw PackerError{kBadArchive, "damaged archive: the bzip2 data is damaged or truncated (bzip2 error "
                                           + std::to_string(error.error()) + ")"};
    }
    scanner.finish();
    if (!scanner.headerRead())
        throw PackerError{kBadArchive, "damaged archive: it ends within its header"};
    return scanner;
}

std::string Hex(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

int List(const std::wstring& path)
{
    std::uint64_t compressedBytes = 0;
    const ArchiveScanner scanner = ScanArchive(path, compressedBytes);
    const PayloadArchive& archive = scanner.archive();

    std::map<FileKind, int> counts;
    std::string listing = "   #  kind              size        CRC-32    file, then its source\n";
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
        const PayloadEntry& entry = archive.entries[i];
        ++counts[entry.kind];
        char line[96];
        std::snprintf(line, sizeof line, "%4u  %-16s %11llu  %s  ", static_cast<unsigned>(i),
                      KindName(entry.kind).c_str(), static_cast<unsigned long long>(entry.size),
                      Hex(entry.crc).c_str());
        listing += line + Utf8(JoinPath(entry.destination, PayloadFileName(entry.source))) + "  <- "
                   + Utf8(entry.source) + "\n";
    }
    std::string byKind;
    for (const auto& [name, kind] : kKinds)
        byKind += (byKind.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(counts[kind]);
    for (const auto& [kind, count] : counts)
        if (!IsKnownKind(kind))
            byKind += ", " + KindName(kind) + " " + std::to_string(count);

    listing += "entries: " + std::to_string(archive.entries.size()) + "\n";
    listing += "by kind: " + byKind + "\n";
    listing += "headerSize: " + std::to_string(archive.headerSize) + "\n";
    listing += "total size: " + std::to_string(archive.TotalSize()) + "\n";
    listing += "compressed size: " + std::to_string(compressedBytes) + "\n";
    Print(listing);
    return kSuccess;
}

int Verify(const std::wstring& path)
{
    std::uint64_t compressedBytes = 0;
    const ArchiveScanner scanner = ScanArchive(path, compressedBytes);
    const PayloadArchive& archive = scanner.archive();

    std::string problems;
    for (std::size_t i = 0; i < scanner.crcs().size(); ++i)
        if (scanner.crcs()[i] != archive.entries[i].crc)
            problems += "entry " + std::to_string(i) + " (" + Utf8(archive.entries[i].source) + "): CRC-32 "
                        + Hex(scanner.crcs()[i]) + ", its record says " + Hex(archive.entries[i].crc) + "\n";
    if (scanner.missing() != 0)
        problems += "the stream ends " + std::to_string(scanner.missing()) + " bytes before the last file is complete\n";
    if (scanner.trailing() != 0)
        problems += std::to_string(scanner.trailing()) + " bytes follow the last file\n";
    if (!problems.empty())
        throw PackerError{kBadArchive, "damaged archive:\n" + problems};

    Print("OK: " + std::to_string(archive.entries.size()) + " files, " + std::to_string(archive.TotalSize())
          + " bytes, every CRC-32 matches\n");
    return kSuccess;
}

const char kUsageText[] =
    "usage: packer build MANIFEST OUT    pack the files a manifest lists into an archive\n"
    "       packer list ARCHIVE          list an archive's entries\n"
    "       packer verify ARCHIVE        check every file's CRC-32 and the stream's length\n";

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Plain "\n" line ends in build logs and captured output.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const std::wstring command = argc > 1 ? argv[1] : L"";
    try {
        if (command == L"build" && argc == 4)
            return Build(argv[2], argv[3]);
        if (command == L"list" && argc == 3)
            return List(argv[2]);
        if (command == L"verify" && argc == 3)
            return Verify(argv[2]);
        std::fputs(kUsageText, stderr);
        return kUsage;
    } catch (const PackerError& error) {
        std::fprintf(stderr, "packer: %s\n", error.message.c_str());
        return error.exitCode;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "packer: %s\n", error.what());
        return kBadArchive;
    }
}
