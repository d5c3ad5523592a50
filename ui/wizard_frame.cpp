#include "ui/wizard_frame.h"

#include "framework/application_windows.h"
#include "framework/message_box.h"
#include "product/languages.h"
#include "product/texts.h"
#include "product/version_info.h"
#include "resources/dialog_ids.h"
#include "ui/ui_services.h"

#include <commctrl.h>

namespace {

enum Page { kStartPage, kModePage, kPathPage, kShortcutPage, kInstallPage, kEndPage };

int Width(const RECT& rect)
{
    return rect.right - rect.left;
}

int Height(const RECT& rect)
{
    return rect.bottom - rect.top;
}

} // namespace

CAboutDlg::CAboutDlg(HWND owner) : CDialog(IDD_ABOUTBOX, owner) {}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    std::wstring title = LoadText(kTextAbout);
    if (title.empty())
        title = AfxWindowText(GetSafeHwnd());
    ::SetWindowTextW(GetSafeHwnd(), FormatText(title, InstallerTitle(false)).c_str());

    const VersionInfo& installer = VersionInfo::Current();
    if (const std::wstring product = installer.ProductNameWithVersion(); !product.empty())
        SetDlgItemText(IDC_ABOUT_PRODUCT, product);
    if (const std::wstring legal = installer.LegalCopyright(); !legal.empty())
        SetDlgItemText(IDC_ABOUT_LEGAL, legal);
    SetDlgItemText(IDOK, LoadText(kTextOkButton));
    return TRUE;
}

CInstallDlg::CInstallDlg(InstallState& state, Installation installation, HWND owner)
    : CDialog(IDD_INSTALL_DIALOG, owner), state_(state), startPage_(state), modePage_(state), pathPage_(state),
      shortcutPage_(state), installPage_(state, std::move(installation)), endPage_(state)
{
    // The pages hold an extended combo box and a progress bar.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_USEREX_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

BOOL CInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    const HWND frame = GetSafeHwnd();
    AfxSetMainWnd(frame);
    SetLanguageChangeHandler([this] { UpdateTexts(); });

    ::SetWindowTextW(frame, InstallerTitle(true).c_str());

    const HMENU systemMenu = ::GetSystemMenu(frame, FALSE);
    if (const std::wstring about = AboutEntryText(); !about.empty()) {
        ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(systemMenu, MF_STRING, kAboutCommand, about.c_str());
    }
    ::DeleteMenu(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
    ::DeleteMenu(systemMenu, SC_SIZE, MF_BYCOMMAND);

    if (const auto& icon = GetUiServices().icon) {
        if (const HICON image = icon())
            ::SendMessageW(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(image));
    }

    pages_ = {&startPage_, &modePage_, &pathPage_, &shortcutPage_, &installPage_, &endPage_};
    for (CWizardPage* page : pages_)
        page->Create(frame);
    SizeToLargestPage();

    UpdateTexts();
    ShowPage(kStartPage);
    if (state_.previousStatus == PreviousInstallStatus::NewerVersion)
        EnableDlgItem(IDOK, false);
    return TRUE;
}

void CInstallDlg::SizeToLargestPage()
{
    const HWND frame = GetSafeHwnd();
    RECT area{};
    ::GetClientRect(frame, &area);
    area.left = DlgItemRect(IDC_PICTURE_BACKGROUND).right;
    area.bottom = DlgItemRect(IDC_SEPARATOR).top;

    RECT all = area;
    for (CWizardPage* page : pages_) {
        ::SetWindowPos(page->GetSafeHwnd(), nullptr, area.left, area.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
        const RECT placed = AfxChildRect(page->GetSafeHwnd());
        ::UnionRect(&all, &all, &placed);
    }

    const int dx = Width(all) - Width(area);
    const int dy = Height(all) - Height(area);
    RECT window{};
    ::GetWindowRect(frame, &window);
    ::SetWindowPos(frame, nullptr, 0, 0, Width(window) + dx, Height(window) + dy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);

    for (CWizardPage* page : pages_) {
        const RECT own = AfxChildRect(page->GetSafeHwnd());
        ::SetWindowPos(page->GetSafeHwnd(), nullptr, all.left, all.top, Width(all), Height(all),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        page->StretchControls(Width(all) - Width(own), Height(all) - Height(own));
    }

    MoveDlgItem(IDC_PICTURE_BACKGROUND, 0, 0, 0, dy);
    MoveDlgItem(IDC_SEPARATOR, 0, dy, dx, 0);
    for (const int button : {IDC_BACK, IDOK, IDCANCEL})
        MoveDlgItem(button, dx, dy, 0, 0);
}

std::wstring CInstallDlg::AboutEntryText() const
{
    const std::wstring about = FormatText(LoadText(kTextAbout), InstallerTitle(false));
    if (IsRightToLeft(CurrentLanguage()))
        return L"..." + about;
    return L"&" + about + L"...";
}

void CInstallDlg::UpdateTexts()
{
    const HWND frame = GetSafeHwnd();
    ::SetWindowTextW(frame, InstallerTitle(true).c_str());
    ::ModifyMenuW(::GetSystemMenu(frame, FALSE), kAboutCommand, MF_BYCOMMAND | MF_STRING, kAboutCommand,
                  AboutEntryText().c_str());
    UpdateButtons();
    for (CWizardPage* page : pages_)
        page->UpdateTexts();
}

void CInstallDlg::UpdateButtons()
{
    const bool install = current_ == kInstallPage && !state_.installed;
    SetDlgItemText(IDOK, install ? LoadText(kTextInstall) : LoadText(kTextNext) + L"  >");
    SetDlgItemText(IDC_BACK, L"<  " + LoadText(kTextBack));
    SetDlgItemText(IDCANCEL, state_.installed ? LoadText(kTextExit) : LoadText(kTextCancel));
}

void CInstallDlg::ShowPage(int target)
{
    if (target < 0 || target >= kPageCount)
        return;
    if (current_ >= 0) {
        if (!pages_[current_]->UpdateData(true))
            return;
        ::ShowWindow(pages_[current_]->GetSafeHwnd(), SW_HIDE);
    }

    int page = target;
    if (!state_.advancedMode && page != current_) {
        while (page == kPathPage || page == kShortcutPage)
            page += target - current_ > 0 ? 1 : -1;
    }
    if (page != current_)
        pages_[page]->UpdateData(false);
    current_ = page;
    ::ShowWindow(pages_[page]->GetSafeHwnd(), SW_SHOW);

    UpdateButtons();
    const bool back = (page > kStartPage && !state_.installed) || page > kInstallPage;
    const bool next = page < kEndPage;
    EnableDlgItem(IDC_BACK, back);
    EnableDlgItem(IDOK, next);

    const int focus = next ? IDOK : IDCANCEL;
    ::SendMessageW(GetSafeHwnd(), DM_SETDEFID, focus, 0);
    ::SendMessageW(GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(focus)), TRUE);
}

bool CInstallDlg::IsButtonEnabled(int id) const
{
    return ::IsWindowEnabled(GetDlgItem(id)) != FALSE;
}

void CInstallDlg::OnOK()
{
    // Enter reaches here also while Next is disabled: with a newer version installed, and
    // while the installation runs and hands out waiting messages.
    if (installing_ || !IsButtonEnabled(IDOK))
        return;
    if (current_ == kInstallPage && !state_.installed) {
        EnableDlgItem(IDC_BACK, false);
        EnableDlgItem(IDOK, false);
        EnableDlgItem(IDCANCEL, false);
        installing_ = true;
        state_.installed = installPage_.Install();
        installing_ = false;
        ShowPage(kInstallPage);
        EnableDlgItem(IDCANCEL, true);
    } else {
        ShowPage(current_ + 1);
    }
}

void CInstallDlg::OnCancel()
{
    // Esc and the close box arrive also while Exit is disabled during the installation.
    if (installing_ || !IsButtonEnabled(IDCANCEL))
        return;
    const bool ask = !state_.installed && state_.previousStatus != PreviousInstallStatus::NewerVersion
                     && !(state_.previousStatus == PreviousInstallStatus::SameVersion && current_ == kStartPage);
    if (ask && AfxMessageBox(LoadText(kTextConfirmExit), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDNO)
        return;
    EndDialog(state_.installed ? IDOK : IDCANCEL);
}

bool CInstallDlg::OnCommand(int id, int code, HWND)
{
    if (id != IDC_BACK || code != BN_CLICKED)
        return false;
    if (!installing_ && IsButtonEnabled(IDC_BACK))
        ShowPage(current_ - 1);
    return true;
}

bool CInstallDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != kAboutCommand)
            return false;
        CAboutDlg(GetSafeHwnd()).DoModal();
        result = 0;
        return true;
    case WM_INITMENUPOPUP:
        result = Default(message, wParam, lParam);
        if (HIWORD(lParam)) {
            // A minimised frame can only be restored, a shown one only minimised.
            const auto menu = reinterpret_cast<HMENU>(wParam);
            const bool minimized = ::IsIconic(GetSafeHwnd()) != FALSE;
            ::EnableMenuItem(menu, SC_MINIMIZE, MF_BYCOMMAND | (minimized ? MF_GRAYED : MF_ENABLED));
            ::EnableMenuItem(menu, SC_RESTORE, MF_BYCOMMAND | (minimized ? MF_ENABLED : MF_GRAYED));
        }
        return true;
    case WM_QUERYENDSESSION:
        // Ending the session now would leave the machine half changed: the session waits
        // until the installation has ended or rolled back.
        if (!installing_)
            return false;
        result = FALSE;
        return true;
    case WM_GETMINMAXINFO: {
        result = Default(message, wParam, lParam);
        // Maximised, the frame looks exactly like the normal one.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (::GetWindowPlacement(GetSafeHwnd(), &placement)) {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMaxSize = {Width(placement.rcNormalPosition), Height(placement.rcNormalPosition)};
            limits->ptMaxPosition = {placement.rcNormalPosition.left, placement.rcNormalPosition.top};
        }
        return true;
    }
    case WM_DESTROY:
        SetLanguageChangeHandler(nullptr);
        if (AfxGetMainWnd() == GetSafeHwnd())
            AfxSetMainWnd(nullptr);
        return false;
    default:
        return false;
    }
}
