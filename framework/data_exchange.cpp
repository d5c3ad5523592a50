#include "framework/data_exchange.h"

#include "framework/dialog.h"
#include "framework/framework_strings.h"
#include "framework/message_box.h"

#include <vector>

HWND CDataExchange::PrepareControl(int id)
{
    lastControl_ = dialog_->GetDlgItem(id);
    lastIsEdit_ = false;
    return lastControl_;
}

HWND CDataExchange::PrepareEditControl(int id)
{
    PrepareControl(id);
    lastIsEdit_ = true;
    return lastControl_;
}

void CDataExchange::Fail()
{
    if (saveAndValidate_ && lastControl_) {
        ::SetFocus(lastControl_);
        if (lastIsEdit_)
            ::SendMessageW(lastControl_, EM_SETSEL, 0, -1);
    }
    throw Failure{};
}

void DDX_Control(CDataExchange* dx, int id, HWND& control)
{
    if (!control)
        control = dx->PrepareControl(id);
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& value)
{
    HWND control = dx->PrepareEditControl(id);
    if (dx->SaveAndValidate())
        value = dx->Dialog()->GetDlgItemText(id);
    else
        ::SetWindowTextW(control, value.c_str());
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    HWND control = dx->PrepareControl(id);
    if (dx->SaveAndValidate())
        value = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    else
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CDataExchange* dx, int firstId, int& value)
{
    HWND first = dx->PrepareControl(firstId);
    if (!first)
        return;

    // The group runs from its first button up to the next control that starts a group.
    std::vector<HWND> buttons;
    for (HWND control = first; control; control = ::GetWindow(control, GW_HWNDNEXT)) {
        if (control != first && (::GetWindowLongW(control, GWL_STYLE) & WS_GROUP))
            break;
        const LONG type = ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        if ((::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)
            || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
            buttons.push_back(control);
    }

    if (dx->SaveAndValidate()) {
        value = -1;
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (::SendMessageW(buttons[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
                value = static_cast<int>(i);
    } else {
        for (std::size_t i = 0; i < buttons.size(); ++i)
            ::SendMessageW(buttons[i], BM_SETCHECK, static_cast<int>(i) == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int maxChars)
{
    if (dx->SaveAndValidate()) {
        if (value.size() > static_cast<std::size_t>(maxChars)) {
            AfxMessageBox(FormatFrameworkText(AFX_IDP_PARSE_STRING_SIZE, std::to_wstring(maxChars)), MB_ICONEXCLAMATION);
            dx->Fail();
        }
    } else if (dx->LastControlIsEdit()) {
        ::SendMessageW(dx->LastControl(), EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
    }
}
