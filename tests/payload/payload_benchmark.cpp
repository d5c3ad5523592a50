// Benchmark of the payload extraction: prints figures, asserts nothing.
//
//   payload_benchmark ARCHIVE [RUNS]
//
// Measures, on ARCHIVE (the demo payload) and on an archive four times larger made from
// it, the whole ExtractPayload with a handler that, like the installer's, verifies the
// stream when told started and writes every file; against the floor the design imposes:
// decompressing the payload twice and writing and re-reading its bytes once. Each figure
// is the best of RUNS runs (3 by default), each run in a process of its own so that its
// peak working set is its own. The archive is held in memory during a run, as the
// installer's resource is; the memory figures are the peak working set and what it adds
// to the working set the process had with the archive loaded.
#include "payload/decompression.h"
#include "payload/extraction.h"
#include "payload/payload_format.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <windows.h>
#include <psapi.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace {

struct Figures {
    double seconds = 0;
    double peakMiB = 0;    // peak working set of the run's process
    double extraMiB = 0;   // peak working set less the working set with the archive loaded
};

double WorkingSetMiB(bool peak)
{
    PROCESS_MEMORY_COUNTERS counters{sizeof counters};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) / (1 << 20);
}

// Reads a file into one block of its exact size, so that loading the archive leaves no
// larger peak behind than the archive itself.
std::string ReadWhole(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary | std::ios::ate);
    std::string content(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (!in)
        throw std::runtime_error("cannot read " + kv::to_utf8(path));
    return content;
}

// Collects the decompressed stream whole (only for preparing the larger archive).
struct Collector {
    std::string bytes;
    std::size_t write(const char* data, std::size_t count)
    {
        bytes.append(data, count);
        return count;
    }
};

struct Discard {
    std::size_t write(const char*, std::size_t count) { return count; }
};

// The floor's writer: cuts the stream into the archive's files as they arrive and writes
// each with plain WriteFile calls into one folder.
class FloorWriter {
public:
    explicit FloorWriter(std::wstring folder) : folder_(std::move(folder)) {}

    std::size_t write(const char* data, std::size_t count)
    {
        std::size_t done = 0;
        if (!archive_) {
            header_.append(data, count);
            if (header_.size() < payload_format::kSizeFieldBytes)
                return count;
            const std::uint64_t headerSize =
                payload_format::ReadLittleEndian(header_.data(), payload_format::kSizeFieldBytes);
            if (header_.size() < headerSize)
                return count;
            archive_ = std::make_unique<PayloadArchive>(
                ReadPayloadHeader(header_.data(), static_cast<std::size_t>(headerSize)));
            done = count - (header_.size() - static_cast<std::size_t>(headerSize));
        }
        while (done < count) {
            if (!file_) {
                if (index_ >= archive_->entries.size())
                    return count;
                const std::wstring path = folder_ + L"\\" + std::to_wstring(index_);
                paths_.push_back(path);
                file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
                remaining_ = archive_->entries[index_].size;
            }
            const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(count - done, remaining_));
            DWORD written = 0;
            ::WriteFile(file_.get(), data + done, n, &written, nullptr);
            done += n;
            remaining_ -= n;
            if (remaining_ == 0) {
                file_.reset();
                ++index_;
            }
        }
        return count;
    }

    // Reads every written file back.
    void ReadBack() const
    {
        std::vector<char> block(1 << 16);
        for (const std::wstring& path : paths_) {
            kv::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD read = 0;
            while (::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr) && read)
                continue;
        }
    }

private:
    std::wstring folder_;
    std::string header_;
    std::unique_ptr<PayloadArchive> archive_;
    std::size_t index_ = 0;
    std::uint64_t remaining_ = 0;
    kv::unique_file file_;
    std::vector<std::wstring> paths_;
};

// One measured run in this process: "floor" or "extract".
Figures Run(const std::wstring& mode, const std::wstring& archivePath, const std::wstring& work)
{
    const std::string archive = ReadWhole(archivePath);
    kv::imemstream stream(archive.data(), archive.size());
    testing_support::RemoveTree(work);
    fs::create_directories(work);
    const double loaded = WorkingSetMiB(false);

    const auto start = std::chrono::steady_clock::now();
    if (mode == L"floor") {
        Discard discard;
        DecompressPayload(stream, discard);
        stream.clear();
        stream.seekg(0);
        FloorWriter writer(work);
        DecompressPayload(stream, writer);
        writer.ReadBack();
    } else {
        ExtractionServices services;
        // The archive's all-users and user folders, redirected into the work folder.
        services.shellFolder = [&](int csidl) { return kv::format(L"%ls\\shell-%02x", work.c_str(), csidl); };
        PayloadHandler handler = [&stream](notification message) {
            if (std::holds_alternative<notification::started>(message)) {
                if (!VerifyPayload(stream))
                    throw std::runtime_error("the archive does not verify");
                stream.clear();
                stream.seekg(0);
            }
            if (const auto* failed = std::get_if<notification::failed>(&message))
                std::fprintf(stderr, "extraction failed: %s\n", failed->code.message().c_str());
            return notification::result::proceed;
        };
        if (!ExtractPayload(stream, work + L"\\Install", L"Tavelo Examples", work + L"\\Temp", handler, services))
            throw std::runtime_error("the extraction failed");
    }
    Figures figures;
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.peakMiB = WorkingSetMiB(true);
    figures.extraMiB = figures.peakMiB - loaded;
    testing_support::RemoveTree(work);
    return figures;
}

// Runs one measurement in a process of its own and reads its figures back.
Figures RunChild(const std::wstring& mode, const std::wstring& archive, const std::wstring& work)
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring result = work + L".result";
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" --run " + mode + L" \"" + archive + L"\" \"" + work + L"\" \"" + result + L"\"";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        throw std::runtime_error("cannot start a measured run");
    kv::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    Figures figures;
    std::ifstream in(result.c_str());
    if (!(in >> figures.seconds >> figures.peakMiB >> figures.extraMiB))
        throw std::runtime_error("a measured run failed");
    in.close();
    ::DeleteFileW(result.c_str());
    return figures;
}

// The demo archive's files four times over, under other names, compressed the same way.
void WriteFourTimesLarger(const std::wstring& demo, const std::wstring& larger)
{
    const std::string compressed = ReadWhole(demo);
    kv::imemstream stream(compressed.data(), compressed.size());
    Collector collector;
    DecompressPayload(stream, collector);
    const std::uint64_t headerSize =
        payload_format::ReadLittleEndian(collector.bytes.data(), payload_format::kSizeFieldBytes);
    const PayloadArchive archive = ReadPayloadHeader(collector.bytes.data(), static_cast<std::size_t>(headerSize));

    std::vector<PayloadEntry> entries;
    for (int copy = 0; copy < 4; ++copy)
        for (PayloadEntry entry : archive.entries) {
            if (copy > 0)
                entry.source = L"copy" + std::to_wstring(copy) + L"\\" + std::to_wstring(copy) + L" "
                               + PayloadFileName(entry.source);
            entries.push_back(entry);
        }
    std::ofstream out(larger.c_str(), std::ios::binary | std::ios::trunc);
    payload_format::PayloadWriter writer(out, 9);
    writer.WriteHeader(entries);
    for (int copy = 0; copy < 4; ++copy)
        writer.Write(collector.bytes.data() + headerSize, collector.bytes.size() - static_cast<std::size_t>(headerSize));
    writer.Finish();
}

Figures Best(const std::vector<Figures>& runs)
{
    Figures best = runs.front();
    for (const Figures& run : runs) {
        best.seconds = std::min(best.seconds, run.seconds);
        best.peakMiB = std::max(best.peakMiB, run.peakMiB);
        best.extraMiB = std::max(best.extraMiB, run.extraMiB);
    }
    return best;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        if (argc == 6 && std::wstring(argv[1]) == L"--run") {
            const Figures figures = Run(argv[2], argv[3], argv[4]);
            std::ofstream out(argv[5]);
            out << figures.seconds << ' ' << figures.peakMiB << ' ' << figures.extraMiB << '\n';
            return 0;
        }
        if (argc < 2 || argc > 3) {
            std::fprintf(stderr, "usage: payload_benchmark ARCHIVE [RUNS]\n");
            return 1;
        }
        const int runs = argc == 3 ? std::max(1, _wtoi(argv[2])) : 3;
        testing_support::TemporaryFolder folder;
        const std::wstring demo = argv[1];
        const std::wstring larger = folder / L"larger.bz2";
        std::printf("preparing an archive four times larger than the demo payload...\n");
        WriteFourTimesLarger(demo, larger);

        struct Row {
            const char* name;
            std::wstring archive;
            Figures floor, extraction;
            double megabytes;
        };
        std::vector<Row> rows = {{"demo payload", demo, {}, {}, 0}, {"four times larger", larger, {}, {}, 0}};
        for (Row& row : rows) {
            std::vector<Figures> floors, extractions;
            for (int i = 0; i < runs; ++i) {
                floors.push_back(RunChild(L"floor", row.archive, folder / L"work"));
                extractions.push_back(RunChild(L"extract", row.archive, folder / L"work"));
            }
            row.floor = Best(floors);
            row.extraction = Best(extractions);
            row.megabytes = static_cast<double>(fs::file_size(fs::path(row.archive))) / 1e6;
        }

        std::printf("\nExtraction against the floor (decompress twice, write and re-read once); best of %d runs\n\n",
                    runs);
        std::printf("%-18s %12s %9s %12s %7s %16s %16s\n", "archive", "compressed", "floor", "extraction", "ratio",
                    "peak WS floor", "peak WS extract");
        for (const Row& row : rows)
            std::printf("%-18s %9.1f MB %7.2f s %10.2f s %7.3f %9.1f MiB (+%.1f) %8.1f MiB (+%.1f)\n", row.name,
                        row.megabytes, row.floor.seconds, row.extraction.seconds,
                        row.extraction.seconds / row.floor.seconds, row.floor.peakMiB, row.floor.extraMiB,
                        row.extraction.peakMiB, row.extraction.extraMiB);
        std::printf("\nlarger / demo: floor time %.2f, extraction time %.2f, extraction memory above the archive "
                    "%.1f MiB / %.1f MiB\n",
                    rows[1].floor.seconds / rows[0].floor.seconds,
                    rows[1].extraction.seconds / rows[0].extraction.seconds, rows[1].extraction.extraMiB,
                    rows[0].extraction.extraMiB);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "payload_benchmark: %s\n", error.what());
        return 1;
    }
}
