// Runs a Windows program of the build and collects what it prints.
#pragma once

#include <string>

namespace tools_testing {

struct ProgramResult {
    int exitCode = -1;
    std::string output;   // standard output and standard error, interleaved
};

// Runs the command line (program path first, quoted as needed) and waits for its end.
ProgramResult RunProgram(const std::wstring& commandLine);

// A path enclosed in double quotes, for a command line.
inline std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

} // namespace tools_testing
