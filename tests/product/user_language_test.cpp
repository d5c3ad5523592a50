// The language choices that follow the user's language. Each suite runs in a process that
// Wine starts under the language named in TAVELO_USER_LOCALE (LC_ALL); see CMakeLists.txt.
#include "product/languages.h"

#include "framework/application_name.h"
#include "product/product_identity.h"
#include "ui/messages.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

class UserLanguage : public testing::Test {
protected:
    void ExpectUserLanguage(LANGID expected)
    {
        if (!std::getenv("TAVELO_USER_LOCALE"))
            GTEST_SKIP() << "runs only in a process started with LC_ALL by ctest";
        ASSERT_EQ(::GetUserDefaultLangID(), expected);
        SetProductCode(product::kThisProductCode);
    }
};

using GreekUser = UserLanguage;
using ChinesePrcUser = UserLanguage;
using ChineseTaiwanUser = UserLanguage;
using FrenchCanadianUser = UserLanguage;
using HebrewUser = UserLanguage;

TEST_F(GreekUser, StartsInGreekThenFallsBackToEnglish)
{
    ExpectUserLanguage(0x0408);
    EXPECT_EQ(DefaultLanguage(OfferedLanguages), 14);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kEnglish);
    EXPECT_EQ(GetLanguageState().locale, 1033u);
    EXPECT_EQ(AfxGetAppName(), L"Installer \u2013 Tavelo 7.01j");
}

TEST_F(GreekUser, LanguageNotInTheMaskGivesTheFallback)
{
    ExpectUserLanguage(0x0408);
    EXPECT_EQ(DefaultLanguage(0), kFrench);
    EXPECT_EQ(DefaultLanguage(1u << kEnglish), kEnglish);
    EXPECT_EQ(DefaultLanguage(1u << 14), 14);
}

TEST_F(GreekUser, GreekLocaleIsTheUsersOwn)
{
    ExpectUserLanguage(0x0408);
    SetLanguage(14);
    EXPECT_EQ(GetLanguageState().locale, ::GetUserDefaultLCID());
    EXPECT_EQ(GetLanguageState().codePage, 1253u);
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "Greek_Greece.1253");
}

TEST_F(ChinesePrcUser, StartsInChineseThenFallsBackToEnglish)
{
    ExpectUserLanguage(0x0804);
    EXPECT_EQ(DefaultLanguage(OfferedLanguages), 10);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kEnglish);
}

TEST_F(ChineseTaiwanUser, TraditionalChineseCountsAsUnlisted)
{
    ExpectUserLanguage(0x0404);
    EXPECT_EQ(DefaultLanguage(OfferedLanguages), kEnglish);
    EXPECT_EQ(DefaultLanguage(1u << 10), kFrench);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kEnglish);
}

TEST_F(FrenchCanadianUser, FrenchStoresItsOwnLocaleButTheRuntimesTakeTheUsers)
{
    ExpectUserLanguage(0x0C0C);
    EXPECT_EQ(DefaultLanguage(OfferedLanguages), kFrench);
    EXPECT_EQ(DefaultLanguage(0), kFrench);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kFrench);
    EXPECT_EQ(GetLanguageState().locale, 1036u);
    EXPECT_EQ(RuntimeLocaleName(GetLanguageState().locale), L"fr-CA");
    EXPECT_EQ(::GetThreadLocale(), 1036u);
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "French_Canada.1252");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(AfxGetAppName(), L"Programme d'installation \u2013 Tavelo 7.01j");

    // Another language and back: the runtimes follow each change.
    SetLanguage(kEnglish);
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "English_United States.1252");
    SetLanguage(kFrench);
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "French_Canada.1252");
}

TEST_F(FrenchCanadianUser, NativeNameOfFrench)
{
    ExpectUserLanguage(0x0C0C);
    EXPECT_EQ(LanguageNativeName(kFrench), L"Fran\u00E7ais");
}

TEST_F(HebrewUser, RightToLeftBoxesOnlyWhenTheAllowedLanguagesLetHebrewBeTheDefault)
{
    ExpectUserLanguage(0x040D);
    EXPECT_EQ(DefaultLanguage(OfferedLanguages), 16);
    // The installer never widens the allowed mask: French, left to right.
    EXPECT_EQ(MessageReadingDirection(nullptr), 0u);
    GetLanguageState().allowedMask = OfferedLanguages;
    EXPECT_EQ(MessageReadingDirection(nullptr), UINT(MB_RTLREADING));
    GetLanguageState().allowedMask = 1;
}

} // namespace
