#include "framework/application_name.h"
#include "framework/application_windows.h"
#include "framework/message_box.h"
#include "support/message_box_answerer.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

namespace {

using testing_support::MessageBoxAnswerer;
using testing_support::SeenMessageBox;
using testing_support::TestWindow;

TEST(MessageBoxIcon, ButtonSetDecidesTheIconWhenTheFlagsNameNone)
{
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_OK), UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_OKCANCEL), UINT(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_ABORTRETRYIGNORE), UINT(MB_ABORTRETRYIGNORE));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_YESNOCANCEL), UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_YESNO), UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_RETRYCANCEL), UINT(MB_RETRYCANCEL));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_CANCELTRYCONTINUE), UINT(MB_CANCELTRYCONTINUE));
}

TEST(MessageBoxIcon, GivenIconAndOtherFlagsStay)
{
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_YESNO | MB_ICONINFORMATION), UINT(MB_YESNO | MB_ICONINFORMATION));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_OK | MB_ICONERROR), UINT(MB_OK | MB_ICONERROR));
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_YESNO | MB_DEFBUTTON2), 0x124u);
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_RETRYCANCEL | MB_ICONEXCLAMATION), 0x35u);
    EXPECT_EQ(WithDefaultMessageBoxIcon(MB_OK | MB_TASKMODAL), UINT(MB_OK | MB_TASKMODAL | MB_ICONEXCLAMATION));
}

class FrameworkMessageBox : public testing::Test {
protected:
    void TearDown() override
    {
        AfxSetMainWnd(nullptr);
        AfxSetAppName({});
    }
};

TEST_F(FrameworkMessageBox, OwnedByTheMainWindowWithTheApplicationsNameWhileItsOwnerIsDisabled)
{
    TestWindow root;
    TestWindow main(WS_POPUP | WS_CAPTION, root.get());
    AfxSetMainWnd(main.get());
    AfxSetAppName(L"Installer \u2013 Tavelo 7.01j");

    MessageBoxAnswerer answerer(IDOK);
    bool rootEnabledWhileOpen = true, modelessWhileOpen = true;
    answerer.OnBox([&](HWND) {
        rootEnabledWhileOpen = ::IsWindowEnabled(root.get()) != FALSE;
        modelessWhileOpen = AfxIsModelessEnabled();
    });
    EXPECT_EQ(AfxMessageBox(L"Installation is not complete."), IDOK);

    const SeenMessageBox shown{L"Installer \u2013 Tavelo 7.01j", L"Installation is not complete.", main.get(),
                               ::LoadIconW(nullptr, IDI_EXCLAMATION)};
    EXPECT_EQ(answerer.Seen(), std::vector<SeenMessageBox>{shown});
    EXPECT_FALSE(rootEnabledWhileOpen);
    EXPECT_FALSE(modelessWhileOpen);
    EXPECT_TRUE(::IsWindowEnabled(root.get()));
    EXPECT_TRUE(::IsWindowEnabled(main.get()));
    EXPECT_TRUE(AfxIsModelessEnabled());
}

TEST_F(FrameworkMessageBox, WithoutMainWindowOrNameItHasNoOwnerAndTheDefaultName)
{
    MessageBoxAnswerer answerer(IDCANCEL);
    EXPECT_EQ(AfxMessageBox(L"You should close 'Tavelo' before continuing Installation.", MB_RETRYCANCEL), IDCANCEL);
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"framework_tests");
    EXPECT_EQ(seen[0].owner, nullptr);
    EXPECT_EQ(seen[0].icon, nullptr);
}

TEST_F(FrameworkMessageBox, QuestionsGetTheQuestionMark)
{
    MessageBoxAnswerer answerer(IDNO);
    EXPECT_EQ(AfxMessageBox(L"Do you still confirm exit Installation ?", MB_YESNO | MB_DEFBUTTON2), IDNO);
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].icon, ::LoadIconW(nullptr, IDI_QUESTION));
}

} // namespace
