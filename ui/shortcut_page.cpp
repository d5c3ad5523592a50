#include "ui/pages.h"

#include "framework/data_exchange.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "ui/folder_browser.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace {

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    return ::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? path : L"";
}

} // namespace

BOOL CDlgShortcut::OnInitDialog()
{
    startMenuRoot_ = SpecialFolder(CSIDL_COMMON_STARTMENU);
    if (startMenuRoot_.empty())
        startMenuRoot_ = SpecialFolder(CSIDL_STARTMENU);
    CDialog::OnInitDialog();
    EnableMenuFolder();
    return TRUE;
}

void CDlgShortcut::DoDataExchange(CDataExchange* dx)
{
    if (!dx->SaveAndValidate()) {
        desktop_ = state_.createDesktopShortcut ? 1 : 0;
        menu_ = state_.createMenuShortcuts ? 1 : 0;
        // A folder on another drive has no relative form: it is shown as it is, and joining
        // an absolute path to the root gives it back unchanged.
        folder_ = RelativeFolderPath(startMenuRoot_, state_.startMenuFolder).value_or(state_.startMenuFolder);
    }
    DDX_Check(dx, IDC_DESKTOP_SHORTCUT, desktop_);
    DDX_Check(dx, IDC_MENU_SHORTCUT, menu_);
    DDX_Text(dx, IDC_FOLDER, folder_);
    DDV_MaxChars(dx, folder_, MAX_PATH);
    if (dx->SaveAndValidate()) {
        state_.createDesktopShortcut = desktop_ != 0;
        state_.createMenuShortcuts = menu_ != 0;
        wchar_t combined[MAX_PATH] = L"";
        if (::PathCombineW(combined, startMenuRoot_.c_str(), folder_.c_str()))
            state_.startMenuFolder = combined;
    }
}

bool CDlgShortcut::OnCommand(int id, int code, HWND)
{
    if (code != BN_CLICKED)
        return false;
    if (id == IDC_MENU_SHORTCUT) {
        EnableMenuFolder();
        return true;
    }
    if (id == IDC_BROWSE) {
        Browse();
        return true;
    }
    return false;
}

void CDlgShortcut::EnableMenuFolder() const
{
    const bool ticked = ::IsDlgButtonChecked(GetSafeHwnd(), IDC_MENU_SHORTCUT) == BST_CHECKED;
    EnableDlgItem(IDC_FOLDER, ticked);
    EnableDlgItem(IDC_BROWSE, ticked);
}

void CDlgShortcut::Browse()
{
    UpdateData(true);
    const StartMenuChoice chosen =
        BrowseStartMenuFolder(state_.startMenuFolder, ProductRegistryName(), LoadText(kTextMenuShortcut));
    if (!chosen.folder.empty()) {
        folder_ = chosen.relative;
        state_.startMenuFolder = chosen.folder;
        UpdateData(false);
    }
}

void CDlgShortcut::UpdateTexts()
{
    SetDlgItemText(IDC_SHORTCUT_GROUP, LoadText(kTextStartMenu));
    SetDlgItemText(IDC_MENU_SHORTCUT, LoadText(kTextMenuShortcut));
    SetDlgItemText(IDC_BROWSE, LoadText(kTextBrowse));
    SetDlgItemText(IDC_DESKTOP_SHORTCUT, LoadText(kTextDesktopShortcut));
    SetDlgItemText(IDC_STATUS, ContinueStatusText());
}

void CDlgShortcut::StretchControls(int dx, int dy)
{
    MoveDlgItem(IDC_SHORTCUT_GROUP, 0, 0, dx, 0);
    MoveDlgItem(IDC_MENU_SHORTCUT, 0, 0, dx, 0);
    MoveDlgItem(IDC_FOLDER, 0, 0, dx, 0);
    MoveDlgItem(IDC_DESKTOP_SHORTCUT, 0, 0, dx, 0);
    MoveDlgItem(IDC_BROWSE, dx, 0, 0, 0);
    MoveDlgItem(IDC_STATUS, 0, dy, dx, 0);
}
