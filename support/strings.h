// UTF-16 string helpers.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// swprintf into a string of any length.
std::wstring format(const wchar_t* pattern, ...);

// Conversions between UTF-16 and UTF-8.
std::string to_utf8(std::wstring_view text);
std::wstring from_utf8(std::string_view text);

} // namespace kv
