// The wizard's navigation, driven as a user would: Back, Next, Exit and Install, the pages
// quick mode passes over, the exit question, the buttons after a successful and a failed
// installation, and what the wizard does with the messages it hands out while it installs.
#include "payload/answering_wait.h"
#include "payload/install_handler.h"
#include "product/texts.h"
#include "resources/dialog_ids.h"
#include "support/memstream.h"
#include "tools/test_driver/window_driver.h"
#include "ui/wizard_frame.h"

#include "payload/payload_test_support.h"
#include "wizard_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace wizard_testing;

bool Enabled(HWND frame, int id)
{
    return driver::IsEnabled(::GetDlgItem(frame, id));
}

LRESULT DefaultButton(HWND frame)
{
    return LOWORD(::SendMessageW(frame, DM_GETDEFID, 0, 0));
}

std::size_t Count(const std::wstring& text, const std::wstring& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class WizardNavigation : public WizardTest {};

TEST_F(WizardNavigation, QuickModeGoesFromTheModePageToTheProgressPageAndBack)
{
    std::vector<int> pages;
    bool backOnStart = true;
    const INT_PTR result = RunWizard(state_, installation_.Get(), [&](HWND frame) {
        pages.push_back(VisiblePage(frame));
        backOnStart = Enabled(frame, IDC_BACK);
        const std::vector<int> shown = Press(frame, {IDOK, IDOK, IDC_BACK, IDC_BACK});
        pages.insert(pages.end(), shown.begin(), shown.end());
    });
    EXPECT_EQ(pages, (std::vector<int>{0, 1, 4, 1, 0}));
    EXPECT_FALSE(backOnStart);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(installation_.runs, 0);
    EXPECT_FALSE(state_.advancedMode);
}

TEST_F(WizardNavigation, AdvancedModeShowsTheFolderAndShortcutPages)
{
    std::vector<int> pages;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, IDOK);
        driver::SetChecked(frame, IDC_MODE_ADVANCED, true);
        pages = Press(frame, {IDOK, IDOK, IDOK});
    });
    EXPECT_EQ(pages, (std::vector<int>{2, 3, 4}));
    EXPECT_TRUE(state_.advancedMode);
}

TEST_F(WizardNavigation, QuickModeChosenAgainAfterTheShortcutPagePassesOverBothPagesBothWays)
{
    std::vector<int> pages;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, IDOK);
        driver::SetChecked(frame, IDC_MODE_ADVANCED, true);
        pages = Press(frame, {IDOK, IDOK, IDC_BACK, IDC_BACK});
        driver::SetChecked(frame, IDC_MODE_QUICK, true);
        const std::vector<int> quick = Press(frame, {IDOK, IDC_BACK});
        pages.insert(pages.end(), quick.begin(), quick.end());
    });
    EXPECT_EQ(pages, (std::vector<int>{2, 3, 2, 1, 4, 1}));
    EXPECT_FALSE(state_.advancedMode);
}

HWND Focus(HWND frame)
{
    GUITHREADINFO info{sizeof info};
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(frame, nullptr), &info);
    return info.hwndFocus;
}

TEST_F(WizardNavigation, NextHasTheFocusAndIsTheDefaultButtonWhileEnabledElseExit)
{
    LRESULT defaultOnStart = 0, defaultOnEnd = 0;
    bool nextFocused = false, exitFocused = false;
    HWND afterExit = nullptr, languageList = nullptr;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        defaultOnStart = DefaultButton(frame);
        nextFocused = Focus(frame) == ::GetDlgItem(frame, IDOK);
        // The keyboard goes from the buttons into the page.
        afterExit = ::GetNextDlgTabItem(frame, ::GetDlgItem(frame, IDCANCEL), FALSE);
        languageList = driver::FindControl(frame, IDC_LANGUAGE_LIST);
        Press(frame, {IDOK, IDOK, IDOK});
        ASSERT_TRUE(driver::WaitForText(frame, IDCANCEL, [](const std::wstring& t) { return t == L"Exit"; }));
        Press(frame, IDOK);
        defaultOnEnd = DefaultButton(frame);
        exitFocused = Focus(frame) == ::GetDlgItem(frame, IDCANCEL);
    });
    EXPECT_EQ(defaultOnStart, IDOK);
    EXPECT_TRUE(nextFocused);
    EXPECT_TRUE(afterExit == languageList || ::IsChild(languageList, afterExit));
    EXPECT_EQ(defaultOnEnd, IDCANCEL);
    EXPECT_TRUE(exitFocused);
}

TEST_F(WizardNavigation, SameVersionExitsFromTheStartPageWithoutAQuestion)
{
    state_ = FreshState(PreviousInstallStatus::SameVersion);
    bool asked = false;
    const INT_PTR result = RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, IDCANCEL);
        asked = driver::WaitForMessageBox(::GetCurrentProcessId(), driver::milliseconds(500)) != nullptr;
    });
    EXPECT_FALSE(asked);
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(WizardNavigation, SameVersionAsksOnLaterPagesAndNoKeepsThePage)
{
    state_ = FreshState(PreviousInstallStatus::SameVersion);
    std::wstring question;
    std::vector<int> buttons;
    bool enterAnsweredNo = false;
    int pageAfterNo = -1;
    bool openAfterNo = false;
    const INT_PTR result = RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, {IDOK, IDCANCEL});
        HWND box = ExpectMessageBox();
        question = driver::MessageBoxText(box);
        buttons = driver::MessageBoxButtons(box);
        // Enter answers with the default button, which must be No: the box goes, the wizard stays.
        ::PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
        enterAnsweredNo = driver::WaitForWindow(
            ::GetCurrentProcessId(), [&](HWND window) { return window == frame && !::IsWindow(box); },
            driver::milliseconds(5000));
        driver::Settle();
        pageAfterNo = VisiblePage(frame);
        openAfterNo = ::IsWindow(frame);
        if (!enterAnsweredNo)
            return;
        Press(frame, IDCANCEL);
        Answer(ExpectMessageBox(), IDYES);
    });
    EXPECT_EQ(question, L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(enterAnsweredNo);
    EXPECT_EQ(pageAfterNo, 1);
    EXPECT_TRUE(openAfterNo) << "Enter must not leave a half-done wizard";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(state_.installed);
}

TEST_F(WizardNavigation, NewerVersionDisablesNextAndExitsWithoutAQuestion)
{
    state_ = FreshState(PreviousInstallStatus::NewerVersion);
    bool nextEnabled = true;
    int pageAfterEnter = -1;
    bool asked = false;
    const INT_PTR result = RunWizard(state_, installation_.Get(), [&](HWND frame) {
        nextEnabled = Enabled(frame, IDOK);
        // Enter sends IDOK whatever the state of the default button.
        ::PostMessageW(frame, WM_COMMAND, IDOK, 0);
        driver::Settle();
        pageAfterEnter = VisiblePage(frame);
        Press(frame, IDCANCEL);
        asked = driver::WaitForMessageBox(::GetCurrentProcessId(), driver::milliseconds(500)) != nullptr;
    });
    EXPECT_FALSE(nextEnabled);
    EXPECT_EQ(pageAfterEnter, 0);
    EXPECT_FALSE(asked);
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(WizardNavigation, AfterASuccessfulInstallationExitClosesWithoutAQuestion)
{
    struct Buttons {
        std::wstring next, exit;
        bool back = false, nextOn = false, exitOn = false;
    };
    auto buttons = [](HWND frame) {
        return Buttons{ControlText(frame, IDOK), ControlText(frame, IDCANCEL), Enabled(frame, IDC_BACK), Enabled(frame, IDOK),
                       Enabled(frame, IDCANCEL)};
    };
    Buttons beforeInstall, afterInstall, onEndPage, backOnProgressPage;
    std::wstring endText, endStatus, reportAfterBack;
    int pageAfterBack = -1;
    bool asked = false;
    const INT_PTR result = RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, {IDOK, IDOK});
        beforeInstall = buttons(frame);
        Press(frame, IDOK);
        ASSERT_TRUE(driver::WaitForText(frame, IDCANCEL, [](const std::wstring& t) { return t == L"Exit"; }));
        afterInstall = buttons(frame);
        Press(frame, IDOK);
        onEndPage = buttons(frame);
        endText = PageControlText(frame, 5, IDC_INFO);
        endStatus = PageControlText(frame, 5, IDC_STATUS);
        Press(frame, IDC_BACK);
        pageAfterBack = VisiblePage(frame);
        backOnProgressPage = buttons(frame);
        reportAfterBack = ReportText(frame);
        Press(frame, IDCANCEL);
        asked = driver::WaitForMessageBox(::GetCurrentProcessId(), driver::milliseconds(500)) != nullptr;
    });
    EXPECT_EQ(beforeInstall.next, L"Install");
    EXPECT_EQ(beforeInstall.exit, L"Cancel");
    EXPECT_EQ(afterInstall.next, L"Next  >");
    EXPECT_EQ(afterInstall.exit, L"Exit");
    EXPECT_FALSE(afterInstall.back);
    EXPECT_TRUE(afterInstall.nextOn);
    EXPECT_TRUE(afterInstall.exitOn);
    EXPECT_TRUE(onEndPage.back);
    EXPECT_FALSE(onEndPage.nextOn);
    EXPECT_EQ(endText, L"Installation is complete.");
    EXPECT_EQ(endStatus, L"Click on 'Exit' to exit Installation.");
    EXPECT_EQ(pageAfterBack, 4);
    EXPECT_FALSE(backOnProgressPage.back);
    EXPECT_NE(reportAfterBack.find(L"Attempt 1\r\nOK\r\n"), std::wstring::npos) << "the report of the installation stays";
    EXPECT_FALSE(asked);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(state_.installed);
    EXPECT_EQ(installation_.runs, 1);
}

TEST_F(WizardNavigation, AFailedInstallationCanBeRepeatedAndItsReportFollowsTheFirst)
{
    installation_.succeed = false;
    std::wstring next, exit, secondReport, freshReport, freshStatus;
    bool back = false, progressHidden = false;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, {IDOK, IDOK, IDOK});
        ASSERT_TRUE(driver::WaitForEnabled(frame, IDCANCEL));
        next = ControlText(frame, IDOK);
        exit = ControlText(frame, IDCANCEL);
        back = Enabled(frame, IDC_BACK);
        Press(frame, IDOK);
        ASSERT_TRUE(driver::WaitForEnabled(frame, IDCANCEL));
        secondReport = ReportText(frame);
        Press(frame, {IDC_BACK, IDOK});
        freshReport = ReportText(frame);
        freshStatus = PageControlText(frame, 4, IDC_STATUS);
        progressHidden = !driver::IsVisible(::GetDlgItem(::GetParent(driver::FindControl(frame, IDC_REPORT)), IDC_PROGRESS));
    });
    EXPECT_EQ(next, L"Install");
    EXPECT_EQ(exit, L"Cancel");
    EXPECT_TRUE(back);
    EXPECT_EQ(installation_.runs, 2);
    const std::size_t first = secondReport.find(L"Attempt 1\r\nFailed\r\n");
    const std::size_t second = secondReport.find(L"Attempt 2\r\nFailed\r\n");
    ASSERT_NE(first, std::wstring::npos);
    ASSERT_NE(second, std::wstring::npos);
    EXPECT_LT(first, second);
    EXPECT_EQ(Count(secondReport, L"Installation Options"), 1u);
    // Back, then Next: a fresh summary.
    EXPECT_EQ(freshReport.find(L"Attempt"), std::wstring::npos);
    EXPECT_EQ(Lines(freshReport).size(), 5u);
    EXPECT_EQ(freshStatus, L"Click on 'Install' to start Installation.");
    EXPECT_TRUE(progressHidden);
    EXPECT_FALSE(state_.installed);
}

TEST_F(WizardNavigation, NothingNavigatesOrExitsWhileTheInstallationRuns)
{
    bool backOn = true, nextOn = true, exitOn = true, stillOpen = false;
    installation_.during = [&](InstallView& view) {
        const HWND frame = ::GetAncestor(view.OwnerWindow(), GA_ROOT);
        backOn = ::IsWindowEnabled(::GetDlgItem(frame, IDC_BACK));
        nextOn = ::IsWindowEnabled(::GetDlgItem(frame, IDOK));
        exitOn = ::IsWindowEnabled(::GetDlgItem(frame, IDCANCEL));
        // Enter, Esc and the close box arrive while the installation hands out messages.
        ::PostMessageW(frame, WM_COMMAND, IDOK, 0);
        ::PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
        ::PostMessageW(frame, WM_CLOSE, 0, 0);
        view.PumpMessages();
        stillOpen = ::IsWindowVisible(frame) != FALSE;
    };
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, {IDOK, IDOK, IDOK});
        ASSERT_TRUE(driver::WaitForText(frame, IDCANCEL, [](const std::wstring& t) { return t == L"Exit"; }));
    });
    EXPECT_FALSE(backOn);
    EXPECT_FALSE(nextOn);
    EXPECT_FALSE(exitOn);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(installation_.runs, 1);
    EXPECT_TRUE(state_.installed);
}

// Where the installation is when the user's messages are handed to the wizard: the
// extraction's two long passes that send the page no notification for a long time, and a
// blocking call that runs on a thread of its own while the window's thread waits for it
// (the shell links, the DirectX setup, the uninstall log, a rollback).
enum class Moment { VerificationPass, ReadBack, BlockingCall };

// Forwards to the page and, on the first pump at the moment under test, lets the messages of
// a user in a hurry arrive, to be handed out by that very pump.
class HurriedUserView : public InstallView {
public:
    // due(verified) tells whether the moment has come; verified is true once the
    // verification pass has ended.
    HurriedUserView(InstallView& page, std::function<bool(bool verified)> due, std::function<void()> messages)
        : page_(page), due_(std::move(due)), messages_(std::move(messages))
    {
    }

    void SetStatusText(const std::wstring& text) override { page_.SetStatusText(text); }
    void SetStatusPath(const std::wstring& text) override { page_.SetStatusPath(text); }
    void AppendReport(const std::wstring& text, bool heading) override
    {
        // The preparation's "OK" ends the verification pass.
        verified_ = verified_ || text == LoadText(11) + L"\r\n";
        page_.AppendReport(text, heading);
    }
    void SetProgress(int percent) override { page_.SetProgress(percent); }
    void ShowProgress(bool visible) override { page_.ShowProgress(visible); }
    void PumpMessages() override
    {
        if (!sent && due_(verified_)) {
            sent = true;
            messages_();
        }
        page_.PumpMessages();
    }
    HWND OwnerWindow() const override { return page_.OwnerWindow(); }
    void BeginWaitCursor() override { page_.BeginWaitCursor(); }
    void EndWaitCursor() override { page_.EndWaitCursor(); }

    bool sent = false;

private:
    InstallView& page_;
    std::function<bool(bool)> due_;
    std::function<void()> messages_;
    bool verified_ = false;
};

class WizardDuringTheExtraction : public WizardNavigation, public testing::WithParamInterface<Moment> {};

TEST_P(WizardDuringTheExtraction, MessagesHandedOutMeanwhileNeitherStartAnotherInstallationNorEndTheWizard)
{
    // Data that does not compress: both passes take many blocks.
    std::mt19937 random(15);
    std::string content(256 * 1024, '\0');
    for (char& byte : content)
        byte = static_cast<char>(random());
    const std::string archive =
        payload_testing::CompressedPayload({{L"Data.bin", L"<InstallPath>", FileKind::LanguageLibrary, content}});
    testing_support::TemporaryFolder folder;

    int runs = 0;
    bool sent = false, stillOpen = false;
    LRESULT endSession = TRUE;
    Installation installation = [&](InstallView& page) {
        ++runs;
        const HWND frame = ::GetAncestor(page.OwnerWindow(), GA_ROOT);
        bool readingBack = false;
        // Clicks on the disabled buttons, Enter, Esc, the close box, Alt+F4 and the system
        // menu's Close, the About box; the end of the Windows session is asked.
        const auto hurry = [&] {
            for (const int button : {IDC_BACK, IDOK, IDCANCEL})
                ::PostMessageW(::GetDlgItem(frame, button), BM_CLICK, 0, 0);
            ::PostMessageW(frame, WM_COMMAND, IDOK, 0);
            ::PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
            ::PostMessageW(frame, WM_CLOSE, 0, 0);
            ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
            ::PostMessageW(frame, WM_SYSCOMMAND, CInstallDlg::kAboutCommand, 0);
            endSession = ::SendMessageW(frame, WM_QUERYENDSESSION, 0, 0);
        };
        HurriedUserView view(
            page,
            [&](bool verified) {
                return GetParam() == Moment::ReadBack ? readingBack : GetParam() == Moment::VerificationPass && !verified;
            },
            hurry);
        InstallState extraction;   // the records of this extraction, apart from the wizard's
        InstalledPrograms programs;
        kv::imemstream stream(archive.data(), archive.size());
        ExtractionServices services;
        services.betweenBlocks = [&] {
            readingBack = true;
            view.PumpMessages();
            readingBack = false;
        };
        const bool extracted = ExtractPayload(stream, folder.path(), L"Samples", folder / L"Temp",
                                              InstallHandler(view, stream, extraction, programs, {}), services);
        sent = view.sent;
        if (GetParam() == Moment::BlockingCall) {
            // The messages come from the blocking call's thread, the session's end sent
            // while the window's thread waits for it; its result and last error come back.
            const DWORD windowThread = ::GetCurrentThreadId();
            const DWORD callThread = CallAnswering(view, [&] {
                hurry();
                ::SetLastError(ERROR_BUSY);
                return ::GetCurrentThreadId();
            });
            sent = callThread != windowThread && ::GetLastError() == ERROR_BUSY;
        }
        stillOpen = ::IsWindowVisible(frame) != FALSE;
        return extracted;
    };
    RunWizard(state_, installation, [&](HWND frame) {
        Press(frame, {IDOK, IDOK, IDOK});
        // The About box opens in the middle of the installation, which waits for it.
        const HWND about = driver::WaitForDialog(::GetCurrentProcessId(), L"About", driver::milliseconds(10000));
        ASSERT_NE(about, nullptr);
        Answer(about, IDOK);
        ASSERT_TRUE(driver::WaitForText(frame, IDCANCEL, [](const std::wstring& t) { return t == L"Exit"; }));
        driver::Settle();
        EXPECT_TRUE(::IsWindowVisible(frame));
        EXPECT_EQ(VisiblePage(frame), 4);
    });
    EXPECT_TRUE(sent);
    EXPECT_EQ(endSession, FALSE);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(state_.installed);
    EXPECT_EQ(testing_support::ReadFileBytes(folder / L"Data.bin"),
              std::vector<std::uint8_t>(content.begin(), content.end()));
}

INSTANTIATE_TEST_SUITE_P(Moments, WizardDuringTheExtraction,
                         testing::Values(Moment::VerificationPass, Moment::ReadBack, Moment::BlockingCall),
                         [](const testing::TestParamInfo<Moment>& info) {
                             return info.param == Moment::ReadBack       ? "ReadBack"
                                    : info.param == Moment::BlockingCall ? "BlockingCall"
                                                                         : "VerificationPass";
                         });

TEST_F(WizardNavigation, AnInstallationThatThrowsCountsAsFailed)
{
    Installation throwing = [](InstallView&) -> bool { throw std::runtime_error("escaped"); };
    std::wstring status, next;
    RunWizard(state_, throwing, [&](HWND frame) {
        Press(frame, {IDOK, IDOK, IDOK});
        ASSERT_TRUE(driver::WaitForEnabled(frame, IDCANCEL));
        status = PageControlText(frame, 4, IDC_STATUS);
        next = ControlText(frame, IDOK);
    });
    EXPECT_EQ(status, L"Installation failed (Error Code 1:8000FFFF).");
    EXPECT_EQ(next, L"Install");
    EXPECT_FALSE(state_.installed);
}

TEST_F(WizardNavigation, ATooLongFolderKeepsTheWizardOnTheFolderPage)
{
    std::wstring refusal;
    int page = -1;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, IDOK);
        driver::SetChecked(frame, IDC_MODE_ADVANCED, true);
        Press(frame, IDOK);
        // Pasted text can exceed the box's own limit.
        ::SendMessageW(driver::FindControl(frame, IDC_FOLDER), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>((L"C:\\" + std::wstring(258, L'x')).c_str()));
        Press(frame, IDOK);
        HWND box = ExpectMessageBox();
        refusal = driver::MessageBoxText(box);
        Answer(box, IDOK);
        page = VisiblePage(frame);
    });
    EXPECT_EQ(refusal, L"Enter no more than 260 characters.");
    EXPECT_EQ(page, 2);
    EXPECT_EQ(state_.installFolder, kDefaultInstallFolder);
}

TEST_F(WizardNavigation, TheFolderAndShortcutPagesStoreWhatTheUserChose)
{
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        Press(frame, IDOK);
        driver::SetChecked(frame, IDC_MODE_ADVANCED, true);
        Press(frame, IDOK);
        driver::SetEditText(frame, IDC_FOLDER, L"D:\\Apps\\Tavelo 7");
        Press(frame, IDOK);
        driver::SetChecked(frame, IDC_DESKTOP_SHORTCUT, false);
        Press(frame, IDOK);
    });
    EXPECT_EQ(state_.installFolder, L"D:\\Apps\\Tavelo 7");
    EXPECT_FALSE(state_.createDesktopShortcut);
    EXPECT_TRUE(state_.createMenuShortcuts);
    EXPECT_EQ(state_.startMenuFolder, kDefaultStartMenuFolder);
}

} // namespace
