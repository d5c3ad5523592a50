#include "ui/pages.h"

#include "framework/data_exchange.h"
#include "product/texts.h"

void CDlgMode::DoDataExchange(CDataExchange* dx)
{
    if (!dx->SaveAndValidate())
        mode_ = state_.advancedMode ? 1 : 0;
    DDX_Radio(dx, IDC_MODE_QUICK, mode_);
    if (dx->SaveAndValidate())
        state_.advancedMode = mode_ == 1;
}

void CDlgMode::UpdateTexts()
{
    SetDlgItemText(IDC_MODE_GROUP, LoadText(kTextInstallationMethod));
    SetDlgItemText(IDC_MODE_QUICK, LoadText(kTextQuickInstallation));
    SetDlgItemText(IDC_MODE_ADVANCED, LoadText(kTextAdvancedInstallation));
    SetDlgItemText(IDC_STATUS, ContinueStatusText());
}

void CDlgMode::StretchControls(int dx, int dy)
{
    MoveDlgItem(IDC_MODE_GROUP, 0, 0, dx, 0);
    MoveDlgItem(IDC_MODE_QUICK, 0, 0, dx, 0);
    MoveDlgItem(IDC_MODE_ADVANCED, 0, 0, dx, 0);
    MoveDlgItem(IDC_STATUS, 0, dy, dx, 0);
}
