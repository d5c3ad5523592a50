// The start page tells what start-up found: the installed program named by the installation
// path value, compared by its file version.
#include "startup_test_support.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

using namespace startup_testing;

struct InstalledCase {
    const char* name;
    const wchar_t* program;   // environment variable of the built program; null: none at the path
    std::wstring situation;   // text of the start page's situation line
    std::wstring status;
    bool nextEnabled;
};

class Classification : public testing::TestWithParam<InstalledCase> {};

TEST_P(Classification, StartPageShowsWhatIsInstalled)
{
    const InstalledCase& c = GetParam();
    const std::wstring folder = L"C:\\Program Files\\Korvane\\Tavelo 7";
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    const std::wstring installed = folder + L"\\Tavelo.exe";
    ::SetFileAttributesW(installed.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(installed.c_str());
    if (c.program) {
        ASSERT_TRUE(::CopyFileW(testing_support::BuiltFile(c.program).c_str(), installed.c_str(), FALSE));
    }
    SetInstalledProgram(installed);

    const driver::Process installer = StartInstaller();
    HWND wizard = WaitForWizard(installer);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(driver::ControlText(wizard, 1016), c.situation);
    EXPECT_EQ(driver::ControlText(wizard, 1003), c.status);
    EXPECT_EQ(driver::IsEnabled(driver::FindControl(wizard, IDOK)), c.nextEnabled);
    EXPECT_TRUE(CloseWizard(installer, wizard).has_value());
}

const std::wstring kContinue = L"Click on 'Next' to continue.";

INSTANTIATE_TEST_SUITE_P(
    Startup, Classification,
    testing::Values(
        InstalledCase{"SameVersion", L"TAVELO_DEMO_MAIN_PROGRAM",
                      L"'Tavelo 7.01j' is already installed.\r\nDo you confirm Reinstallation ?",
                      L"Click on 'Next' to continue or on 'Cancel' to exit Installation.", true},
        InstalledCase{"OlderVersion", L"TAVELO_DEMO_MAIN_PROGRAM_701H", L"Update from 'Tavelo 7.01h' to 'Tavelo 7.01j'.",
                      kContinue, true},
        InstalledCase{"NewerMinorVersion", L"TAVELO_DEMO_MAIN_PROGRAM_702",
                      L"'Tavelo 7.01j' Installation.\r\nA more recent Version (Tavelo 7.02) is already installed.",
                      L"Click on 'Cancel' to exit Installation.", false},
        InstalledCase{"NewerMajorVersion", L"TAVELO_DEMO_MAIN_PROGRAM_800",
                      L"'Tavelo 7.01j' Installation.\r\nA more recent Version (Tavelo 8.00) is already installed.",
                      L"Click on 'Cancel' to exit Installation.", false},
        InstalledCase{"ProgramWithoutVersion", L"TAVELO_BLANK_MODULE",
                      L"'Tavelo 7.01j' is already installed.\r\nDo you confirm Reinstallation ?",
                      L"Click on 'Next' to continue or on 'Cancel' to exit Installation.", true},
        InstalledCase{"RegisteredProgramGone", nullptr, L"'Tavelo 7.01j' Installation.", kContinue, true}),
    [](const testing::TestParamInfo<InstalledCase>& info) { return std::string(info.param.name); });

TEST(Startup, WithoutEarlierInstallationTheFoldersAreTheDefaultOnes)
{
    const driver::Process installer = StartInstaller();
    HWND wizard = WaitForWizard(installer);
    ASSERT_NE(wizard, nullptr);
    // Quick mode: Next twice reaches the progress page and its summary of the options.
    driver::ClickControl(wizard, IDOK);
    driver::ClickControl(wizard, IDOK);
    ASSERT_TRUE(driver::WaitForText(wizard, 1015, [](const std::wstring& t) { return !t.empty(); }));
    const std::wstring summary = driver::ControlText(wizard, 1015);
    EXPECT_NE(summary.find(L"Installation Folder: \"C:\\Program Files\\Korvane\\Tavelo 7\"."), std::wstring::npos)
        << summary;
    EXPECT_NE(summary.find(L"Creating a Shortcut in the Start Menu (Folder "
                           L"\"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Korvane\\Tavelo 7\")."),
              std::wstring::npos)
        << summary;
    EXPECT_TRUE(CloseWizard(installer, wizard).has_value());
}

} // namespace
