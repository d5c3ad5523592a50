#include "ui/process_locale.h"

#include "support/strings.h"

#include <windows.h>

#include <boost/filesystem/path.hpp>

#include <clocale>
#include <locale>
#include <string>

bool SetUpProcessLocale()
{
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    wchar_t wide[LOCALE_NAME_MAX_LENGTH] = {};
    ::LCIDToLocaleName(LOCALE_USER_DEFAULT, wide, LOCALE_NAME_MAX_LENGTH, 0);
    const std::string name = kv::to_utf8(wide);   // locale names are ASCII

    _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
    try {
        std::locale::global(std::locale(name));
    } catch (const std::exception&) {
        std::locale::global(std::locale::classic());
    }

    const std::locale global;
    if (!std::has_facet<std::codecvt<wchar_t, char, std::mbstate_t>>(global)
        || !std::has_facet<std::ctype<wchar_t>>(global) || !std::has_facet<std::ctype<char>>(global)
        || !std::has_facet<std::collate<wchar_t>>(global))
        return false;

    // The file-system library sets up its conversion of narrow path names on first use.
    boost::filesystem::path::codecvt();
    return true;
}

void InitializeProcessLocale()
{
    static const bool done = [] {
        if (!SetUpProcessLocale())
            ExitWithInitializationError();
        return true;
    }();
    (void)done;
}

void ExitWithInitializationError()
{
    ::MessageBoxW(nullptr, L"Initialization Error", nullptr, MB_SETFOREGROUND | MB_TASKMODAL | MB_ICONERROR);
    ::ExitProcess(static_cast<UINT>(-11));
}
