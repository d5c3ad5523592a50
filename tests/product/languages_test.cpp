#include "product/languages.h"

#include "framework/application_name.h"
#include "product/texts.h"
#include "support/message_box_answerer.h"

#include "language_state_guard.h"

#include <gtest/gtest.h>

#include <clocale>
#include <set>
#include <string>

namespace {

using testing_support::MessageBoxAnswerer;

std::string RuntimeLocale(int category)
{
    const char* name = std::setlocale(category, nullptr);
    return name ? name : "";
}

TEST(LanguageTable, LocalesOfTheTwentyLanguagesAndFrenchOutsideThem)
{
    const LCID expected[20] = {1036, 1033, 1031, 3082, 2070, 1043, 1030, 1055, 1026, 1048,
                               2052, 1040, 1029, 1044, 1032, 1045, 1037, 1066, 1041, 1038};
    for (LanguageIndex i = 1; i < 20; ++i)
        EXPECT_EQ(LanguageLcid(i), expected[i]) << i;
    for (LanguageIndex outside : {0, -1, 20, 21, 1000})
        EXPECT_EQ(LanguageLcid(outside), 1036u) << outside;
}

TEST(LanguageTable, OfferedLanguagesAreExactlyTheMask)
{
    std::uint32_t mask = 0;
    for (LanguageIndex i = 0; i < kLanguageCount; ++i)
        if (IsLanguageOffered(i))
            mask |= 1u << i;
    EXPECT_EQ(mask, 0xB4EBFu);
    EXPECT_EQ(OfferedLanguages, 741055u);
    for (LanguageIndex outside : {-1, 20, 32, 0x7FFFFFFF})
        EXPECT_FALSE(IsLanguageOffered(outside)) << outside;
}

TEST(LanguageTable, InstallerTextsExistInEightLanguages)
{
    std::set<LanguageIndex> translated;
    for (LanguageIndex i = 0; i < kLanguageCount; ++i)
        if (IsInstallerTranslated(i))
            translated.insert(i);
    EXPECT_EQ(translated, (std::set<LanguageIndex>{0, 1, 2, 3, 4, 7, 9, 11}));
}

TEST(LanguageTable, TextBlocksDoNotFollowTheIndex)
{
    const UINT expected[20] = {1000,  2000,  3000,  4000,  5000,  7000,  8000,  9000,  11000, 12000,
                               10000, 6000,  13000, 14000, 15000, 16000, 17000, 18000, 19000, 20000};
    for (LanguageIndex i = 0; i < kLanguageCount; ++i)
        EXPECT_EQ(LanguageTextBase(i), expected[i]) << i;
}

TEST(LanguageTable, FlagIconsSkip159)
{
    const UINT expected[20] = {144, 145, 141, 143, 148, 147, 142, 149, 150, 151,
                               152, 146, 153, 154, 155, 156, 157, 158, 160, 161};
    for (LanguageIndex i = 0; i < kLanguageCount; ++i)
        EXPECT_EQ(LanguageFlagIcon(i), expected[i]) << i;
}

TEST(LanguageTable, StartPageListsEveryOfferedLanguageOnceInItsOrder)
{
    EXPECT_EQ(kStartPageLanguages, (std::array<LanguageIndex, 14>{0, 1, 2, 3, 11, 4, 5, 14, 7, 9, 10, 16, 17, 19}));
    std::uint32_t mask = 0;
    for (LanguageIndex i : kStartPageLanguages)
        mask |= 1u << i;
    EXPECT_EQ(mask, OfferedLanguages);
}

class PrefixUserLanguage : public testing::Test {
protected:
    void SetUp() override
    {
        // The test prefix runs under English (United States).
        ASSERT_EQ(::GetUserDefaultLangID(), 0x0409);
    }
    LanguageStateGuard guard_;
};

TEST_F(PrefixUserLanguage, EnglishUserGetsTheFallbackOfTheMask)
{
    EXPECT_EQ(DefaultLanguage(OfferedLanguages), kEnglish);
    EXPECT_EQ(DefaultLanguage(1u << kEnglish), kEnglish);
    // Without English in the mask the fallback is French, also for an English user.
    EXPECT_EQ(DefaultLanguage(1u << 2), kFrench);
    // No mask: the state's allowed mask, French alone.
    EXPECT_EQ(GetLanguageState().allowedMask, 1u);
    EXPECT_EQ(DefaultLanguage(0), kFrench);
}

TEST_F(PrefixUserLanguage, FirstUseOfTheStateSetsTheThreadLocaleToFrenchForGood)
{
    GetLanguageState();
    EXPECT_EQ(::GetThreadLocale(), 1036u);
    SetLanguage(14);
    EXPECT_EQ(::GetThreadLocale(), 1036u);
}

TEST_F(PrefixUserLanguage, SetLanguageStoresLocaleAndCodePageAndForgetsTheResourceModule)
{
    struct Case {
        LanguageIndex index;
        LCID locale;
        UINT codePage;
    };
    for (const Case& c : {Case{14, 1032, 1253}, Case{10, 2052, 936}, Case{16, 1037, 1255}, Case{18, 1041, 932},
                          Case{19, 1038, 1250}, Case{0, 1036, 1252}, Case{1, 1033, 1252}}) {
        GetLanguageState().resourceModule = ::GetModuleHandleW(nullptr);
        SetLanguage(c.index);
        EXPECT_EQ(CurrentLanguage(), c.index);
        EXPECT_EQ(GetLanguageState().locale, c.locale) << c.index;
        EXPECT_EQ(GetLanguageState().codePage, c.codePage) << c.index;
        EXPECT_EQ(GetLanguageState().resourceModule, nullptr) << c.index;
    }
}

TEST_F(PrefixUserLanguage, ChangedLanguageSetsTheRuntimeCharacterCollationAndTimeLocale)
{
    SetLanguage(kEnglish);
    SetLanguage(14);
    for (int category : {LC_CTYPE, LC_COLLATE, LC_TIME})
        EXPECT_EQ(RuntimeLocale(category), "Greek_Greece.1253") << category;
    for (int category : {LC_NUMERIC, LC_MONETARY})
        EXPECT_EQ(RuntimeLocale(category), "C") << category;

    // The same language again leaves the runtime alone.
    std::setlocale(LC_CTYPE, "C");
    SetLanguage(14);
    EXPECT_EQ(RuntimeLocale(LC_CTYPE), "C");

    SetLanguage(kEnglish);
    EXPECT_EQ(RuntimeLocale(LC_CTYPE), "English_United States.1252");
}

TEST_F(PrefixUserLanguage, RuntimeLocaleNameIsTheLocalesOwnUnlessTheUserSharesItsLanguage)
{
    EXPECT_EQ(RuntimeLocaleName(1036), L"fr-FR");
    EXPECT_EQ(RuntimeLocaleName(1032), L"el-GR");
    EXPECT_EQ(RuntimeLocaleName(1033), L"en-US");
    // English (United Kingdom) shares its language with the user: the user's own name.
    EXPECT_EQ(RuntimeLocaleName(2057), L"en-US");
}

TEST(LanguageNames, NativeNameWithCapitalFirstLetter)
{
    EXPECT_EQ(LanguageNativeName(0), L"Fran\u00E7ais");
    EXPECT_EQ(LanguageNativeName(1), L"English");
    EXPECT_EQ(LanguageNativeName(2), L"Deutsch");
    EXPECT_EQ(LanguageNativeName(11), L"Italiano");
    EXPECT_EQ(LanguageNativeName(19), L"Magyar");
    EXPECT_EQ(LanguageNativeName(14), L"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC");
    EXPECT_EQ(LanguageNativeName(17), L"Ti\u1EBFng Vi\u1EC7t");
}

TEST(LanguageNames, NativeNameOfEveryOfferedLanguageExists)
{
    for (LanguageIndex i : kStartPageLanguages)
        EXPECT_FALSE(LanguageNativeName(i).empty()) << i;
}

TEST(LanguageDirection, OnlyHebrewIsWrittenRightToLeft)
{
    for (LanguageIndex i = 0; i < kLanguageCount; ++i)
        EXPECT_EQ(IsRightToLeft(i), i == 16) << i;
}

class LanguageChange : public testing::Test {
protected:
    void SetUp() override
    {
        SetLanguageChangeHandler([this] {
            ++handlerCalls_;
            titleSeenByHandler_ = AfxGetAppName();
        });
    }
    LanguageStateGuard guard_;
    int handlerCalls_ = 0;
    std::wstring titleSeenByHandler_;
};

TEST_F(LanguageChange, TranslatedLanguageChangesTitleAndTextsWithoutMessage)
{
    SetLanguage(kEnglish);
    AfxSetAppName(InstallerTitle(true));
    MessageBoxAnswerer answerer(IDOK);

    ChangeLanguage(2);

    EXPECT_EQ(CurrentLanguage(), 2);
    EXPECT_EQ(AfxGetAppName(), L"Installationsprogramm \u2013 Tavelo 7.01j");
    EXPECT_EQ(handlerCalls_, 1);
    EXPECT_EQ(titleSeenByHandler_, L"Installationsprogramm \u2013 Tavelo 7.01j");
    EXPECT_TRUE(answerer.Seen().empty());
}

TEST_F(LanguageChange, UntranslatedLanguageIsAnnouncedInEnglishThenTheInstallerRunsInEnglish)
{
    SetLanguage(2);
    AfxSetAppName(InstallerTitle(true));
    MessageBoxAnswerer answerer(IDOK);

    ChangeLanguage(19);

    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"'Tavelo' will be installed in the selected Langage, but the Installer, still under "
                            L"translation,  shall run in English.");
    EXPECT_EQ(seen[0].caption, L"Installationsprogramm \u2013 Tavelo 7.01j");
    EXPECT_EQ(seen[0].icon, ::LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_EQ(CurrentLanguage(), kEnglish);
    EXPECT_EQ(AfxGetAppName(), L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(handlerCalls_, 1);
    EXPECT_EQ(titleSeenByHandler_, L"Installer \u2013 Tavelo 7.01j");
}

} // namespace
