#include "framework/application_name.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

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
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size())
            break;
        path.resize(path.size() * 2);
    }
    std::wstring name = ::PathFindFileNameW(path.data());
    const std::wstring::size_type dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot != 0)
        name.erase(dot);
    return name;
}
