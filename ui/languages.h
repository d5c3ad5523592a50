// The installer's languages and the process-wide record of the current one.
#pragma once

#include <windows.h>

#include <cstdint>

// Row number of the language table.
using LanguageIndex = int;

inline constexpr LanguageIndex kFrench = 0;
inline constexpr LanguageIndex kEnglish = 1;

// The current language of the process, created on first use and never destroyed.
struct LanguageState {
    std::uint32_t allowedMask = 1;     // languages DefaultLanguage may return without a mask
    LanguageIndex currentIndex = 0;
    LCID locale = 1036;                // locale of the current language
    UINT codePage = 1252;              // its ANSI code page
    HMODULE resourceModule = nullptr;  // searched first for resources; null: the executable
};

LanguageState& GetLanguageState();

// The current language.
inline LanguageIndex CurrentLanguage() { return GetLanguageState().currentIndex; }

// The Windows locale of a language; 1036 (French) for any number outside 1..19.
LCID LanguageLcid(LanguageIndex index);
