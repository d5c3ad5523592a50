#include "ui/messages.h"

#include "framework/application_name.h"
#include "framework/application_windows.h"
#include "framework/framework_string_ids.h"
#include "product/languages.h"
#include "support/message_box_answerer.h"
#include "support/test_window.h"
#include "support/unique_resource.h"
#include "ui/ui_services.h"

#include "product/language_state_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testing_support::MessageBoxAnswerer;
using testing_support::SeenMessageBox;
using testing_support::TestWindow;

TEST(MessageReadingDirection, RightToLeftOnlyWhereTheOwnerIsLaidOutSo)
{
    TestWindow leftToRight;
    TestWindow rightToLeft(WS_OVERLAPPEDWINDOW, nullptr, WS_EX_LAYOUTRTL);
    ASSERT_TRUE(::GetWindowLongW(rightToLeft.get(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_EQ(MessageReadingDirection(leftToRight.get()), 0u);
    EXPECT_EQ(MessageReadingDirection(rightToLeft.get()), UINT(MB_RTLREADING));
}

TEST(MessageReadingDirection, WithoutOwnerTheAllowedDefaultLanguageDecides)
{
    LanguageStateGuard guard;
    // The allowed mask holds French alone: left to right whatever the user's language.
    EXPECT_EQ(MessageReadingDirection(nullptr), 0u);
}

TEST(MessageStrings, TextsIdentifiersAndNothing)
{
    LanguageStateGuard guard;
    EXPECT_EQ(MessageString(L"Installation is complete."), L"Installation is complete.");
    EXPECT_EQ(MessageString(MAKEINTRESOURCEW(AFX_IDP_COMMAND_FAILURE)), L"Command failed.");
    EXPECT_EQ(MessageString(nullptr), L"");
}

TEST(MessageFlags, DefaultIconOfEveryButtonSetWithTheOwnersReadingDirection)
{
    LanguageStateGuard guard;
    TestWindow leftToRight;
    TestWindow rightToLeft(WS_OVERLAPPEDWINDOW, nullptr, WS_EX_LAYOUTRTL);
    const struct {
        UINT buttons;
        UINT icon;
    } sets[] = {{MB_OK, MB_ICONEXCLAMATION},     {MB_OKCANCEL, MB_ICONEXCLAMATION}, {MB_ABORTRETRYIGNORE, 0},
                {MB_YESNOCANCEL, MB_ICONQUESTION}, {MB_YESNO, MB_ICONQUESTION},       {MB_RETRYCANCEL, 0}};
    for (const auto& set : sets) {
        EXPECT_EQ(MessageFlags(set.buttons, nullptr), set.buttons | set.icon) << set.buttons;
        EXPECT_EQ(MessageFlags(set.buttons, leftToRight.get()), set.buttons | set.icon) << set.buttons;
        EXPECT_EQ(MessageFlags(set.buttons, rightToLeft.get()), set.buttons | set.icon | MB_RTLREADING) << set.buttons;
        EXPECT_EQ(MessageFlags(set.buttons | MB_ICONINFORMATION, nullptr), set.buttons | MB_ICONINFORMATION)
            << set.buttons;
    }
}

TEST(MessageCaption, GivenCaptionOrElseTheProvidersText)
{
    LanguageStateGuard guard;
    UiServices& services = GetUiServices();
    const auto saved = services.caption;
    services.caption = [] { return std::wstring(L"Installer \u2013 Tavelo 7.01j"); };
    EXPECT_EQ(MessageCaption(L"Own caption"), L"Own caption");
    EXPECT_EQ(MessageCaption(MAKEINTRESOURCEW(2000)), L"Installer");
    EXPECT_EQ(MessageCaption(nullptr), L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(MessageCaption(L""), L"Installer \u2013 Tavelo 7.01j");
    services.caption = nullptr;
    EXPECT_EQ(MessageCaption(nullptr), L"");
    services.caption = saved;
}

TEST(FindOwnerWindow, NoWindowsNoOwner)
{
    EXPECT_EQ(FindOwnerWindow(), nullptr);
}

TEST(FindOwnerWindow, FirstWindowWithCaptionAmongTheThreadsWindows)
{
    TestWindow withoutCaption(WS_POPUP);
    TestWindow captioned(WS_POPUP | WS_CAPTION);
    TestWindow ownedPopup(WS_POPUP, captioned.get());
    ASSERT_EQ(::GetActiveWindow(), nullptr);
    // The owned pop-up's root owner, the captioned window, is the first one with a caption.
    EXPECT_EQ(FindOwnerWindow(), captioned.get());
}

TEST(FindOwnerWindow, ActiveWindowsRootOwner)
{
    TestWindow root(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    TestWindow dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE, root.get());
    ::SetActiveWindow(dialog.get());
    if (::GetActiveWindow() != dialog.get())
        GTEST_SKIP() << "the display gives no window the activation";
    // The root owner's last active pop-up is the dialog itself.
    EXPECT_EQ(FindOwnerWindow(), dialog.get());
    ::SetActiveWindow(nullptr);
}

class ShowMessageBox : public testing::Test {
protected:
    void SetUp() override { saved_ = GetUiServices(); }
    void TearDown() override
    {
        GetUiServices() = saved_;
        AfxSetMainWnd(nullptr);
    }

    LanguageStateGuard guard_;
    UiServices saved_;
};

TEST_F(ShowMessageBox, OwnerCaptionAndModalStateComeFromTheProviders)
{
    TestWindow owner;
    TestWindow topLevel;
    std::vector<bool> modalStates;
    UiServices& services = GetUiServices();
    services.caption = [] { return std::wstring(L"Provided caption"); };
    services.owner = [&] {
        ::EnableWindow(topLevel.get(), FALSE);
        return MessageOwner{owner.get(), topLevel.get()};
    };
    services.modalState = [&](bool enable) { modalStates.push_back(enable); };

    MessageBoxAnswerer answerer(IDYES);
    bool topLevelEnabledWhileOpen = true;
    answerer.OnBox([&](HWND) { topLevelEnabledWhileOpen = ::IsWindowEnabled(topLevel.get()) != FALSE; });
    EXPECT_EQ(ShowMessage(L"Do you confirm Reinstallation ?", nullptr, MB_YESNO), IDYES);

    EXPECT_EQ(answerer.Seen(), (std::vector<SeenMessageBox>{{L"Provided caption", L"Do you confirm Reinstallation ?",
                                                             owner.get(), ::LoadIconW(nullptr, IDI_QUESTION)}}));
    EXPECT_FALSE(topLevelEnabledWhileOpen);
    EXPECT_TRUE(::IsWindowEnabled(topLevel.get()));
    EXPECT_EQ(modalStates, (std::vector<bool>{false, true}));
}

TEST_F(ShowMessageBox, IdentifiersAreLoadedAndRetryCancelHasNoIcon)
{
    GetUiServices().owner = nullptr;
    MessageBoxAnswerer answerer(IDCANCEL);
    EXPECT_EQ(ShowMessage(MAKEINTRESOURCEW(AFX_IDP_COMMAND_FAILURE), MAKEINTRESOURCEW(2001), MB_RETRYCANCEL), IDCANCEL);

    EXPECT_EQ(answerer.Seen(), (std::vector<SeenMessageBox>{{L"OK", L"Command failed.", nullptr, nullptr}}));
}

TEST_F(ShowMessageBox, ErrorBoxBeforeTheMainWindowShowsTheApplicationsNameAndNoOwner)
{
    SetLanguage(kEnglish);
    MessageBoxAnswerer answerer(IDOK);

    // The application object exists and has its default name.
    AfxSetAppName(DefaultAppName());
    ShowErrorBox(ERROR_BUSY);
    // After the start-up language choice.
    AfxSetAppName(L"Installer \u2013 Tavelo 7.01j");
    ShowErrorBox(0x28000000 | AFX_IDP_COMMAND_FAILURE);
    // No application name at all: the installer's own product name and version.
    AfxSetAppName({});
    ShowErrorBox(E_UNEXPECTED);

    const HICON exclamation = ::LoadIconW(nullptr, IDI_EXCLAMATION);
    EXPECT_EQ(answerer.Seen(), (std::vector<SeenMessageBox>{
                                   {L"ui_tests", L"Resource in use.", nullptr, exclamation},
                                   {L"Installer \u2013 Tavelo 7.01j", L"Command failed.", nullptr, exclamation},
                                   {L"Install 2.03b", L"Call failed.", nullptr, exclamation},
                               }));
}

TEST_F(ShowMessageBox, BrowserErrorUsesTheSystemsCaptionAndKeepsTheDialogOpen)
{
    TestWindow folderDialog(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    MessageBoxAnswerer answerer(IDOK);
    EXPECT_FALSE(ShowBrowserError(folderDialog.get(), ERROR_ACCESS_DENIED));

    EXPECT_EQ(answerer.Seen(), (std::vector<SeenMessageBox>{{L"Error", L"Access denied.", folderDialog.get(),
                                                             ::LoadIconW(nullptr, IDI_EXCLAMATION)}}));
}

// Run at the prefix's 96 DPI, and by ui_tests_at_144_dpi at 144 (TAVELO_LOG_PIXELS): the icon
// has the system's icon size of a DPI-aware process, as the installer is one.
TEST(UiServicesRecord, ApplicationIconLoadsOnceAsTheIconProvider)
{
    ::SetProcessDPIAware();
    const kv::window_dc screen(nullptr);
    const char* const logPixels = std::getenv("TAVELO_LOG_PIXELS");
    const int dpi = logPixels ? std::atoi(logPixels) : 96;
    ASSERT_EQ(::GetDeviceCaps(screen.get(), LOGPIXELSX), dpi);
    ASSERT_EQ(::GetSystemMetrics(SM_CXICON), ::MulDiv(32, dpi, 96));
    UiServices& services = GetUiServices();
    EXPECT_FALSE(services.icon);
    UseApplicationIcon();
    ASSERT_TRUE(services.icon);
    const HICON icon = services.icon();
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    kv::unique_gdi_object color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    ASSERT_TRUE(::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap));
    EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(SM_CXICON));
    UseApplicationIcon();
    EXPECT_EQ(services.icon(), icon);
    services.icon = nullptr;
}

} // namespace
