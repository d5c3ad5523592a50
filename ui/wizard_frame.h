// The wizard: one modal dialog that hosts the six pages in the same place and shows one at a
// time, with Back, Next and Exit, the About box in its system menu and the exit confirmation.
#pragma once

#include "framework/dialog.h"
#include "install/install_state.h"
#include "ui/pages.h"

#include <windows.h>

#include <array>

// The About box: the installer's product line and legal notice, and the maker's address.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner = nullptr);

protected:
    BOOL OnInitDialog() override;
};

// The wizard frame. Run it with DoModal: it makes itself the application's main window while
// it exists, follows language changes (ChangeLanguage) while it exists, and runs the
// installation when the user clicks Install on the progress page. DoModal returns IDOK after a
// successful installation, IDCANCEL otherwise; state.installed holds the same answer.
class CInstallDlg : public CDialog {
public:
    static constexpr int kPageCount = 6;
    static constexpr UINT kAboutCommand = 0x10;   // system-menu command of the About entry

    // state: the installation state the pages show and change. installation: runs the
    // installation, reporting through the progress page; true on success.
    CInstallDlg(InstallState& state, Installation installation, HWND owner = nullptr);

    // Leaves the current page (when it accepts its values) and shows target; quick mode passes
    // over the folder and shortcut pages in the direction of the move.
    void ShowPage(int target);
    // Re-reads every text of the frame and of its pages in the current language.
    void UpdateTexts();
    // The texts of Back, Next and Exit.
    void UpdateButtons();

    // The page shown (0 to 5), -1 before the frame exists.

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // The About entry of the system menu: text 3 with the installer's name, "&" in front and
    // "..." behind it, or "..." in front for a language written right to left.
    std::wstring AboutEntryText() const;
    // Grows the frame once so that the largest page fits, and every page to the same size.
    void SizeToLargestPage();
    bool IsButtonEnabled(int id) const;

    InstallState& state_;
    CDlgStart startPage_;
    CDlgMode modePage_;
    CDlgPath pathPage_;
    CDlgShortcut shortcutPage_;
    CDlgInstall installPage_;
    CDlgEnd endPage_;
    std::array<CWizardPage*, kPageCount> pages_{};
    int current_ = -1;
    // True while the installation runs inside OnOK: the messages it lets through meanwhile
    // may neither start it again nor end the wizard.
    bool installing_ = false;
};
