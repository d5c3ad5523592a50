#include "framework/dialog.h"

#include "framework/data_exchange.h"
#include "framework/wait_cursor.h"

#include <vector>

namespace {

HINSTANCE (*resourceSource)() = nullptr;

}  // namespace

HINSTANCE AfxGetResourceHandle()
{
    return resourceSource ? resourceSource() : ::GetModuleHandleW(nullptr);
}

void AfxSetResourceSource(HINSTANCE (*source)())
{
    resourceSource = source;
}

CDialog::CDialog(UINT templateId, HWND owner) : owner_(owner), templateId_(templateId) {}

CDialog::~CDialog()
{
    if (hwnd_ && !modal_)
        ::DestroyWindow(hwnd_);
}

INT_PTR CDialog::DoModal()
{
    modal_ = true;
    const INT_PTR result = ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId_), owner_,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result;
}

bool CDialog::Create(HWND parent)
{
    modal_ = false;
    owner_ = parent;
    return ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId_), parent, DialogProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
        return true;
    } catch (const CDataExchange::Failure&) {
        return false;
    }
}

void CDialog::EndDialog(INT_PTR result)
{
    if (modal_)
        ::EndDialog(hwnd_, result);
    else
        ::DestroyWindow(hwnd_);
}

std::wstring AfxWindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

RECT AfxChildRect(HWND child)
{
    RECT rect{};
    ::GetWindowRect(child, &rect);
    // Two points: the system maps a rectangle, also in a window laid out right to left.
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring CDialog::GetDlgItemText(int id) const
{
    return AfxWindowText(GetDlgItem(id));
}

void CDialog::SetDlgItemText(int id, const std::wstring& text) const
{
    ::SetDlgItemTextW(hwnd_, id, text.c_str());
}

void CDialog::EnableDlgItem(int id, bool enable) const
{
    ::EnableWindow(GetDlgItem(id), enable);
}

RECT CDialog::DlgItemRect(int id) const
{
    return AfxChildRect(GetDlgItem(id));
}

void CDialog::MoveDlgItem(int id, int moveX, int moveY, int growX, int growY) const
{
    const RECT rect = DlgItemRect(id);
    ::SetWindowPos(GetDlgItem(id), nullptr, rect.left + moveX, rect.top + moveY, rect.right - rect.left + growX,
                   rect.bottom - rect.top + growY, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::OnCommand(int, int, HWND)
{
    return false;
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT CDialog::Default(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->hwnd_ = window;
        return dialog->OnInitDialog();
    }
    if (!dialog)
        return FALSE;

    if (message == WM_SETCURSOR && AfxIsWaitCursorShown()) {
        // The system would put the class cursor back whenever the mouse moves.
        CWaitCursor::Show();
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }

    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        const HWND control = reinterpret_cast<HWND>(lParam);
        if (id == IDOK && (code == BN_CLICKED || !control)) {
            dialog->OnOK();
            return TRUE;
        }
        if (id == IDCANCEL && (code == BN_CLICKED || !control)) {
            dialog->OnCancel();
            return TRUE;
        }
        return dialog->OnCommand(id, code, control);
    }
    case WM_NCDESTROY:
        dialog->hwnd_ = nullptr;
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        return FALSE;
    default: {
        LRESULT result = 0;
        if (!dialog->OnMessage(message, wParam, lParam, result))
            return FALSE;
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}
