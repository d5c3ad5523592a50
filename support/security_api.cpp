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

FARPROC detail::bind(const char* name)
{
    FARPROC function = find(name);
    if (!function)
        throw std::system_error(hresult_code(E_NOTIMPL));
    return function;
}

} // namespace kv::security
