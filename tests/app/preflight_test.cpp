// The checks before the wizard, on the real installer.
#include "startup_test_support.h"

#include "support/file_tree_snapshot.h"
#include "support/registry_snapshot.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace startup_testing;

std::wstring SystemText(DWORD code)
{
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring result = text ? text : L"";
    ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n'))
        result.pop_back();
    return result;
}

TEST(Preflight, SecondInstallerEndsAtOnceWithTheBusyErrorAndLeavesTheFirstAlone)
{
    const driver::Process first = StartInstaller();
    HWND wizard = WaitForWizard(first);
    ASSERT_NE(wizard, nullptr);

    const driver::Process second = StartInstaller();
    HWND box = driver::WaitForMessageBox(second.id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::MessageBoxText(box), SystemText(ERROR_BUSY));
    // Shown before the language choice: the caption is the executable's name.
    EXPECT_EQ(driver::WindowText(box), L"InstallTavelo7.01j");
    EXPECT_EQ(driver::MessageBoxButtons(box), std::vector<int>{IDOK});
    EXPECT_EQ(driver::TopLevelWindows(second.id()).size(), 1u) << "no wizard of its own";
    driver::ClickControl(box, IDOK);
    EXPECT_TRUE(second.WaitForExit().has_value());

    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(driver::IsVisible(wizard));
    EXPECT_TRUE(driver::IsEnabled(driver::FindControl(wizard, IDOK)));
    EXPECT_TRUE(CloseWizard(first, wizard).has_value());
}

TEST(Preflight, RunningProductIsToldToCloseAndRetryGoesOnOnceItHasEnded)
{
    RunningProduct product;
    ASSERT_TRUE(product.Started());

    const driver::Process installer = StartInstaller();
    HWND box = driver::WaitForMessageBox(installer.id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::MessageBoxText(box), L"You should close 'Tavelo' before continuing Installation.");
    EXPECT_EQ(driver::WindowText(box), WizardTitle(2000));
    EXPECT_EQ(driver::MessageBoxButtons(box), (std::vector<int>{IDRETRY, IDCANCEL}));

    // Retry while the product still runs: the same question again.
    driver::ClickControl(box, IDRETRY);
    driver::Settle(driver::milliseconds(500));
    box = driver::WaitForMessageBox(installer.id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::MessageBoxText(box), L"You should close 'Tavelo' before continuing Installation.");

    product.Close();
    driver::ClickControl(box, IDRETRY);
    HWND wizard = WaitForWizard(installer);
    ASSERT_NE(wizard, nullptr);
    EXPECT_TRUE(CloseWizard(installer, wizard).has_value());
}

TEST(Preflight, CancelWhileTheProductRunsEndsTheInstallerWithoutAnyChange)
{
    using namespace testing_support;
    const auto programFilesBefore = SnapshotFileTree(L"C:\\Program Files");
    const auto dataBefore = SnapshotFileTree(L"C:\\ProgramData");
    const auto makerKeyBefore = SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane");
    const auto uninstallBefore =
        SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

    {
        RunningProduct product;
        ASSERT_TRUE(product.Started());
        const driver::Process installer = StartInstaller();
        HWND box = driver::WaitForMessageBox(installer.id());
        ASSERT_NE(box, nullptr);
        driver::ClickControl(box, IDCANCEL);
        EXPECT_TRUE(installer.WaitForExit().has_value());
        EXPECT_TRUE(driver::TopLevelWindows(installer.id()).empty());
    }

    EXPECT_EQ(SnapshotFileTree(L"C:\\Program Files"), programFilesBefore);
    EXPECT_EQ(SnapshotFileTree(L"C:\\ProgramData"), dataBefore);
    EXPECT_EQ(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane"), makerKeyBefore);
    EXPECT_EQ(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
              uninstallBefore);
}

struct SavedLanguageCase {
    DWORD saved;
    int expectedBase;   // text block of the language the wizard opens in
};

class SavedLanguage : public testing::TestWithParam<SavedLanguageCase> {};

TEST_P(SavedLanguage, ChoosesTheWizardLanguage)
{
    SetSavedLanguage(GetParam().saved);
    const driver::Process installer = StartInstaller();
    HWND wizard = WaitForWizard(installer);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(driver::WindowText(wizard), WizardTitle(GetParam().expectedBase));
    EXPECT_EQ(driver::ControlText(wizard, 1022), InstallerText(GetParam().expectedBase, 14));
    EXPECT_TRUE(CloseWizard(installer, wizard).has_value());
}

INSTANTIATE_TEST_SUITE_P(Preflight, SavedLanguage,
                         testing::Values(SavedLanguageCase{6, 2000},     // Danish is not offered: ignored
                                         SavedLanguageCase{5, 2000},     // Dutch has no installer texts
                                         SavedLanguageCase{11, 6000}),   // Italian
                         [](const testing::TestParamInfo<SavedLanguageCase>& info) {
                             return "Saved" + std::to_string(info.param.saved);
                         });

} // namespace
