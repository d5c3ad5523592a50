#include "wizard_session.h"

#include "framework/application_name.h"
#include "product/languages.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "resources/dialog_ids.h"
#include "support/test_support.h"
#include "tools/test_driver/window_driver.h"
#include "ui/wizard_frame.h"

#include <gtest/gtest.h>

#include <thread>

namespace wizard_testing {

namespace {

const driver::milliseconds kWait{10000};

// The control that only that page has.
constexpr int kPageMarks[CInstallDlg::kPageCount] = {IDC_LANGUAGE_LIST, IDC_MODE_GROUP, IDC_PATH_GROUP,
                                                      IDC_SHORTCUT_GROUP, IDC_REPORT, IDC_INFO};

} // namespace

HWND PageWindowOf(HWND frame, int page)
{
    for (HWND child = ::GetWindow(frame, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (driver::ClassName(child) != L"#32770" || !::GetDlgItem(child, kPageMarks[page]))
            continue;
        // The start page has a situation text (IDC_INFO) too.
        if (page == 5 && ::GetDlgItem(child, IDC_LANGUAGE_LIST))
            continue;
        return child;
    }
    return nullptr;
}

namespace {

// Closes the frame whatever state the user left it in: Exit, and Yes to every question.
// Each step waits for its effect, so that no second question piles up behind the first.
void CloseWizard(HWND frame)
{
    const DWORD process = ::GetCurrentProcessId();
    HWND answered = nullptr;
    auto openBox = [&] {
        for (HWND window : driver::TopLevelWindows(process))
            if (window != answered && driver::IsMessageBox(window))
                return window;
        return HWND{};
    };
    for (int attempt = 0; attempt < 20 && ::IsWindow(frame); ++attempt) {
        if (HWND box = openBox()) {
            const HWND yes = ::GetDlgItem(box, IDYES);
            driver::Click(yes ? yes : ::GetDlgItem(box, IDOK));
            answered = box;
        } else if (::IsWindowEnabled(frame) && ::IsWindowEnabled(::GetDlgItem(frame, IDCANCEL))) {
            ::PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        for (int wait = 0; wait < 200 && ::IsWindow(frame) && !openBox(); ++wait)
            driver::Settle(driver::milliseconds(50));
    }
}

} // namespace

InstallState FreshState(PreviousInstallStatus status)
{
    InstallState state;
    state.previousStatus = status;
    if (status == PreviousInstallStatus::OlderVersion || status == PreviousInstallStatus::NewerVersion)
        state.previousVersionText = status == PreviousInstallStatus::OlderVersion ? L"Tavelo 7.01h" : L"Tavelo 7.02a";
    state.installFolder = kDefaultInstallFolder;
    state.startMenuFolder = kDefaultStartMenuFolder;
    state.createMenuShortcuts = true;
    state.createDesktopShortcut = true;
    state.advancedMode = false;
    return state;
}

Installation FakeInstallation::Get()
{
    return [this](InstallView& view) {
        ++runs;
        view.BeginWaitCursor();
        view.AppendReport(L"", true);
        view.SetStatusText(LoadText(114));
        view.AppendReport(L"Attempt " + std::to_wstring(runs) + L"\r\n", false);
        view.ShowProgress(true);
        view.SetProgress(60);
        if (during)
            during(view);
        view.PumpMessages();
        view.AppendReport(LoadText(succeed ? 11 : 12) + L"\r\n", false);
        view.SetStatusText(succeed ? FormatText(LoadText(106), LoadText(6)) : FormatText(LoadText(121), L"1:00000005"));
        view.EndWaitCursor();
        return succeed;
    };
}

EnglishWizardEnvironment::EnglishWizardEnvironment()
{
    SetProductCode(product::kThisProductCode);
    SetLanguage(kEnglish);
    AfxSetAppName(InstallerTitle(true));
}

INT_PTR RunWizard(InstallState& state, Installation installation, const std::function<void(HWND frame)>& user)
{
    std::thread person([&] {
        const HWND frame = driver::WaitForDialog(::GetCurrentProcessId(), ProductDisplayName(true), kWait);
        if (!frame) {
            ADD_FAILURE() << "the wizard did not appear";
            return;
        }
        try {
            user(frame);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        CloseWizard(frame);
    });
    CInstallDlg wizard(state, std::move(installation));
    const INT_PTR result = wizard.DoModal();
    person.join();
    return result;
}

std::wstring ControlText(HWND frame, int id)
{
    return driver::WindowText(::GetDlgItem(frame, id));
}

int VisiblePage(HWND frame)
{
    for (int page = 0; page < CInstallDlg::kPageCount; ++page)
        if (::IsWindowVisible(PageWindowOf(frame, page)))
            return page;
    return -1;
}

std::wstring PageControlText(HWND frame, int page, int id)
{
    return driver::WindowText(::GetDlgItem(PageWindowOf(frame, page), id));
}

std::wstring ReportText(HWND frame)
{
    return PageControlText(frame, 4, IDC_REPORT);
}

void Press(HWND frame, int id)
{
    driver::ClickControl(frame, id);
}

std::vector<int> Press(HWND frame, std::initializer_list<int> ids)
{
    std::vector<int> pages;
    for (int id : ids) {
        Press(frame, id);
        pages.push_back(VisiblePage(frame));
    }
    return pages;
}

HWND ExpectMessageBox()
{
    const HWND box = driver::WaitForMessageBox(::GetCurrentProcessId(), kWait);
    if (!box)
        throw std::runtime_error("no message box appeared");
    return box;
}

void Answer(HWND box, int button)
{
    driver::Click(::GetDlgItem(box, button));
    driver::Settle();
}

void SaveWindowPicture(HWND window, const std::wstring& name)
{
    // In front of the windows of tests that run at the same time on the same display.
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    driver::Settle(driver::milliseconds(400));
    const std::wstring folder = testing_support::BuiltFile(L"TAVELO_BUILD_DIR") + L"\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    driver::SaveScreenshot(window, folder + L"\\" + name + L".png");
    ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

} // namespace wizard_testing
