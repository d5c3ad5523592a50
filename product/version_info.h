// Reader of a Windows version resource: of the running executable or of a file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class VersionInfo {
public:
    // The version resource of a file. A file without one, or one that cannot be read,
    // gives an empty VersionInfo.
    explicit VersionInfo(const std::wstring& path);

    // The version resource of the running executable, read once and kept for the process.
    static const VersionInfo& Current();

    VersionInfo(VersionInfo&&) = default;   // block_ and fixed_ point into data_'s block, which moves along
    VersionInfo(const VersionInfo&) = delete;
    VersionInfo& operator=(const VersionInfo&) = delete;

    bool HasFixedInfo() const { return fixed_ != nullptr; }
    const VS_FIXEDFILEINFO* FixedInfo() const { return fixed_; }
    const std::vector<std::wstring>& Translations() const { return translations_; }

    // The string value of key in the translation of that index; empty when absent.
    std::wstring StringValue(const std::wstring& key, std::size_t translation = 0) const;

    // (dwFileVersionMS << 32) | dwFileVersionLS, or 0 without fixed info.
    std::uint64_t FileVersion() const;

    // "ProductName" and "ProductVersion" as one text, with the prerelease, private and
    // debug marks of the file flags: "Tavelo 7.01h", "Install 2.03b".
    std::wstring ProductNameWithVersion() const;

    std::wstring ProductName() const { return StringValue(L"ProductName"); }
    std::wstring LegalCopyright() const { return StringValue(L"LegalCopyright"); }

private:
    VersionInfo(const void* block, DWORD length);
    void Parse();

    std::vector<BYTE> data_;          // copy of a file's resource; empty for the executable's own
    const void* block_ = nullptr;
    DWORD length_ = 0;                // 0: no version resource
    const VS_FIXEDFILEINFO* fixed_ = nullptr;
    std::vector<std::wstring> translations_;   // "040004b0": language and code page 1200 only
};
