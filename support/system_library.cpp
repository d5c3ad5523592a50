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

} // namespace kv
