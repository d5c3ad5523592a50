// Dialogs created from templates of the resources: modal dialogs and child pages without
// border, with the framework's data exchange between their controls and their values.
#pragma once

#include <windows.h>

#include <string>

class CDataExchange;

class CDialog {
public:
    // templateId: the dialog template in the resources. owner: the window that owns a
    // modal dialog, or the parent of a child page.
    explicit CDialog(UINT templateId, HWND owner = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; the result passed to EndDialog, or -1 when the dialog could
    // not be created.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window (a child page when its template says so).
    bool Create(HWND parent);

    HWND GetSafeHwnd() const { return hwnd_; }

    // true: validate the controls and store their values; false: load the controls from
    // the values. Answers false when a value was refused (the user has been told why).
    bool UpdateData(bool saveAndValidate = true);
    void EndDialog(INT_PTR result);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
    std::wstring GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::wstring& text) const;
    void EnableDlgItem(int id, bool enable) const;
    // A control's rectangle in the dialog's client coordinates.
    RECT DlgItemRect(int id) const;
    // Moves a control by (moveX, moveY) and grows it by (growX, growY), all in pixels.
    void MoveDlgItem(int id, int moveX, int moveY, int growX, int growY) const;

protected:
    // Called once the controls exist; the default loads them (UpdateData(false)).
    virtual BOOL OnInitDialog();
    // Button IDOK (also Enter on the default button): the default stores the values and
    // ends the dialog with IDOK.
    virtual void OnOK();
    // Button IDCANCEL, Esc and the close box: the default ends the dialog with IDCANCEL.
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx);
    // Any other command; true when it was handled.
    virtual bool OnCommand(int id, int code, HWND control);
    // Any other message; true when it was handled, with its result in result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The window's default processing of a message, for handlers that run it first.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) const;

    HWND owner_;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// A window's text.
std::wstring AfxWindowText(HWND window);
// A child window's rectangle in its parent's client coordinates.
RECT AfxChildRect(HWND child);

// The module whose resources hold the dialog templates and the framework's texts: the one
// the source given to AfxSetResourceSource returns, else the executable. The application
// gives the source that follows its language.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceSource(HINSTANCE (*source)());
