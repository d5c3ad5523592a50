// Pictures of every page of the wizard in English and in French, with the language list
// open and the About box, saved as PNG files into the build folder's "screenshots" for a
// person to look at.
#include "resources/dialog_ids.h"
#include "support/test_support.h"
#include "tools/test_driver/window_driver.h"
#include "ui/ui_services.h"
#include "ui/wizard_frame.h"

#include "wizard_session.h"

#include <gtest/gtest.h>

namespace {

using namespace wizard_testing;

class WizardScreenshots : public testing::TestWithParam<const wchar_t*> {
protected:
    EnglishWizardEnvironment english_;
    InstallState state_ = FreshState();
    FakeInstallation installation_;
};

TEST_P(WizardScreenshots, EveryPage)
{
    const std::wstring language = GetParam();
    UseApplicationIcon();
    std::vector<std::wstring> saved;
    auto picture = [&](HWND window, const std::wstring& what) {
        const std::wstring name = L"wizard_" + language + L"_" + what;
        SaveWindowPicture(window, name);
        saved.push_back(name);
    };
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        const HWND list = driver::FindControl(frame, IDC_LANGUAGE_LIST);
        if (language == L"fr")
            driver::SelectComboItem(list, 0);
        picture(frame, L"0_start");

        // The open list is a window of its own on top of the frame. It closes as soon as a
        // window of a test running beside this one takes the focus: then it is opened again.
        COMBOBOXINFO info{sizeof info};
        ::GetComboBoxInfo(reinterpret_cast<HWND>(::SendMessageW(list, CBEM_GETCOMBOCONTROL, 0, 0)), &info);
        bool pictured = false;
        for (int attempt = 0; attempt < 5 && !pictured; ++attempt) {
            ::SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
            driver::Settle();
            if (::IsWindowVisible(info.hwndList)) {
                SaveWindowPicture(info.hwndList, L"wizard_" + language + L"_0_start_list");
                pictured = ::IsWindowVisible(info.hwndList) != FALSE;
            }
        }
        EXPECT_TRUE(pictured) << "the language list did not stay open";
        saved.push_back(L"wizard_" + language + L"_0_start_list");
        ::SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);

        ::PostMessageW(frame, WM_SYSCOMMAND, CInstallDlg::kAboutCommand, 0);
        const HWND about = driver::WaitForWindow(
            ::GetCurrentProcessId(),
            [&](HWND w) { return w != frame && driver::ClassName(w) == L"#32770"; }, driver::milliseconds(10000));
        ASSERT_NE(about, nullptr);
        picture(about, L"about");
        driver::Click(::GetDlgItem(about, IDOK));
        for (int i = 0; i < 100 && ::IsWindow(about); ++i)
            driver::Settle(driver::milliseconds(50));

        Press(frame, IDOK);
        driver::SetChecked(frame, IDC_MODE_ADVANCED, true);
        picture(frame, L"1_mode");
        Press(frame, IDOK);
        picture(frame, L"2_folder");
        Press(frame, IDOK);
        picture(frame, L"3_shortcuts");
        Press(frame, IDOK);
        picture(frame, L"4_summary");
        Press(frame, IDOK);
        ASSERT_TRUE(driver::WaitForEnabled(frame, IDCANCEL));
        picture(frame, L"4_installed");
        Press(frame, IDOK);
        picture(frame, L"5_end");
    });
    EXPECT_EQ(saved.size(), 9u);
    const std::wstring folder = testing_support::BuiltFile(L"TAVELO_BUILD_DIR") + L"\\screenshots\\";
    for (const std::wstring& name : saved)
        EXPECT_GT(testing_support::ReadFileBytes(folder + name + L".png").size(), 1000u) << name;
}

INSTANTIATE_TEST_SUITE_P(Languages, WizardScreenshots, testing::Values(L"en", L"fr"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return std::wstring(info.param) == L"en" ? std::string("English") : std::string("French");
                         });

} // namespace
