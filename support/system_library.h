// Run-time binding of system DLLs that the installer does not import at load time. They
// are loaded from the system folder only, so that a DLL of the same name beside the
// installer (in a download folder, say) is never picked up. And the file of a loaded module.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// The module of a system DLL loaded from the system folder, kept for the rest of the run;
// null when it cannot be loaded.
HMODULE system_library(const wchar_t* name);

// An entry point of a system DLL, or null.
template <class Function>
Function* system_function(const wchar_t* library, const char* name)
{
    const HMODULE module = system_library(library);
    return module ? reinterpret_cast<Function*>(::GetProcAddress(module, name)) : nullptr;
}

// The full path of a loaded module's file (null: the running program), however long;
// empty when the system cannot say.
std::wstring module_file_name(HMODULE module = nullptr);

} // namespace kv
