// What the demo programs share. Header-only, so that they stay free of the installer's
// libraries.
#pragma once

#include <windows.h>

#include <string>

namespace demo {

// Whether an argument after the program's name is the option (letter case ignored).
inline bool HasOption(int argc, wchar_t** argv, const wchar_t* option)
{
    for (int i = 1; i < argc; ++i)
        if (::lstrcmpiW(argv[i], option) == 0)
            return true;
    return false;
}

// The demo programs tell tests what they were asked to do: one UTF-8 line appended to the
// file that an environment variable names. Nothing happens when the variable is not set.
inline void AppendRecord(const wchar_t* variable, const std::wstring& line)
{
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(variable, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::wstring text = line + L"\n";
    std::string utf8(static_cast<std::size_t>(::WideCharToMultiByte(
                         CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr)),
                     '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(),
                          static_cast<int>(utf8.size()), nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
}

} // namespace demo
