// The installer's twenty languages and the process-wide record of the current one.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Row number of the language table.
using LanguageIndex = int;

inline constexpr LanguageIndex kFrench = 0;
inline constexpr LanguageIndex kEnglish = 1;
inline constexpr LanguageIndex kLanguageCount = 20;

// The languages the start page offers, as a mask of the languages' bits (1 << index).
inline constexpr std::uint32_t OfferedLanguages = 0xB4EBF;

// The offered languages in the order of the start page's list.
inline constexpr std::array<LanguageIndex, 14> kStartPageLanguages = {0, 1, 2, 3, 11, 4, 5, 14, 7, 9, 10, 16, 17, 19};

// The current language of the process, created on first use and never destroyed. Its first
// creation makes the C runtime's locales process-wide, applies the French locale to the
// process and sets the thread locale to it.
struct LanguageState {
    std::uint32_t allowedMask = 1;     // languages DefaultLanguage may return without a mask
    LanguageIndex currentIndex = 0;
    LCID locale = 1036;                // locale of the current language
    UINT codePage = 1252;              // its ANSI code page
    HMODULE resourceModule = nullptr;  // searched first for resources; null: the executable
};

LanguageState& GetLanguageState();

// The module searched first for resources: the state's, which becomes the executable when
// none was set.
HMODULE ResourceModule();

// The current language.
inline LanguageIndex CurrentLanguage() { return GetLanguageState().currentIndex; }

// The Windows locale of a language; 1036 (French) for any number outside 1..19.
LCID LanguageLcid(LanguageIndex index);

// Whether the start page lists the language; false for any number outside 0..19.
bool IsLanguageOffered(LanguageIndex index);

// Whether the installer's own texts exist in the language; false outside 0..19.
bool IsInstallerTranslated(LanguageIndex index);

// The first text identifier of the language's block of texts; 0 outside 0..19.
UINT LanguageTextBase(LanguageIndex index);

// The icon resource of the language's flag (18 x 12 pixels); 0 outside 0..19.
UINT LanguageFlagIcon(LanguageIndex index);

// The language of the user's default UI language if its bit is in mask (0: the state's
// allowed mask); otherwise English when the mask holds English, else French.
LanguageIndex DefaultLanguage(std::uint32_t mask);

// The language's own name from the system's locale data, first letter upper case; empty when
// the system has none.
std::wstring LanguageNativeName(LanguageIndex index);

// Whether the language is written right to left, from the system's locale data (only Hebrew
// when the system cannot tell).
bool IsRightToLeft(LanguageIndex index);

// The locale SetLanguage stores for a language: the user's own locale when it belongs to
// the language's locale, else the language's locale.
LCID LanguageLocale(LanguageIndex index);

// The locale name given to the C and C++ runtimes for a locale: the user's own locale name
// when the user's language is the locale's language (fr-CA for French under a French-Canadian
// user), else the locale's own name; empty when the system has no name.
std::wstring RuntimeLocaleName(LCID locale);

// Makes a language current: its locale and code page; a changed language also changes the
// runtimes' locales (character types, collation and time; numbers and money stay "C").
void SetLanguage(LanguageIndex index);

// The start-up choice of the language: the user's language among the offered ones, then the
// value "KvLanguage" that an earlier installation stored, then English if the installer has
// no texts in the language. The application's name becomes the installer title.
void ChooseStartupLanguage();

// The start page's response to a picked language. For a language without installer texts it
// tells the user, in English, that the product will be installed in that language and the
// installer runs in English. Then the application's name follows the language and the
// language-change handler runs.
void ChangeLanguage(LanguageIndex index);

// Run by ChangeLanguage after every change: the wizard frame re-reads its texts here while it
// exists (an empty handler removes it).
void SetLanguageChangeHandler(std::function<void()> handler);
