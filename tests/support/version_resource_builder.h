// Builds version resources byte by byte, including shapes that resource compilers never
// write (a string value whose length leaves out its NUL), and stores them in a module.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct VersionString {
    std::wstring key;
    std::wstring value;
    bool countNul = true;   // the stored length includes the terminating NUL
};

struct VersionStringTable {
    std::wstring key = L"040004b0";   // language and code page in hexadecimal
    std::vector<VersionString> strings;
};

struct VersionResource {
    bool fixedInfo = true;
    DWORD fileVersionMS = 0;
    DWORD fileVersionLS = 0;
    DWORD fileFlags = 0;
    DWORD fileFlagsMask = 0x3F;
    std::vector<VersionStringTable> tables;
    std::vector<std::pair<WORD, WORD>> translations;   // (language, code page)
};

std::vector<std::uint8_t> BuildVersionResource(const VersionResource& resource);

// Copies the module at source to target and gives the copy the resource of that type and
// name (language neutral) in place of the one it has in any language.
void WriteModuleWithResource(const std::wstring& source, const std::wstring& target, LPCWSTR type, LPCWSTR name,
                             const std::vector<std::uint8_t>& data);

} // namespace testing_support
