// The six pages of the wizard: child dialogs without border that the frame shows one at a
// time in the same place. Each loads its controls from the installation state when it is
// shown and stores them when the wizard leaves it.
#pragma once

#include "framework/dialog.h"
#include "framework/wait_cursor.h"
#include "install/install_state.h"
#include "product/install_view.h"
#include "resources/dialog_ids.h"
#include "support/unique_image_list.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// What the frame asks of every page besides showing, hiding and the data exchange.
class CWizardPage : public CDialog {
public:
    CWizardPage(UINT templateId, InstallState& state) : CDialog(templateId), state_(state) {}

    // Re-reads the page's texts in the current language.
    virtual void UpdateTexts() = 0;
    // Grows the page's controls by the width dx and height dy (pixels) that the frame adds
    // to the page; called once while the frame sizes itself.
    virtual void StretchControls(int dx, int dy) = 0;

protected:
    InstallState& state_;
};

// Page 0: the language list with the flags, what the installer found on the machine, and
// what to click next.
class CDlgStart : public CWizardPage {
public:
    explicit CDlgStart(InstallState& state) : CWizardPage(IDD_PAGE_START, state) {}

    void UpdateTexts() override;
    void StretchControls(int dx, int dy) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void SetDroppedWidth() const;

    HWND languageList_ = nullptr;
    kv::unique_image_list flags_;
};

// Page 1: quick or advanced installation.
class CDlgMode : public CWizardPage {
public:
    explicit CDlgMode(InstallState& state) : CWizardPage(IDD_PAGE_MODE, state) {}

    void UpdateTexts() override;
    void StretchControls(int dx, int dy) override;

protected:
    void DoDataExchange(CDataExchange* dx) override;

private:
    int mode_ = -1;   // 0 quick, 1 advanced, -1 no choice
};

// Page 2: the installation folder; read only on an update or reinstallation.
class CDlgPath : public CWizardPage {
public:
    explicit CDlgPath(InstallState& state) : CWizardPage(IDD_PAGE_PATH, state) {}

    void UpdateTexts() override;
    void StretchControls(int dx, int dy) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void Browse();

    std::wstring folder_;
};

// Page 3: the Start-menu shortcuts with their folder (chosen with Browse only) and the
// desktop shortcut.
class CDlgShortcut : public CWizardPage {
public:
    explicit CDlgShortcut(InstallState& state) : CWizardPage(IDD_PAGE_SHORTCUT, state) {}

    void UpdateTexts() override;
    void StretchControls(int dx, int dy) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    // The folder box and Browse are enabled exactly while the menu check box is ticked.
    void EnableMenuFolder() const;
    void Browse();

    int desktop_ = 0;
    int menu_ = 0;
    std::wstring folder_;          // relative to the Start-menu root
    std::wstring startMenuRoot_;   // the all-users Start-menu folder, else the user's own
};

// Runs the installation, reporting through the progress page; true on success.
using Installation = std::function<bool(InstallView&)>;

// Page 4: the summary of the chosen options, then the installation itself with its status
// line, running report and progress bar.
class CDlgInstall : public CWizardPage, public InstallView {
public:
    CDlgInstall(InstallState& state, Installation installation);

    void UpdateTexts() override;
    void StretchControls(int dx, int dy) override;

    // Runs the installation on this thread; true when it succeeded.
    bool Install();

    // InstallView
    void SetStatusText(const std::wstring& text) override;
    void SetStatusPath(const std::wstring& text) override;
    void AppendReport(const std::wstring& text, bool heading) override;
    void SetProgress(int percent) override;
    void ShowProgress(bool visible) override;
    void PumpMessages() override;
    HWND OwnerWindow() const override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

private:
    void WriteSummary();
    // A line of dashes as wide as the report, with text (when not empty) in its middle.
    std::wstring RuleLine(const std::wstring& text) const;

    Installation installation_;
    HWND report_ = nullptr;
    HWND progress_ = nullptr;
    std::optional<CWaitCursor> waitCursor_;
};

// Page 5: the installation is complete.
class CDlgEnd : public CWizardPage {
public:
    explicit CDlgEnd(InstallState& state) : CWizardPage(IDD_PAGE_END, state) {}

    void UpdateTexts() override;
    void StretchControls(int dx, int dy) override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
};
