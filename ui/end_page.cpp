#include "ui/pages.h"

#include "framework/data_exchange.h"
#include "product/texts.h"

void CDlgEnd::DoDataExchange(CDataExchange* dx)
{
    if (!dx->SaveAndValidate() && state_.installed)
        SetDlgItemText(IDC_INFO, LoadText(kTextInstallationComplete));
}

void CDlgEnd::UpdateTexts()
{
    SetDlgItemText(IDC_INFO, L"");
    SetDlgItemText(IDC_STATUS, FormatText(LoadText(kTextClickToExit), LoadText(kTextExit)));
}

void CDlgEnd::StretchControls(int dx, int dy)
{
    MoveDlgItem(IDC_INFO, 0, 0, dx, dy);
    MoveDlgItem(IDC_STATUS, 0, dy, dx, 0);
}
