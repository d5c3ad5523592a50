#include "support/strings.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace kv {

std::wstring quoted_path(const std::wstring& path)
{
    if (path.size() >= MAX_PATH)
        return path;
    wchar_t quoted[MAX_PATH];
    ::lstrcpynW(quoted, path.c_str(), MAX_PATH);
    ::PathQuoteSpacesW(quoted);
    return quoted;
}

std::wstring format(const wchar_t* pattern, ...)
{
    std::vector<wchar_t> buffer(128);
    for (;;) {
        va_list arguments;
        va_start(arguments, pattern);
        const int written = std::vswprintf(buffer.data(), buffer.size(), pattern, arguments);
        va_end(arguments);
        if (written >= 0 && static_cast<std::size_t>(written) < buffer.size())
            return std::wstring(buffer.data(), static_cast<std::size_t>(written));
        if (buffer.size() > (1u << 24))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string to_utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                          nullptr);
    return result;
}

std::wstring from_utf8(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

} // namespace kv
