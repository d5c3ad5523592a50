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
#include "benchmark_support.h"
#include "payload_test_support.h"
#include "payload/decompression.h"
#include "payload/extraction.h"
#include "payload/payload_format.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <windows.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = boost::filesystem;
using namespace benchmark;

namespace {

// One measured run in this process: "floor" or "extract".
Figures Run(const std::wstring& mode, const std::wstring& archivePath, const std::wstring& work)
{
    const std::string archive = testing_support::ReadFileText(archivePath);
    testing_support::RemoveTree(work);
    fs::create_directories(work);
    const Figures figures = Measure([&] {
        if (mode == L"floor") {
            RunFloor(archive, work);
            return;
        }
        kv::imemstream stream(archive.data(), archive.size());
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
    });
    testing_support::RemoveTree(work);
    return figures;
}

// The demo archive's files four times over, under other names, compressed the same way.
void WriteFourTimesLarger(const std::wstring& demo, const std::wstring& larger)
{
    const std::string compressed = testing_support::ReadFileText(demo);
    kv::imemstream stream(compressed.data(), compressed.size());
    payload_testing::ByteCollector collector;
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

// The floor and the extraction on the demo archive and on one four times larger.
void Compare(const std::wstring& demo, int runs, const testing_support::TemporaryFolder& folder)
{
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
        const std::vector<Figures> best = BestOfRounds({L"floor", L"extract"}, row.archive, folder / L"work", runs);
        row.floor = best[0];
        row.extraction = best[1];
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
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    return BenchmarkMain(argc, argv, "payload_benchmark ARCHIVE [RUNS]", Run, Compare);
}
