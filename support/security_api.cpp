#include "support/security_api.h"

namespace kv::security {

namespace {

HMODULE LoadAdvapi32()
{
    static const HMODULE module = [] {
        HMODULE m = ::GetModuleHandleW(L"advapi32.dll");
        if (!m)
            m = ::LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (!m)
            m = ::LoadLibraryExW(L"advapi32.dll", nullptr, 0);
        return m;
    }();
    return module;
}

} // namespace

std::system_error make_error(DWORD code)
{
    // A call that failed without setting an error must still not read as success.
    return std::system_error(hresult_code(code == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(code)));
}

void throw_last_error()
{
    throw make_error(::GetLastError());
}

FARPROC find(const char* name)
{
    const HMODULE module = LoadAdvapi32();
    if (!module)
        throw std::system_error(hresult_code(E_UNEXPECTED));
    return ::GetProcAddress(module, name);
}

scoped_privilege::scoped_privilege(const wchar_t* name) noexcept
{
    try {
        check(OpenProcessToken()(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put()));
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        check(LookupPrivilegeValueW()(nullptr, name, &privileges.Privileges[0].Luid));
        // The call succeeds without assigning anything when the token lacks the privilege,
        // which only the last error tells. The previous state may leave out a privilege that
        // was on already: putting it back then changes nothing.
        DWORD size = sizeof previous_;
        ::SetLastError(ERROR_SUCCESS);
        check(AdjustTokenPrivileges()(token_.get(), FALSE, &privileges, sizeof privileges, &previous_, &size));
        enabled_ = ::GetLastError() == ERROR_SUCCESS;
    } catch (const std::system_error&) {
    }
}

scoped_privilege::~scoped_privilege()
{
    if (enabled_ && previous_.PrivilegeCount > 0)
        AdjustTokenPrivileges()(token_.get(), FALSE, &previous_, sizeof previous_, nullptr, nullptr);
}

FARPROC detail::bind(const char* name)
{
    FARPROC function = find(name);
    if (!function)
        throw std::system_error(hresult_code(E_NOTIMPL));
    return function;
}

} // namespace kv::security
