// The start-up choice of the language with a "KvLanguage" value that an earlier installation
// stored under the product's uninstall key. The prefix's user language is English.
#include "product/languages.h"

#include "framework/application_name.h"
#include "product/product_identity.h"
#include "support/unique_resource.h"

#include "language_state_guard.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr wchar_t kProductKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

// Puts the product's uninstall key back as the test found it: the key, and its KvLanguage value.
class SavedKvLanguage {
public:
    SavedKvLanguage()
    {
        kv::unique_hkey key;
        keyExisted_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
        DWORD size = 0;
        if (keyExisted_
            && ::RegQueryValueExW(key.get(), L"KvLanguage", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            value_.emplace(size);
            ::RegQueryValueExW(key.get(), L"KvLanguage", nullptr, &type_, value_->data(), &size);
        }
    }
    ~SavedKvLanguage()
    {
        if (!keyExisted_) {
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey);
            return;
        }
        kv::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
            return;
        if (value_)
            ::RegSetValueExW(key.get(), L"KvLanguage", 0, type_, value_->data(), static_cast<DWORD>(value_->size()));
        else
            ::RegDeleteValueW(key.get(), L"KvLanguage");
    }

private:
    bool keyExisted_ = false;
    DWORD type_ = 0;
    std::optional<std::vector<BYTE>> value_;
};

class StartupLanguage : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::GetUserDefaultLangID(), 0x0409);
        SetProductCode(product::kThisProductCode);
        SetLanguage(kFrench);
    }

    void Store(DWORD type, const void* data, DWORD size)
    {
        kv::unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                                    nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), L"KvLanguage", 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }

    void StoreIndex(DWORD index) { Store(REG_DWORD, &index, sizeof index); }

    void Remove()
    {
        kv::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(key.get(), L"KvLanguage");
    }

    SavedKvLanguage saved_;
    LanguageStateGuard guard_;
};

// Without a saved language, or with one that is not offered (6), has no installer texts (5), or
// lies outside the table, the user's language is taken: English in the prefix.
TEST_F(StartupLanguage, WithoutAUsableSavedLanguageTheUsersLanguageAndTheInstallerTitle)
{
    const std::optional<DWORD> cases[] = {std::nullopt, 6, 5, 20, 0xFFFFFFFF, 0x80000002};
    for (const std::optional<DWORD>& saved : cases) {
        SetLanguage(kFrench);
        if (saved)
            StoreIndex(*saved);
        else
            Remove();
        ChooseStartupLanguage();
        EXPECT_EQ(CurrentLanguage(), kEnglish) << saved.value_or(~0ul);
        EXPECT_EQ(AfxGetAppName(), L"Installer \u2013 Tavelo 7.01j") << saved.value_or(~0ul);
    }
}

TEST_F(StartupLanguage, SavedOfferedTranslatedLanguageIsTaken)
{
    StoreIndex(11);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), 11);
    EXPECT_EQ(GetLanguageState().locale, 1040u);
    EXPECT_EQ(AfxGetAppName(), L"Programma di installazione \u2013 Tavelo 7.01j");

    StoreIndex(0);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kFrench);
    EXPECT_EQ(AfxGetAppName(), L"Programme d'installation \u2013 Tavelo 7.01j");
}

TEST_F(StartupLanguage, SavedValueOfAnotherKindIsIgnored)
{
    const ULONGLONG wide = 11;
    Store(REG_QWORD, &wide, sizeof wide);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kEnglish);
    const wchar_t text[] = L"11";
    Store(REG_SZ, text, sizeof text);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kEnglish);
    const DWORD italian = 11;
    Store(REG_BINARY, &italian, sizeof italian);
    ChooseStartupLanguage();
    EXPECT_EQ(CurrentLanguage(), kEnglish);
}

} // namespace
