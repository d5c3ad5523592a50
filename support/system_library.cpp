#include "support/system_library.h"

#include <map>
#include <mutex>
#include <string>

namespace kv {

HMODULE system_library(const wchar_t* name)
{
    static std::mutex lock;
    static std::map<std::wstring, HMODULE> loaded;   // never freed: bound for the run
    std::lock_guard guard(lock);
    auto [it, inserted] = loaded.try_emplace(name, nullptr);
    if (inserted)
        it->second = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return it->second;
}

std::wstring module_file_name(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);   // cut short: try again with more room
    }
}

} // namespace kv
