#include "ui/pages.h"

#include "framework/data_exchange.h"
#include "framework/message_pump.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "support/strings.h"
#include "support/unique_resource.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <exception>

CDlgInstall::CDlgInstall(InstallState& state, Installation installation)
    : CWizardPage(IDD_PAGE_INSTALL, state), installation_(std::move(installation))
{
}

BOOL CDlgInstall::OnInitDialog()
{
    CDialog::OnInitDialog();
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, 100);
    ::ShowWindow(progress_, SW_HIDE);
    return TRUE;
}

void CDlgInstall::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_REPORT, report_);
    DDX_Control(dx, IDC_PROGRESS, progress_);
    // After a successful installation the report of the installation stays.
    if (!dx->SaveAndValidate() && !state_.installed)
        WriteSummary();
}

void CDlgInstall::WriteSummary()
{
    // Entering the page from another one starts afresh, also after a failed attempt.
    UpdateTexts();
    ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
    ::ShowWindow(progress_, SW_HIDE);

    ::SetWindowTextW(report_, L"");
    AppendReport(FormatText(LoadText(kTextProductInstallation), ProductDisplayName(true)) + L"\r\n", false);
    AppendReport(LoadText(kTextInstallationOptions), true);
    AppendReport(FormatText(LoadText(kTextInstallFolderOption), kv::quoted_path(state_.installFolder)) + L"\r\n",
                 false);
    if (state_.createMenuShortcuts)
        AppendReport(FormatText(LoadText(kTextMenuShortcutOption), kv::quoted_path(state_.startMenuFolder)) + L"\r\n",
                     false);
    if (state_.createDesktopShortcut)
        AppendReport(LoadText(kTextDesktopShortcutOption) + L"\r\n", false);

    for (auto first = ::SendMessageW(report_, EM_GETFIRSTVISIBLELINE, 0, 0); first > 0;) {
        ::SendMessageW(report_, EM_LINESCROLL, 0, -1);
        const auto now = ::SendMessageW(report_, EM_GETFIRSTVISIBLELINE, 0, 0);
        if (now >= first)
            break;   // the box does not scroll (not laid out yet)
        first = now;
    }
}

std::wstring CDlgInstall::RuleLine(const std::wstring& text) const
{
    RECT client{};
    ::GetClientRect(report_, &client);
    const auto margins = static_cast<DWORD>(::SendMessageW(report_, EM_GETMARGINS, 0, 0));
    int available = client.right - client.left - (LOWORD(margins) + HIWORD(margins) + 2);

    const kv::window_dc dc(report_);
    const kv::select_object font(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(GetSafeHwnd(), WM_GETFONT, 0, 0)));
    auto width = [&](const std::wstring& s) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc.get(), s.c_str(), static_cast<int>(s.size()), &size);
        return static_cast<int>(size.cx);
    };

    std::wstring middle;
    if (!text.empty()) {
        middle = L" " + text + L" ";
        available -= width(middle);
    }
    const int dash = width(L"-");
    const int dashes = dash > 0 && available > 0 ? available / dash : 0;
    if (text.empty())
        return std::wstring(static_cast<std::size_t>(dashes), L'-') + L"\r\n";
    return std::wstring(static_cast<std::size_t>(dashes / 2), L'-') + middle
           + std::wstring(static_cast<std::size_t>((dashes + 1) / 2), L'-') + L"\r\n";
}

void CDlgInstall::AppendReport(const std::wstring& text, bool heading)
{
    const std::wstring line = text.empty() || heading ? RuleLine(text) : text;
    ::SendMessageW(report_, EM_SETSEL, 0x7FFFFFFF, -1);
    ::SendMessageW(report_, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(report_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    ::SendMessageW(report_, EM_LINESCROLL, 0, 1);
}

void CDlgInstall::SetStatusText(const std::wstring& text)
{
    SetDlgItemText(IDC_STATUS, text);
}

void CDlgInstall::SetStatusPath(const std::wstring& text)
{
    // Shortens the path with an ellipsis so that it fits the status line.
    ::PathSetDlgItemPathW(GetSafeHwnd(), IDC_STATUS, text.c_str());
}

void CDlgInstall::SetProgress(int percent)
{
    ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CDlgInstall::ShowProgress(bool visible)
{
    ::ShowWindow(progress_, visible ? SW_SHOW : SW_HIDE);
}

void CDlgInstall::PumpMessages()
{
    AfxPumpWaitingMessages();
}

HWND CDlgInstall::OwnerWindow() const
{
    // The page itself: the system makes its top-level window the owner of what the DirectX
    // setup shows.
    return GetSafeHwnd();
}

void CDlgInstall::BeginWaitCursor()
{
    if (waitCursor_)
        CWaitCursor::Show();
    else
        waitCursor_.emplace();
}

void CDlgInstall::EndWaitCursor()
{
    waitCursor_.reset();
}

bool CDlgInstall::Install()
{
    bool succeeded = false;
    try {
        succeeded = installation_ && installation_(*this);
    } catch (const std::exception&) {
        // The installation reports its own failures; one that escapes it must not unwind
        // through the system's dialog code. It counts as a failed installation.
        const std::wstring failure = FormatText(LoadText(kTextInstallationFailed), L"1:8000FFFF");
        SetStatusText(failure);
        AppendReport(failure + L"\r\n", false);
    }
    waitCursor_.reset();
    return succeeded;
}

void CDlgInstall::UpdateTexts()
{
    SetDlgItemText(IDC_STATUS, FormatText(LoadText(kTextClickToInstall), LoadText(kTextInstall)));
}

void CDlgInstall::StretchControls(int dx, int dy)
{
    MoveDlgItem(IDC_REPORT, 0, 0, dx, dy);
    MoveDlgItem(IDC_PROGRESS, 0, dy, dx, 0);
    MoveDlgItem(IDC_STATUS, 0, dy, dx, 0);
}
