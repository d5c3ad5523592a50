#include "framework/application_name.h"

#include "support/system_library.h"

#include <windows.h>
#include <shlwapi.h>

namespace {

std::wstring& ApplicationName()
{
    static std::wstring name;
    return name;
}

} // namespace

const std::wstring& AfxGetAppName()
{
    return ApplicationName();
}

void AfxSetAppName(std::wstring name)
{
    ApplicationName() = std::move(name);
}

std::wstring DefaultAppName()
{
    const std::wstring path = kv::module_file_name();
    if (path.empty())
        return {};
    std::wstring name = ::PathFindFileNameW(path.c_str());
    const std::wstring::size_type dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot != 0)
        name.erase(dot);
    return name;
}
