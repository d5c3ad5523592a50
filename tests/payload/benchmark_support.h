// What the benchmarks share: figures of a measured run, each run in a process of its own so
// that its peak working set is its own, and the floor the design imposes on an extraction:
// decompressing the payload twice and writing and re-reading its bytes once.
#pragma once

#include "support/test_support.h"

#include <functional>
#include <string>
#include <vector>

namespace benchmark {

struct Figures {
    double seconds = 0;
    double peakMiB = 0;    // peak working set of the run's process
    double extraMiB = 0;   // peak working set less the working set before the measured work
    double partSeconds = 0;   // the time of the part of the work a benchmark follows, if any
};

// Times the work and takes the working set before it and the peak after it.
Figures Measure(const std::function<void()>& work);

// The floor on a compressed archive held in memory: every file written into the folder.
void RunFloor(const std::string& archive, const std::wstring& folder);

// One measured run in this process: the figures of a mode on an archive, with a work folder
// to write into.
using MeasuredRun =
    std::function<Figures(const std::wstring& mode, const std::wstring& archive, const std::wstring& work)>;
// What the benchmark compares and prints: given its input, the number of runs and a
// temporary folder of its own.
using Comparison =
    std::function<void(const std::wstring& input, int runs, const testing_support::TemporaryFolder& folder)>;

// The whole program of a benchmark. Started as a measured run's child (RunChild) it measures
// with run and hands its figures back; else it reads its command line, PROGRAM INPUT [RUNS]
// (the number of runs 3 by default; the usage printed on any other), and compares. An error
// is printed after the program's name, the first word of the usage. Gives the exit code:
// 1 after a wrong command line or an error, else 0.
int BenchmarkMain(int argc, wchar_t** argv, const char* usage, const MeasuredRun& run, const Comparison& compare);

// A measured run in a process of its own: this program started as
//   PROGRAM --run MODE ARCHIVE WORK RESULT
// which BenchmarkMain recognises: it measures and writes its figures into RESULT.
Figures RunChild(const std::wstring& mode, const std::wstring& archive, const std::wstring& work);

// The best of several runs: the shortest time, the largest memory.
Figures Best(const std::vector<Figures>& runs);

// Runs every mode once in a child of its own, round after round after a round that is not
// counted, every other round in the reverse order, and gives the best of each mode, in the
// order of modes; each round's figures go to perRound first, in the order of modes.
std::vector<Figures> BestOfRounds(const std::vector<std::wstring>& modes, const std::wstring& archive,
                                  const std::wstring& work, int rounds,
                                  const std::function<void(int round, const std::vector<Figures>&)>& perRound = {});

} // namespace benchmark
