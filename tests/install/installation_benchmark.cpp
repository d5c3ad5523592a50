// Benchmark of a whole installation: prints figures, asserts nothing.
//
//   installation_benchmark INSTALLER [RUNS]
//
// Measures the install procedure as the wizard runs it (Install with a view that only
// hands on the waiting window messages), from the payload in INSTALLER's resource to the
// uninstall log, with the demo product's DirectX setup and registration run; against the
// floor of the extraction: decompressing the same payload twice and writing and re-reading
// its bytes once; and the same installation without its journal on disk. Each figure is the
// best of RUNS runs (3 by default), each run in a process of its own; the memory figures are
// the peak working set of the run's process and what it adds to the working set the process
// had with the installer's resource loaded.
//
// It installs into the machine and removes the installation with the demo uninstaller
// after every run: run it in a Wine prefix of its own (see the README).
#include "actionlog/journal.h"
#include "install/install_procedure.h"
#include "installation_test_support.h"
#include "payload/benchmark_support.h"
#include "payload/payload_format.h"
#include "product/install_view.h"
#include "product/languages.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

using namespace benchmark;
using namespace installation_testing;

namespace {

// What the install page does while the work goes on, without a page: the waiting messages
// are handed on. With TAVELO_BENCHMARK_STEPS set, every status the installation shows goes
// to the standard error with the time since the view was made: where the time goes.
class PumpingView : public InstallView {
public:
    void SetStatusText(const std::wstring& text) override
    {
        if (steps_)
            std::fprintf(stderr, "%8.3f s  %ls\n",
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(),
                         text.c_str());
    }
    void SetStatusPath(const std::wstring&) override {}
    void AppendReport(const std::wstring&, bool) override {}
    void SetProgress(int) override {}
    void ShowProgress(bool) override {}
    void PumpMessages() override
    {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    HWND OwnerWindow() const override { return nullptr; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

private:
    const bool steps_ = ::GetEnvironmentVariableW(L"TAVELO_BENCHMARK_STEPS", nullptr, 0) != 0;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The installer's payload resource, as the installer itself reads it.
std::string PayloadOf(HMODULE installer)
{
    HRSRC resource = ::FindResourceW(installer, MAKEINTRESOURCEW(PayloadArchive::kResourceName),
                                     MAKEINTRESOURCEW(PayloadArchive::kResourceType));
    HGLOBAL loaded = resource ? ::LoadResource(installer, resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!bytes)
        throw std::runtime_error("the installer holds no payload");
    return std::string(bytes, ::SizeofResource(installer, resource));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One measured run in this process: "floor", "install" or "unjournalled" (install without
// the journal).
Figures Run(const std::wstring& mode, const std::wstring& installerPath, const std::wstring& work)
{
    const kv::unique_module installer(::LoadLibraryExW(installerPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!installer)
        throw std::runtime_error("cannot load the installer");
    if (mode == L"floor") {
        const std::string archive = PayloadOf(installer.get());
        testing_support::RemoveTree(work);
        ::CreateDirectoryW(work.c_str(), nullptr);
        const Figures figures = Measure([&] { RunFloor(archive, work); });
        testing_support::RemoveTree(work);
        return figures;
    }

    PrepareInstallerProcess();
    SetInstallationJournalKept(mode != L"unjournalled");
    GetLanguageState().resourceModule = installer.get();
    ApplicationMutex mutex(L"TaveloInstallationBenchmark");
    if (!mutex.try_lock())
        throw std::runtime_error("cannot take the benchmark's mutex");
    InstallState state = StartupState();
    if (state.previousStatus != PreviousInstallStatus::NotInstalled)
        throw std::runtime_error("the machine has an installation already");
    // The wizard's thread has its window before it installs, so the window system is set
    // up before the measured work: under Wine its first use costs 0.2 to 0.35 s, which the
    // installation would otherwise pay when it looks for the owner of the shell's dialogs.
    const std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)> frame(
        ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr),
        &::DestroyWindow);
    PumpingView view;
    bool installed = false;
    Figures figures = Measure([&] { installed = Install(state, view, mutex); });
    figures.partSeconds = std::chrono::duration<double>(JournalTimeSpent()).count();
    GetLanguageState().resourceModule = nullptr;
    if (!installed)
        throw std::runtime_error("the installation failed");
    if (!RunUninstaller(Folders().installFolder + L"\\Uninstall.exe").empty())
        throw std::runtime_error("the uninstaller left something behind");
    return figures;
}

// Every mode in rounds, and the figures of the installation against the floor and against
// itself without its journal.
void Compare(const std::wstring& installer, int runs, const testing_support::TemporaryFolder& folder)
{
    // The ratios of each round too: runs of one round follow each other closely, so their
    // median holds better than the ratio of the bests when the machine's speed wanders.
    // The journal's own time is also timed inside the installation: set against the same
    // run, it does not wander with the machine's speed from one run to the next.
    std::vector<double> floorRatios, journalRatios, journalShares;
    const std::vector<Figures> best = BestOfRounds(
        {L"floor", L"install", L"unjournalled"}, installer, folder / L"work", runs,
        [&](int round, const std::vector<Figures>& figures) {
            floorRatios.push_back(figures[1].seconds / figures[0].seconds);
            journalRatios.push_back(figures[1].seconds / figures[2].seconds);
            journalShares.push_back(figures[1].seconds / (figures[1].seconds - figures[1].partSeconds));
            std::printf("run %d: floor %.3f s, installation %.3f s (its journal %.3f s), without journal %.3f s\n",
                        round, figures[0].seconds, figures[1].seconds, figures[1].partSeconds, figures[2].seconds);
        });
    const Figures& floor = best[0];
    const Figures& installation = best[1];
    const Figures& withoutJournal = best[2];

    std::printf("Whole installation of the demo payload against the floor of its extraction "
                "(decompress twice, write and re-read once); best of %d runs\n\n", runs);
    std::printf("%-14s %9s %16s\n", "", "time", "peak WS");
    std::printf("%-14s %7.2f s %9.1f MiB (+%.1f)\n", "floor", floor.seconds, floor.peakMiB, floor.extraMiB);
    std::printf("%-14s %7.2f s %9.1f MiB (+%.1f)\n", "installation", installation.seconds, installation.peakMiB,
                installation.extraMiB);
    std::printf("%-14s %7.2f s %9.1f MiB (+%.1f)\n", "no journal", withoutJournal.seconds, withoutJournal.peakMiB,
                withoutJournal.extraMiB);
    std::printf("\nratio installation / floor: time %.3f, peak working set %.3f\n",
                installation.seconds / floor.seconds, installation.peakMiB / floor.peakMiB);
    std::printf("ratio installation / installation without its journal: time %.3f\n",
                installation.seconds / withoutJournal.seconds);
    std::printf("median of the rounds' ratios: installation / floor %.3f, installation / without journal %.3f\n",
                Median(floorRatios), Median(journalRatios));
    std::printf("median of the rounds' installation / (installation less its journal's own time): %.3f\n",
                Median(journalShares));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    return BenchmarkMain(argc, argv, "installation_benchmark INSTALLER [RUNS]", Run, Compare);
}
