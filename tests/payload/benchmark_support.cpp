#include "benchmark_support.h"

#include "payload/decompression.h"
#include "payload/payload_format.h"
#include "support/strings.h"
#include "support/unique_resource.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace benchmark {

namespace {

double WorkingSetMiB(bool peak)
{
    PROCESS_MEMORY_COUNTERS counters{sizeof counters};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) / (1 << 20);
}

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

} // namespace

Figures Measure(const std::function<void()>& work)
{
    const double before = WorkingSetMiB(false);
    const auto start = std::chrono::steady_clock::now();
    work();
    Figures figures;
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.peakMiB = WorkingSetMiB(true);
    figures.extraMiB = figures.peakMiB - before;
    return figures;
}

void RunFloor(const std::string& archive, const std::wstring& folder)
{
    kv::imemstream stream(archive.data(), archive.size());
    Discard discard;
    DecompressPayload(stream, discard);
    stream.clear();
    stream.seekg(0);
    FloorWriter writer(folder);
    DecompressPayload(stream, writer);
    writer.ReadBack();
}

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
    if (!(in >> figures.seconds >> figures.peakMiB >> figures.extraMiB >> figures.partSeconds))
        throw std::runtime_error("a measured run failed");
    in.close();
    ::DeleteFileW(result.c_str());
    return figures;
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

int BenchmarkMain(int argc, wchar_t** argv, const char* usage, const MeasuredRun& run, const Comparison& compare)
{
    const std::string program(usage, std::strcspn(usage, " "));
    try {
        if (argc == 6 && std::wstring(argv[1]) == L"--run") {
            const Figures figures = run(argv[2], argv[3], argv[4]);
            std::ofstream out(argv[5]);
            out << figures.seconds << ' ' << figures.peakMiB << ' ' << figures.extraMiB << ' ' << figures.partSeconds
                << '\n';
            return 0;
        }
        if (argc < 2 || argc > 3) {
            std::fprintf(stderr, "usage: %s\n", usage);
            return 1;
        }
        const testing_support::TemporaryFolder folder;
        compare(argv[1], argc == 3 ? std::max(1, _wtoi(argv[2])) : 3, folder);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.what());
        return 1;
    }
}

std::vector<Figures> BestOfRounds(const std::vector<std::wstring>& modes, const std::wstring& archive,
                                  const std::wstring& work, int rounds,
                                  const std::function<void(int round, const std::vector<Figures>&)>& perRound)
{
    // A first round that is not counted: the first runs on a machine pay for what the
    // system sets up once (caches, the first use of the shell).
    for (const std::wstring& mode : modes)
        RunChild(mode, archive, work);
    std::vector<std::vector<Figures>> runs(modes.size());
    for (int round = 1; round <= rounds; ++round) {
        // A run pays for what the run before it left to the system (files still to be
        // written out, caches taken): every other round runs the modes in the reverse order,
        // so that each pair of neighbouring modes runs in both orders equally often.
        std::vector<Figures> figures(modes.size());
        for (std::size_t k = 0; k < modes.size(); ++k) {
            const std::size_t i = round % 2 ? k : modes.size() - 1 - k;
            figures[i] = RunChild(modes[i], archive, work);
        }
        if (perRound)
            perRound(round, figures);
        for (std::size_t i = 0; i < modes.size(); ++i)
            runs[i].push_back(figures[i]);
    }
    std::vector<Figures> best;
    for (const std::vector<Figures>& mode : runs)
        best.push_back(Best(mode));
    return best;
}

} // namespace benchmark
