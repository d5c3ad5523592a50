#include "support/installer_module.h"
#include "support/temporary_folder_override.h"
#include "support/test_support.h"

#include "support/strings.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

std::wstring WindowsPathOf(const std::wstring& unixPath)
{
    std::wstring path = unixPath;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    if (!path.empty() && path[0] == L'\\')
        path = L"Z:" + path;
    return path;
}

std::wstring BuiltFile(const wchar_t* variable)
{
    const wchar_t* value = _wgetenv(variable);
    if (!value || !*value)
        throw std::runtime_error("the test environment does not name " + kv::to_utf8(variable));
    return WindowsPathOf(value);
}

kv::unique_module LoadInstallerResources()
{
    kv::unique_module module(::LoadLibraryExW(BuiltFile(L"TAVELO_INSTALLER").c_str(), nullptr,
                                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module)
        throw std::runtime_error("the installer cannot be loaded for its resources");
    return module;
}

TemporaryFolder::TemporaryFolder()
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    for (;;) {
        path_ = kv::format(L"%lstavelo-test-%lu-%u", temp, ::GetCurrentProcessId(), counter++);
        if (::CreateDirectoryW(path_.c_str(), nullptr))
            return;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create a temporary folder");
    }
}

TemporaryFolder::~TemporaryFolder()
{
    RemoveTree(path_);
}

TemporaryFolderOverride::TemporaryFolderOverride(const std::wstring& folder)
{
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
        std::vector<wchar_t> value(32767);
        const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        saved_.push_back({name, length ? std::optional<std::wstring>(value.data()) : std::nullopt});
        ::SetEnvironmentVariableW(name, folder.c_str());
    }
}

TemporaryFolderOverride::~TemporaryFolderOverride()
{
    for (const auto& [name, value] : saved_)
        ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

void RemoveTree(const std::wstring& path)
{
    boost::system::error_code ignored;
    boost::filesystem::path root(path);
    if (boost::filesystem::is_directory(root, ignored)) {
        for (boost::filesystem::recursive_directory_iterator it(root, ignored), end; it != end; it.increment(ignored))
            ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    boost::filesystem::remove_all(root, ignored);
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        start = end == std::wstring::npos ? text.size() : end + 2;
    }
    return lines;
}

namespace {

// The whole file read straight into the buffer that is returned: a benchmark reads a payload
// of hundreds of megabytes, and a second copy would count in its peak working set.
template <class Buffer>
Buffer ReadWholeFile(const std::wstring& path)
{
    kv::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size))
        throw std::runtime_error("cannot read " + kv::to_utf8(path));
    Buffer bytes(static_cast<std::size_t>(size.QuadPart), 0);
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)
                           || read != bytes.size()))
        throw std::runtime_error("cannot read " + kv::to_utf8(path));
    return bytes;
}

} // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path)
{
    return ReadWholeFile<std::vector<std::uint8_t>>(path);
}

std::string ReadFileText(const std::wstring& path)
{
    return ReadWholeFile<std::string>(path);
}

std::vector<std::uint8_t> BytesOf(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    kv::unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot write " + kv::to_utf8(path));
    DWORD written = 0;
    if (!bytes.empty() && (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                           || written != bytes.size()))
        throw std::runtime_error("cannot write " + kv::to_utf8(path));
}

} // namespace testing_support
