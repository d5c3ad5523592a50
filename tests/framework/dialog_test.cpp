#include "framework/application_name.h"
#include "framework/application_windows.h"
#include "framework/data_exchange.h"
#include "framework/dialog.h"
#include "framework/message_pump.h"
#include "framework/wait_cursor.h"

#include "tools/test_driver/window_driver.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr UINT kTestDialog = 900;

class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(kTestDialog) {}

    std::wstring text = L"start";
    int check = 1;
    int radio = 1;
    int limit = 260;
    int initialised = 0;
    std::wstring committed;   // what a page would store into the installation state

protected:
    BOOL OnInitDialog() override
    {
        ++initialised;
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, 100, text);
        DDV_MaxChars(dx, text, limit);
        DDX_Check(dx, 101, check);
        DDX_Radio(dx, 102, radio);
        if (dx->SaveAndValidate())
            committed = text;
    }
};

// Runs what the driver does to a window of this process on a thread of its own, while the
// test's thread sits in a modal loop.
class Helper {
public:
    template <class Work>
    explicit Helper(Work work) : thread_(work) {}
    ~Helper() { thread_.join(); }

private:
    std::thread thread_;
};

HWND WaitForOwnDialog(const std::wstring& title)
{
    return driver::WaitForDialog(::GetCurrentProcessId(), title, driver::milliseconds(10000));
}

TEST(Dialog, LoadsItsControlsFromTheValuesWhenCreated)
{
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(dialog.initialised, 1);
    EXPECT_EQ(dialog.GetDlgItemText(100), L"start");
    EXPECT_EQ(::IsDlgButtonChecked(dialog.GetSafeHwnd(), 101), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(dialog.GetSafeHwnd(), 102), BST_UNCHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(dialog.GetSafeHwnd(), 103), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(dialog.GetSafeHwnd(), 104), BST_UNCHECKED);
    EXPECT_EQ(::SendMessageW(dialog.GetDlgItem(100), EM_GETLIMITTEXT, 0, 0), 260);
}

TEST(Dialog, StoresWhatTheControlsHold)
{
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.SetDlgItemText(100, L"C:\\Program Files\\Korvane");
    ::CheckDlgButton(dialog.GetSafeHwnd(), 101, BST_UNCHECKED);
    ::CheckRadioButton(dialog.GetSafeHwnd(), 102, 104, 104);
    ::CheckDlgButton(dialog.GetSafeHwnd(), 105, BST_CHECKED);   // another group: not part of the value
    ASSERT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(dialog.text, L"C:\\Program Files\\Korvane");
    EXPECT_EQ(dialog.check, 0);
    EXPECT_EQ(dialog.radio, 2);
}

TEST(Dialog, RadioGroupWithoutSelectionIsMinusOneBothWays)
{
    TestDialog dialog;
    dialog.radio = -1;
    ASSERT_TRUE(dialog.Create(nullptr));
    for (int id : {102, 103, 104})
        EXPECT_EQ(::IsDlgButtonChecked(dialog.GetSafeHwnd(), id), BST_UNCHECKED);
    dialog.radio = 0;
    ASSERT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(dialog.radio, -1);
}

TEST(Dialog, TooLongTextIsRefusedWithTheFrameworkMessageAndKeepsTheValue)
{
    AfxSetAppName(L"Framework Test");
    TestDialog dialog;
    dialog.limit = 5;
    ASSERT_TRUE(dialog.Create(nullptr));
    AfxSetMainWnd(dialog.GetSafeHwnd());
    ::SetWindowTextW(dialog.GetDlgItem(100), L"123456");   // beyond the box's own limit, as pasted text can be

    std::wstring boxText, boxCaption;
    bool stored = true;
    {
        Helper answer([&] {
            HWND box = driver::WaitForMessageBox(::GetCurrentProcessId(), driver::milliseconds(10000));
            if (!box)
                return;
            boxText = driver::MessageBoxText(box);
            boxCaption = driver::WindowText(box);
            driver::Click(::GetDlgItem(box, IDOK));
        });
        stored = dialog.UpdateData(true);
    }
    EXPECT_FALSE(stored);
    EXPECT_EQ(boxText, L"Enter no more than 5 characters.");
    EXPECT_EQ(boxCaption, L"Framework Test");
    EXPECT_EQ(dialog.committed, L"");
    EXPECT_EQ(::GetFocus(), dialog.GetDlgItem(100));
    AfxSetMainWnd(nullptr);
    AfxSetAppName({});
}

TEST(Dialog, ModalDialogEndsWithOkAfterStoringAndWithCancelWithout)
{
    for (int button : {IDOK, IDCANCEL}) {
        TestDialog dialog;
        INT_PTR result = 0;
        {
            Helper user([&] {
                HWND window = WaitForOwnDialog(L"Framework test dialog");
                if (!window)
                    return;
                ::SendMessageW(::GetDlgItem(window, 100), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
                driver::Click(::GetDlgItem(window, button));
            });
            result = dialog.DoModal();
        }
        EXPECT_EQ(result, button);
        EXPECT_EQ(dialog.text, button == IDOK ? L"typed" : L"start");
        EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    }
}

TEST(Dialog, MovesAndGrowsAControlInClientCoordinates)
{
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    const RECT before = dialog.DlgItemRect(100);
    RECT units{7, 7, 157, 19};
    ::MapDialogRect(dialog.GetSafeHwnd(), &units);
    EXPECT_EQ(before.left, units.left);
    EXPECT_EQ(before.top, units.top);
    EXPECT_EQ(before.right, units.right);

    dialog.MoveDlgItem(100, 5, 7, 20, 3);
    const RECT after = dialog.DlgItemRect(100);
    EXPECT_EQ(after.left, before.left + 5);
    EXPECT_EQ(after.top, before.top + 7);
    EXPECT_EQ(after.right, before.right + 25);
    EXPECT_EQ(after.bottom, before.bottom + 10);
}

TEST(Dialog, KeepsTheHourglassWhileAWaitCursorLives)
{
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    const HWND edit = dialog.GetDlgItem(100);
    const LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    const HCURSOR hourglass = ::LoadCursorW(nullptr, IDC_WAIT);
    {
        CWaitCursor wait;
        EXPECT_TRUE(AfxIsWaitCursorShown());
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
        // A control passes the message to its dialog first.
        EXPECT_TRUE(::SendMessageW(edit, WM_SETCURSOR, reinterpret_cast<WPARAM>(edit), overClient));
        EXPECT_EQ(::GetCursor(), hourglass);
    }
    EXPECT_FALSE(AfxIsWaitCursorShown());
    EXPECT_FALSE(::SendMessageW(dialog.GetSafeHwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog.GetSafeHwnd()),
                                overClient));
}

TEST(MessagePump, DispatchesWaitingMessagesAndKeepsAQuitForTheNextLoop)
{
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    ::PostMessageW(dialog.GetDlgItem(101), BM_SETCHECK, BST_UNCHECKED, 0);
    ::PostQuitMessage(3);
    AfxPumpWaitingMessages();
    EXPECT_EQ(::IsDlgButtonChecked(dialog.GetSafeHwnd(), 101), BST_UNCHECKED);

    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 3u);
}

} // namespace
