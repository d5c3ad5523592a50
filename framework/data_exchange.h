// Data exchange between a dialog's controls and its values, in both directions: loading
// the controls from the values, and validating and storing what the user entered.
#pragma once

#include <windows.h>

#include <string>

class CDialog;

class CDataExchange {
public:
    // Thrown by Fail: the exchange stops and UpdateData answers false.
    struct Failure {};

    CDataExchange(CDialog* dialog, bool saveAndValidate) : dialog_(dialog), saveAndValidate_(saveAndValidate) {}

    bool SaveAndValidate() const { return saveAndValidate_; }
    CDialog* Dialog() const { return dialog_; }

    // The control that the next validation refers to; an edit box gets the focus and its
    // text is selected when that validation fails.
    HWND PrepareControl(int id);
    HWND PrepareEditControl(int id);
    HWND LastControl() const { return lastControl_; }
    bool LastControlIsEdit() const { return lastIsEdit_; }

    // Ends a refused exchange: the last control gets the focus.
    [[noreturn]] void Fail();

private:
    CDialog* dialog_;
    bool saveAndValidate_;
    HWND lastControl_ = nullptr;
    bool lastIsEdit_ = false;
};

// The control's window handle, bound once.
void DDX_Control(CDataExchange* dx, int id, HWND& control);
// The text of an edit box or other control.
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
// A check box: 0 clear, 1 ticked, 2 indeterminate.
void DDX_Check(CDataExchange* dx, int id, int& value);
// The radio group that starts at firstId: the index of the selected button, -1 for none.
void DDX_Radio(CDataExchange* dx, int firstId, int& value);
// The length limit of the last edit box: loading limits the box; storing a longer text is
// refused with "Enter no more than %1 characters.".
void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int maxChars);
