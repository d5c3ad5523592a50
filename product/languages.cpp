#include "product/languages.h"

#include "framework/application_name.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "support/strings.h"

#include <shlwapi.h>

#include <algorithm>
#include <clocale>
#include <locale>

namespace {

struct LanguageRow {
    LCID locale;
    WORD primary;        // primary language of the UI languages that map to the row
    UINT textBase;
    bool translated;     // the installer's own texts exist
    bool offered;        // the start page lists it
    UINT flagIcon;
};

// Indexed by LanguageIndex; a language's bit in a mask is 1 << index.
constexpr LanguageRow kLanguages[kLanguageCount] = {
    {1036, 0x0C, 1000, true, true, 144},     // French
    {1033, 0x09, 2000, true, true, 145},     // English, and every unlisted language
    {1031, 0x07, 3000, true, true, 141},     // German
    {3082, 0x0A, 4000, true, true, 143},     // Spanish
    {2070, 0x16, 5000, true, true, 148},     // Portuguese
    {1043, 0x13, 7000, false, true, 147},    // Dutch
    {1030, 0x06, 8000, false, false, 142},   // Danish
    {1055, 0x1F, 9000, true, true, 149},     // Turkish
    {1026, 0x02, 11000, false, false, 150},  // Bulgarian
    {1048, 0x18, 12000, true, true, 151},    // Romanian
    {2052, 0x04, 10000, false, true, 152},   // Chinese (simplified): sub-languages 2 and 4 only
    {1040, 0x10, 6000, true, true, 146},     // Italian
    {1029, 0x05, 13000, false, false, 153},  // Czech
    {1044, 0x14, 14000, false, false, 154},  // Norwegian
    {1032, 0x08, 15000, false, true, 155},   // Greek
    {1045, 0x15, 16000, false, false, 156},  // Polish
    {1037, 0x0D, 17000, false, true, 157},   // Hebrew
    {1066, 0x2A, 18000, false, true, 158},   // Vietnamese
    {1041, 0x11, 19000, false, false, 160},  // Japanese
    {1038, 0x0E, 20000, false, true, 161},   // Hungarian
};

constexpr LanguageIndex kChinese = 10;
constexpr LanguageIndex kHebrew = 16;

constexpr bool OfferedColumnMatchesMask()
{
    std::uint32_t mask = 0;
    for (LanguageIndex i = 0; i < kLanguageCount; ++i)
        if (kLanguages[i].offered)
            mask |= 1u << i;
    return mask == OfferedLanguages;
}
static_assert(OfferedColumnMatchesMask());

constexpr bool IsInTable(LanguageIndex index)
{
    return index >= 0 && index < kLanguageCount;
}


std::function<void()>& LanguageChangeHandler()
{
    static std::function<void()> handler;
    return handler;
}

UINT AnsiCodePage(LCID locale)
{
    DWORD codePage = 0;
    // With LOCALE_RETURN_NUMBER the value arrives as a number in the buffer: two wide characters.
    if (!::GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                          reinterpret_cast<LPWSTR>(&codePage), 2)
        || codePage == 0)
        codePage = ::GetACP();
    return codePage;
}

// One category of the C runtime. The runtime knows locale names in the form "fr_CA"; the
// system's form "fr-CA" is tried first.
void SetRuntimeCategory(int category, const std::string& name)
{
    if (std::setlocale(category, name.c_str()))
        return;
    std::string underscored = name;
    std::replace(underscored.begin(), underscored.end(), '-', '_');
    std::setlocale(category, underscored.c_str());
}

// The language's locale for the standard library and the C runtime.
void ApplyRuntimeLocale(LCID locale)
{
    const std::string name = kv::to_utf8(RuntimeLocaleName(locale));

    std::locale built;
    try {
        built = std::locale(name);
    } catch (const std::exception&) {
        built = std::locale::classic();
    }
    const std::locale::category categories = std::locale::ctype | std::locale::collate | std::locale::time;
    std::locale::global(std::locale(std::locale(), built, categories));

    std::setlocale(LC_ALL, "C");
    SetRuntimeCategory(LC_CTYPE, name);
    SetRuntimeCategory(LC_COLLATE, name);
    SetRuntimeCategory(LC_TIME, name);
}

} // namespace

LanguageState& GetLanguageState()
{
    static LanguageState* const state = [] {
        auto* created = new LanguageState;
        created->locale = LanguageLocale(kFrench);
        created->codePage = AnsiCodePage(created->locale);
        _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
        ApplyRuntimeLocale(created->locale);
        ::SetThreadLocale(created->locale);
        AfxSetResourceSource(&ResourceModule);
        return created;
    }();
    return *state;
}

HMODULE ResourceModule()
{
    LanguageState& state = GetLanguageState();
    if (!state.resourceModule)
        state.resourceModule = ::GetModuleHandleW(nullptr);
    return state.resourceModule;
}

LCID LanguageLcid(LanguageIndex index)
{
    if (index < 1 || index >= kLanguageCount)
        return 1036;
    return kLanguages[index].locale;
}

bool IsLanguageOffered(LanguageIndex index)
{
    return IsInTable(index) && kLanguages[index].offered;
}

bool IsInstallerTranslated(LanguageIndex index)
{
    return IsInTable(index) && kLanguages[index].translated;
}

UINT LanguageTextBase(LanguageIndex index)
{
    return IsInTable(index) ? kLanguages[index].textBase : 0;
}

UINT LanguageFlagIcon(LanguageIndex index)
{
    return IsInTable(index) ? kLanguages[index].flagIcon : 0;
}

LanguageIndex DefaultLanguage(std::uint32_t mask)
{
    if (mask == 0)
        mask = GetLanguageState().allowedMask;
    const LanguageIndex fallback = (mask & (1u << kEnglish)) ? kEnglish : kFrench;

    const LANGID user = ::GetUserDefaultLangID();
    const WORD primary = PRIMARYLANGID(user);
    for (LanguageIndex i = 0; i < kLanguageCount; ++i) {
        if (i == kEnglish || kLanguages[i].primary != primary)
            continue;
        // Only the simplified script (China, Singapore) is Chinese here; the others are unlisted.
        if (i == kChinese && SUBLANGID(user) != SUBLANG_CHINESE_SIMPLIFIED
            && SUBLANGID(user) != SUBLANG_CHINESE_SINGAPORE)
            break;
        return (mask & (1u << i)) ? i : fallback;
    }
    return fallback;
}

LCID LanguageLocale(LanguageIndex index)
{
    const LCID user = ::GetUserDefaultLCID();
    return LANGIDFROMLCID(user) == LanguageLcid(index) ? user : LanguageLcid(index);
}

std::wstring RuntimeLocaleName(LCID locale)
{
    // The user's language and the locale share their primary language: the user's own locale
    // name keeps the user's country.
    if (((::GetUserDefaultLangID() ^ locale) & 0x3FF) == 0)
        locale = LOCALE_USER_DEFAULT;
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (!::LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0))
        return {};
    return name;
}

std::wstring LanguageNativeName(LanguageIndex index)
{
    wchar_t name[128] = {};
    if (!::GetLocaleInfoW(LanguageLocale(index), LOCALE_SNATIVELANGNAME, name, static_cast<int>(std::size(name))))
        return {};
    ::CharUpperBuffW(name, 1);
    return name;
}

bool IsRightToLeft(LanguageIndex index)
{
    // LOCALESIGNATURE: the fourth 32-bit word holds Unicode subset bits 96..127; bit 123 marks
    // a script laid out right to left.
    DWORD signature[8] = {};   // sixteen wide characters
    if (!::GetLocaleInfoW(LanguageLcid(index), LOCALE_FONTSIGNATURE, reinterpret_cast<LPWSTR>(signature), 16))
        return index == kHebrew;
    return (signature[3] & (1u << 27)) != 0;
}

void SetLanguage(LanguageIndex index)
{
    LanguageState& state = GetLanguageState();
    const bool changed = index != state.currentIndex;
    state.currentIndex = index;
    state.locale = LanguageLocale(index);
    state.codePage = AnsiCodePage(state.locale);
    state.resourceModule = nullptr;
    if (changed)
        ApplyRuntimeLocale(state.locale);
}

void ChooseStartupLanguage()
{
    SetLanguage(DefaultLanguage(OfferedLanguages));

    const std::wstring key = std::wstring(kUninstallKeyPath) + L"\\" + ProductRegistryName();
    DWORD type = 0;
    DWORD saved = 0;
    DWORD size = sizeof saved;
    if (::SHGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"KvLanguage", &type, &saved, &size) == ERROR_SUCCESS
        && type == REG_DWORD && size == sizeof saved && saved < static_cast<DWORD>(kLanguageCount)
        && IsLanguageOffered(static_cast<LanguageIndex>(saved)))
        SetLanguage(static_cast<LanguageIndex>(saved));

    if (!IsInstallerTranslated(CurrentLanguage()))
        SetLanguage(kEnglish);

    AfxSetAppName(InstallerTitle(true));
}

void ChangeLanguage(LanguageIndex index)
{
    SetLanguage(index);
    if (!IsInstallerTranslated(index)) {
        // The lookup reads an untranslated language's texts in English.
        AfxMessageBox(FormatText(LoadText(kTextInstallerInEnglish), ProductDisplayName(false)), MB_ICONINFORMATION);
        SetLanguage(kEnglish);
    }
    AfxSetAppName(InstallerTitle(true));
    if (const std::function<void()>& handler = LanguageChangeHandler())
        handler();
}

void SetLanguageChangeHandler(std::function<void()> handler)
{
    LanguageChangeHandler() = std::move(handler);
}
