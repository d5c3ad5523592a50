#include "product/texts.h"

#include "product/languages.h"
#include "product/product_identity.h"
#include "support/unique_resource.h"

#include <array>
#include <vector>

namespace {

// A string resource as it stands in the module. A string of length 0 is no string.
std::wstring ReadStringResource(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

constexpr int kFrenchBase = 1000;
constexpr int kEnglishBase = 2000;

struct SettledText {
    UINT id;
    std::wstring text;
};

// The text an offset settles on, each candidate read once: the current language's own (or
// English for an untranslated language), then English, then French, passing over "#".
SettledText Settle(int offset)
{
    LanguageIndex language = CurrentLanguage();
    if (!IsInstallerTranslated(language))
        language = kEnglish;

    const UINT french = kFrenchBase + offset;
    std::vector<UINT> candidates;
    if (language != kFrench) {
        candidates.push_back(LanguageTextBase(language) + offset);
        if (language != kEnglish)
            candidates.push_back(kEnglishBase + offset);
    }
    for (const UINT id : candidates)
        if (std::wstring text = LoadResourceString(id); text != L"#")
            return {id, std::move(text)};
    return {french, LoadResourceString(french)};
}

} // namespace

std::wstring LoadResourceString(UINT id)
{
    const HMODULE module = ResourceModule();
    const HMODULE executable = ::GetModuleHandleW(nullptr);
    std::wstring text = ReadStringResource(module, id);
    if (text.empty() && module != executable)
        text = ReadStringResource(executable, id);
    return text;
}

UINT TextIdentifier(int offset)
{
    return Settle(offset).id;
}

std::wstring LoadText(int offset)
{
    return Settle(offset).text;
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

std::wstring ContinueStatusText()
{
    return FormatText(LoadText(kTextContinue), LoadText(kTextNext));
}

std::wstring InstallerTitle(bool withProduct)
{
    std::wstring title = LoadText(kTextInstaller);
    if (withProduct)
        title.append(L" \u2013 ").append(ProductDisplayName(true));
    return title;
}
