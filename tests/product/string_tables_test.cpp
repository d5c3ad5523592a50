// The string tables compiled into the built installer: every translated language has every
// text, with the placeholders and line breaks of the English text.
#include "product/languages.h"
#include "support/installer_module.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::vector<int> kUsedOffsets = {0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,
                                       14,  15,  16,  17,  18,  100, 101, 102, 103, 104, 105, 106, 107, 108,
                                       109, 110, 111, 112, 113, 114, 115, 117, 118, 119, 120, 121, 122, 123,
                                       124, 125, 126, 127, 128, 129, 130, 131, 132, 134};
constexpr int kEmptyEverywhere = 109;
constexpr int kDirectXStep = 131;

std::vector<std::wstring> Placeholders(const std::wstring& text)
{
    std::vector<std::wstring> found;
    for (std::size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at + 2))
        found.push_back(text.substr(at, 2));
    std::sort(found.begin(), found.end());
    return found;
}

std::size_t LineBreaks(const std::wstring& text)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at + 2))
        ++count;
    return count;
}

class InstallerStringTables : public testing::Test {
protected:
    std::wstring Text(UINT id) const
    {
        const wchar_t* text = nullptr;
        // A buffer size of 0 gives a pointer to the resource's own, unterminated copy.
        const int length = ::LoadStringW(module_.get(), id, reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
    }

    const kv::unique_module module_ = testing_support::LoadInstallerResources();
};

TEST_F(InstallerStringTables, EveryTranslatedLanguageHasEveryTextWithTheEnglishPlaceholders)
{
    for (LanguageIndex language = 0; language < kLanguageCount; ++language) {
        if (!IsInstallerTranslated(language))
            continue;
        const UINT base = LanguageTextBase(language);
        for (int offset : kUsedOffsets) {
            if (offset == kEmptyEverywhere || offset == kDirectXStep)
                continue;
            const std::wstring english = Text(2000 + offset);
            const std::wstring text = Text(base + offset);
            EXPECT_FALSE(text.empty()) << "language " << language << " offset " << offset;
            EXPECT_NE(text, L"#") << "language " << language << " offset " << offset;
            EXPECT_EQ(Placeholders(text), Placeholders(english)) << "language " << language << " offset " << offset;
            EXPECT_EQ(LineBreaks(text), LineBreaks(english)) << "language " << language << " offset " << offset;
        }
        EXPECT_EQ(Text(base + kEmptyEverywhere), L"") << language;
    }
}

TEST_F(InstallerStringTables, DirectXStepIsTranslatedInFrenchOnly)
{
    for (LanguageIndex language = 0; language < kLanguageCount; ++language) {
        if (!IsInstallerTranslated(language))
            continue;
        EXPECT_EQ(Text(LanguageTextBase(language) + kDirectXStep),
                  language == kFrench ? L"Mise \u00E0 jour de DirectX..." : L"#")
            << language;
    }
}

TEST_F(InstallerStringTables, LangageIsMisspeltInEnglishAndFrenchOnly)
{
    for (LanguageIndex language = 0; language < kLanguageCount; ++language) {
        if (!IsInstallerTranslated(language))
            continue;
        for (int offset : {14, 129}) {
            const bool misspelt = Text(LanguageTextBase(language) + offset).find(L"Langage") != std::wstring::npos;
            EXPECT_EQ(misspelt, language == kFrench || language == kEnglish) << language << " " << offset;
        }
    }
}

TEST_F(InstallerStringTables, FrameworkPromptsAreThere)
{
    EXPECT_EQ(Text(61705), L"Command failed.");
    EXPECT_EQ(Text(61715), L"Enter no more than %1 characters.");
}

} // namespace
