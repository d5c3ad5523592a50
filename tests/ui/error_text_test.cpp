#include "ui/error_text.h"

#include "product/languages.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include "product/language_state_guard.h"

#include <gtest/gtest.h>

namespace {

// Wine's texts, which the system gives under the test prefix.
constexpr wchar_t kAccessDenied[] = L"Access denied.";
constexpr wchar_t kFailText[] = L"Call failed.";

TEST(ErrorText, SystemTextWithoutItsLineBreak)
{
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED, 0), kAccessDenied);
    EXPECT_EQ(ErrorText(ERROR_BUSY, 0), L"Resource in use.");
    EXPECT_EQ(ErrorText(static_cast<DWORD>(E_FAIL), 0), kFailText);
}

TEST(ErrorText, TextInTheRequestedLanguage)
{
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED, 0x040C), L"Acc\u00E8s refus\u00E9.");
    // Only the low 16 bits name the language.
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED, 0x7FFF040C), L"Acc\u00E8s refus\u00E9.");
}

TEST(ErrorText, LanguageWithoutTextsFallsBackToTheSystemsChoice)
{
    // The system has no Afrikaans texts.
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED, 0x0436), kAccessDenied);
    EXPECT_EQ(ErrorText(0x12345678, 0x0436), kFailText);
}

TEST(ErrorText, CodeWithoutTextGivesTheTextOfEFail)
{
    EXPECT_EQ(ErrorText(0x12345678, 0), kFailText);
    EXPECT_EQ(ErrorText(0x2000F109, 0), kFailText);
}

class ErrorCodeTexts : public testing::Test {
protected:
    LanguageStateGuard guard_;
};

TEST_F(ErrorCodeTexts, SystemCodesGiveTheSystemsText)
{
    EXPECT_EQ(ErrorCodeText(ERROR_ACCESS_DENIED), kAccessDenied);
    EXPECT_EQ(ErrorCodeText(ERROR_BUSY), L"Resource in use.");
    // No system text for E_UNEXPECTED under Wine.
    EXPECT_EQ(ErrorCodeText(0x8000FFFF), kFailText);
}

TEST_F(ErrorCodeTexts, CustomerCodeWithStringBitNamesAStringResource)
{
    EXPECT_EQ(ErrorCodeText(0x20000000 | 0x08000000 | 61705), L"Command failed.");
    // Bits between 16 and 26 and above 29 do not matter.
    EXPECT_EQ(ErrorCodeText(0xE8FFF109), L"Command failed.");
    EXPECT_EQ(ErrorCodeText(0x28000000 | 61715), L"Enter no more than %1 characters.");
}

TEST_F(ErrorCodeTexts, CustomerCodeWithoutUsableStringGivesTheTextOfEFail)
{
    EXPECT_EQ(ErrorCodeText(0x20000000 | 61705), kFailText);   // string bit clear
    EXPECT_EQ(ErrorCodeText(0x28000000), kFailText);           // identifier 0
    EXPECT_EQ(ErrorCodeText(0x28000000 | 59999), kFailText);   // no such string
    EXPECT_EQ(ErrorCodeText(0x28000000 | 2109), kFailText);    // an empty text
}

TEST_F(ErrorCodeTexts, StringIsSoughtInTheResourceModuleThenInTheExecutable)
{
    kv::unique_module blank(::LoadLibraryExW(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE").c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(blank);
    GetLanguageState().resourceModule = blank.get();
    EXPECT_EQ(ErrorCodeText(0x28000000 | 61705), L"Command failed.");
    GetLanguageState().resourceModule = nullptr;
}

} // namespace
