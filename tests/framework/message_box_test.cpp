#include "framework/application.h"
#include "framework/message_box.h"

#include "tools/test_driver/window_driver.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(FrameworkMessageBox, DefaultIconFollowsTheButtons)
{
    EXPECT_EQ(AddDefaultIcon(MB_OK), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(AddDefaultIcon(MB_OKCANCEL), static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_EQ(AddDefaultIcon(MB_ABORTRETRYIGNORE), static_cast<UINT>(MB_ABORTRETRYIGNORE));
    EXPECT_EQ(AddDefaultIcon(MB_YESNOCANCEL), static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(AddDefaultIcon(MB_YESNO | MB_DEFBUTTON2), static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION));
    EXPECT_EQ(AddDefaultIcon(MB_RETRYCANCEL), static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_EQ(AddDefaultIcon(MB_YESNO | MB_ICONINFORMATION), static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
}

TEST(FrameworkMessageBox, HasTheApplicationNameAsCaptionAndTheMainWindowAsOwner)
{
    CWinApp application(L"Installer \u2013 Tavelo 7.01j");
    HWND main = ::CreateWindowExW(0, L"#32770", L"Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    application.SetMainWindow(main);

    std::wstring caption;
    HWND owner = nullptr;
    bool mainEnabled = true;
    std::thread user([&] {
        HWND box = driver::WaitForMessageBox(::GetCurrentProcessId(), driver::milliseconds(10000));
        if (!box)
            return;
        caption = driver::WindowText(box);
        owner = ::GetWindow(box, GW_OWNER);
        mainEnabled = ::IsWindowEnabled(main) != FALSE;
        driver::Click(::GetDlgItem(box, IDNO));
    });
    const int answer = AfxMessageBox(L"Do you still confirm exit Installation ?", MB_YESNO | MB_DEFBUTTON2);
    user.join();

    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(caption, L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(owner, main);
    EXPECT_FALSE(mainEnabled);
    EXPECT_TRUE(::IsWindowEnabled(main));
    EXPECT_TRUE(application.ModelessEnabled());
    ::DestroyWindow(main);
}

TEST(FrameworkMessageBox, ApplicationNameDefaultsToTheExecutableName)
{
    AfxSetAppName(L"");
    EXPECT_EQ(AfxGetAppName(), L"framework_tests");
}

} // namespace
