// UTF-16 string helpers.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// swprintf into a string of any length.
std::wstring format(const wchar_t* pattern, ...);

// A path in double quotes when it holds a space, as the shell quotes it; a path too long
// for the shell's buffer (MAX_PATH) is given back as it is.
std::wstring quoted_path(const std::wstring& path);

// Conversions between UTF-16 and UTF-8.
std::string to_utf8(std::wstring_view text);
std::wstring from_utf8(std::string_view text);

} // namespace kv
