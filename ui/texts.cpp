#include "ui/texts.h"

#include "app/product_identity.h"
#include "support/unique_resource.h"
#include "ui/languages.h"

#include <array>

namespace {

// A string resource read straight from its block: blocks of sixteen counted strings, block
// (id / 16) + 1. A string of length 0 is no string.
std::wstring ReadStringResource(HMODULE module, UINT id)
{
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* block = loaded ? static_cast<const WORD*>(::LockResource(loaded)) : nullptr;
    if (!block)
        return {};
    const std::size_t words = ::SizeofResource(module, found) / sizeof(WORD);
    std::size_t at = 0;
    for (UINT skip = id % 16; skip > 0; --skip) {
        if (at >= words)
            return {};
        at += 1 + block[at];
    }
    if (at >= words || at + 1 + block[at] > words)
        return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(block + at + 1), block[at]);
}

constexpr int kFrenchBase = 1000;
constexpr int kEnglishBase = 2000;

bool IsUntranslated(UINT id)
{
    return LoadResourceString(id) == L"#";
}

} // namespace

std::wstring LoadResourceString(UINT id)
{
    LanguageState& state = GetLanguageState();
    const HMODULE executable = ::GetModuleHandleW(nullptr);
    if (!state.resourceModule)
        state.resourceModule = executable;
    std::wstring text = ReadStringResource(state.resourceModule, id);
    if (text.empty() && state.resourceModule != executable)
        text = ReadStringResource(executable, id);
    return text;
}

UINT TextIdentifier(int offset)
{
    LanguageIndex language = CurrentLanguage();
    if (!IsInstallerTranslated(language))
        language = kEnglish;

    const UINT french = kFrenchBase + offset;
    if (language == kFrench)
        return french;
    const UINT own = LanguageTextBase(language) + offset;
    if (!IsUntranslated(own))
        return own;
    if (language == kEnglish)
        return french;
    const UINT english = kEnglishBase + offset;
    return IsUntranslated(english) ? french : english;
}

std::wstring LoadText(int offset)
{
    return LoadResourceString(TextIdentifier(offset));
}

std::wstring FormatTextArguments(const std::wstring& text, const std::vector<std::wstring>& arguments)
{
    if (text.empty())
        return {};
    // Every number the formatter accepts has an argument, so that a text asking for more
    // arguments than it was given reads empty ones instead of memory behind the list.
    std::array<DWORD_PTR, 99> list;
    list.fill(reinterpret_cast<DWORD_PTR>(L""));
    for (std::size_t i = 0; i < arguments.size() && i < list.size(); ++i)
        list[i] = reinterpret_cast<DWORD_PTR>(arguments[i].c_str());

    kv::unique_local_ptr<wchar_t> formatted;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER, text.c_str(), 0, 0,
        reinterpret_cast<LPWSTR>(formatted.put()), 0, reinterpret_cast<va_list*>(list.data()));
    // A text the formatter refuses (a lone "%" at its end) is shown as it is.
    return length ? std::wstring(formatted.get(), length) : text;
}

std::wstring InstallerTitle(bool withProduct)
{
    std::wstring title = LoadText(0);
    if (withProduct)
        title.append(L" \u2013 ").append(ProductDisplayName(true));
    return title;
}
