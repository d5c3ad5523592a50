// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The Windows path of a file the build made, from an environment variable that holds its
// Unix path (the tests run under Wine, where Z: is the Unix root).
std::wstring BuiltFile(const wchar_t* variable);

// A Unix path as Wine sees it through Z:.
std::wstring WindowsPathOf(const std::wstring& unixPath);

// A new empty folder below the user's temporary folder, removed with all it holds when the
// object goes.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Removes a file or folder tree, clearing read-only marks on the way.
void RemoveTree(const std::wstring& path);

// Whether a file or folder exists.
bool Exists(const std::wstring& path);

// The lines of a text separated by "\r\n"; a final line end gives no empty line.
std::vector<std::wstring> Lines(const std::wstring& text);

// A file's bytes; throw when the file cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path);
std::string ReadFileText(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// The bytes of a text, as a file holds them.
std::vector<std::uint8_t> BytesOf(const std::string& text);

} // namespace testing_support
