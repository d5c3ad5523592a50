// Time of ActionLog::Write for an update: 10,000 records of the earlier installation merged
// with 10,000 new ones, against writing the new records alone and against writing a log of
// the merged size without any merge, all in the same run.
//   actionlog_write_benchmark [runs]
#include "actionlog/action_log.h"

#include "product/product_identity.h"
#include "support/test_support.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <functional>
#include <vector>

namespace {

constexpr int kRecords = 10000;

double Seconds(const std::function<void()>& action)
{
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    action();
    ::QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

void CreateFileOf(const std::wstring& path)
{
    testing_support::WriteFileBytes(path, {});
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    SetProductCode(product::kThisProductCode);
    testing_support::TemporaryFolder folder;

    // The new installation's files, all on disk, in 100 folders.
    std::list<ActionRecord> current;
    for (int i = 0; i < kRecords; ++i) {
        const std::wstring directory = folder / (L"Tavelo 7\\Folder " + std::to_wstring(i / 100));
        if (i % 100 == 0)
            ::CreateDirectoryW((folder / L"Tavelo 7").c_str(), nullptr), ::CreateDirectoryW(directory.c_str(), nullptr);
        const std::wstring file = directory + L"\\File " + std::to_wstring(i) + L".dat";
        CreateFileOf(file);
        current.push_back({ActionKind::FileInstalled, file, {}, true, 3});
    }
    // The earlier installation's records: half name files of the new installation (a quarter
    // with the same text, a quarter in other letter case), half do not (a quarter files that
    // are still there, a quarter files that are gone).
    ::CreateDirectoryW((folder / L"Tavelo 6").c_str(), nullptr);
    std::list<ActionRecord> previous;
    auto it = current.begin();
    for (int i = 0; i < kRecords; ++i, ++it) {
        std::wstring text;
        switch (i % 4) {
        case 0:
            text = it->text;
            break;
        case 1:
            text = Upper(it->text);
            break;
        case 2:
            text = folder / (L"Tavelo 6\\Old " + std::to_wstring(i) + L".dat");
            CreateFileOf(text);
            break;
        default:
            text = folder / (L"Tavelo 6\\Gone " + std::to_wstring(i) + L".dat");
            break;
        }
        previous.push_back({ActionKind::FileInstalled, text, {}, true, 3});
    }
    // A log of the merged size, written without a merge.
    std::list<ActionRecord> sameSize = current;
    for (int i = 0; i < kRecords / 2; ++i)
        sameSize.push_back({ActionKind::FileInstalled, folder / (L"Tavelo 6\\Extra " + std::to_wstring(i) + L".dat"), {}, true, 3});

    const std::wstring logPath = folder / L"Uninstall.ulog";
    auto timeWrite = [&](const std::list<ActionRecord>& earlier, const std::list<ActionRecord>& records, std::size_t* written) {
        ActionLog log;
        log.previousRecords = earlier;
        log.records = records;
        const double seconds = Seconds([&] { log.Write(logPath, folder.path(), folder.path()); });
        if (written)
            *written = log.records.size();
        return seconds;
    };

    std::vector<double> alone, unmerged, merged;
    std::size_t mergedCount = 0;
    for (int run = 0; run < runs; ++run) {
        alone.push_back(timeWrite({}, current, nullptr));
        unmerged.push_back(timeWrite({}, sameSize, nullptr));
        merged.push_back(timeWrite(previous, current, &mergedCount));
    }
    const double a = Median(alone), u = Median(unmerged), m = Median(merged);
    std::printf("Write of an update's uninstall log (median of %d runs)\n", runs);
    std::printf("  %d new records alone:                       %8.1f ms\n", kRecords, a * 1000);
    std::printf("  %zu records, no earlier log:                %8.1f ms\n", sameSize.size(), u * 1000);
    std::printf("  %d earlier + %d new records merged (%zu kept): %8.1f ms\n", kRecords, kRecords, mergedCount, m * 1000);
    std::printf("  merged / new alone:    %.2f\n", m / a);
    std::printf("  merged / same size:    %.2f\n", m / u);
    std::printf("  first merged run:      %8.1f ms\n", merged.front() * 1000);
    return mergedCount == sameSize.size() ? 0 : 1;
}
