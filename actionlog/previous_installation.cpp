#include "actionlog/previous_installation.h"

#include "actionlog/action_log.h"
#include "product/product_identity.h"
#include "support/system_library.h"
#include "support/unique_resource.h"

#include <boost/filesystem.hpp>

#include <exception>
#include <optional>
#include <vector>

namespace fs = boost::filesystem;

namespace {

constexpr wchar_t kLogFileName[] = L"Uninstall.ulog";

// A string value of type REG_SZ or REG_EXPAND_SZ (not expanded) whose data is a whole number
// of UTF-16 units ending with its terminating zero; no data at all reads as empty. Anything
// else, and any error, counts as a missing value.
std::optional<std::wstring> ReadStringValue(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    std::vector<wchar_t> data;
    // The buffer is no larger than the data, so that nothing can add a terminating zero the
    // value lacks; it is asked again should the value grow in between.
    while (status == ERROR_SUCCESS && size > 0) {
        data.resize(size / sizeof(wchar_t) + 1);
        DWORD capacity = size;
        status = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &capacity);
        if (status == ERROR_MORE_DATA) {
            size = capacity;
            status = ERROR_SUCCESS;
            continue;
        }
        size = capacity;
        break;
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size % sizeof(wchar_t) != 0)
        return std::nullopt;
    const std::size_t units = size / sizeof(wchar_t);
    if (units == 0)
        return std::wstring();
    if (data[units - 1] != L'\0')
        return std::nullopt;
    return std::wstring(data.data());   // up to its first zero
}

// A status query that neither fails nor reports "not found".
bool Exists(const fs::path& path)
{
    boost::system::error_code error;
    const fs::file_status status = fs::status(path, error);
    return !error && status.type() != fs::file_not_found && status.type() != fs::status_error;
}

std::optional<std::wstring> ReadMachineString(const std::wstring& keyPath, const std::wstring& valueName)
{
    kv::unique_hkey key;
    // Any failure, access denied included, counts as "not found".
    if (::RegOpenKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadStringValue(key.get(), valueName.c_str());
}

// The log next to the file at path, when path has a folder part and the log exists there.
std::optional<std::wstring> LogBeside(const std::wstring& path)
{
    const fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        return std::nullopt;
    const fs::path log = folder / kLogFileName;
    if (!Exists(log))
        return std::nullopt;
    return log.native();
}

} // namespace

std::wstring LookUpInstalledProgram()
{
    try {
        const auto program = ReadMachineString(kMakerKeyPath, InstallationPathValueName());
        if (program && Exists(*program))
            return *program;
    } catch (const std::exception&) {
    }
    return {};
}

std::wstring FindInstalledProgram()
{
    static const std::wstring program = LookUpInstalledProgram();
    return program;
}

std::wstring FindPreviousLog()
{
    try {
        const auto uninstaller = ReadMachineString(std::wstring(kUninstallKeyPath) + L"\\" + ProductRegistryName(),
                                                   L"UninstallString");
        if (uninstaller)
            if (auto log = LogBeside(*uninstaller))
                return *log;
        if (auto log = LogBeside(kv::module_file_name()))
            return *log;
        if (auto log = LogBeside(FindInstalledProgram()))
            return *log;
    } catch (const std::exception&) {
    }
    return {};
}
