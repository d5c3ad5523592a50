#include "ui/pages.h"

#include "framework/data_exchange.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "ui/folder_browser.h"

BOOL CDlgPath::OnInitDialog()
{
    CDialog::OnInitDialog();
    // An update or reinstallation keeps the folder of the installed product.
    if (state_.previousStatus != PreviousInstallStatus::NotInstalled) {
        EnableDlgItem(IDC_PATH_LABEL, false);
        EnableDlgItem(IDC_BROWSE, false);
        ::SendMessageW(GetDlgItem(IDC_FOLDER), EM_SETREADONLY, TRUE, 0);
    }
    return TRUE;
}

void CDlgPath::DoDataExchange(CDataExchange* dx)
{
    if (!dx->SaveAndValidate())
        folder_ = state_.installFolder;
    DDX_Text(dx, IDC_FOLDER, folder_);
    DDV_MaxChars(dx, folder_, MAX_PATH);
    if (dx->SaveAndValidate())
        state_.installFolder = folder_;
}

bool CDlgPath::OnCommand(int id, int code, HWND)
{
    if (id != IDC_BROWSE || code != BN_CLICKED)
        return false;
    Browse();
    return true;
}

void CDlgPath::Browse()
{
    UpdateData(true);
    const std::wstring title = FormatText(LoadText(kTextSelectInstallFolder), ProductDisplayName(false));
    const std::wstring chosen = BrowseInstallFolder(state_.installFolder, ProductRegistryName(), title);
    if (!chosen.empty()) {
        state_.installFolder = chosen;
        UpdateData(false);
    }
}

void CDlgPath::UpdateTexts()
{
    SetDlgItemText(IDC_PATH_GROUP, LoadText(kTextFolderSelection));
    SetDlgItemText(IDC_PATH_LABEL, FormatText(LoadText(kTextSelectInstallFolder), ProductDisplayName(false)));
    SetDlgItemText(IDC_BROWSE, LoadText(kTextBrowse));
    SetDlgItemText(IDC_STATUS, ContinueStatusText());
}

void CDlgPath::StretchControls(int dx, int dy)
{
    MoveDlgItem(IDC_PATH_GROUP, 0, 0, dx, 0);
    MoveDlgItem(IDC_PATH_LABEL, 0, 0, dx, 0);
    MoveDlgItem(IDC_FOLDER, 0, 0, dx, 0);
    MoveDlgItem(IDC_BROWSE, dx, 0, 0, 0);
    MoveDlgItem(IDC_STATUS, 0, dy, dx, 0);
}
