#include "ui/pages.h"

#include "framework/data_exchange.h"
#include "product/languages.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "support/unique_resource.h"

#include <algorithm>

namespace {

constexpr int kFlagWidth = 18;
constexpr int kFlagHeight = 12;

} // namespace

BOOL CDlgStart::OnInitDialog()
{
    CDialog::OnInitDialog();

    flags_.reset(::ImageList_Create(kFlagWidth, kFlagHeight, ILC_COLOR24, 8, 1));
    ::SendMessageW(languageList_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(flags_.get()));

    int current = -1;
    int position = 0;
    for (const LanguageIndex language : kStartPageLanguages) {
        const kv::unique_icon flag(static_cast<HICON>(::LoadImageW(AfxGetResourceHandle(),
                                                                   MAKEINTRESOURCEW(LanguageFlagIcon(language)),
                                                                   IMAGE_ICON, 16, 12, LR_DEFAULTCOLOR)));
        const int image = ::ImageList_ReplaceIcon(flags_.get(), -1, flag.get());

        std::wstring name = LanguageNativeName(language);
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        item.iItem = position++;
        item.pszText = name.data();
        item.iImage = image;
        item.iSelectedImage = image;
        item.lParam = language;
        const auto inserted = static_cast<int>(
            ::SendMessageW(languageList_, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (language == CurrentLanguage())
            current = inserted;
    }

    SetDroppedWidth();
    ::SendMessageW(languageList_, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
    return TRUE;
}

void CDlgStart::SetDroppedWidth() const
{
    // The open list shows every language name whole, also when that is wider than the box.
    const HWND combo = reinterpret_cast<HWND>(::SendMessageW(languageList_, CBEM_GETCOMBOCONTROL, 0, 0));
    const kv::window_dc dc(combo);
    const kv::select_object font(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(GetSafeHwnd(), WM_GETFONT, 0, 0)));

    int width = 0;
    const auto count = static_cast<int>(::SendMessageW(languageList_, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[257] = L"";
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = 256;
        if (!::SendMessageW(languageList_, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
            continue;
        SIZE size{};
        ::GetTextExtentPoint32W(dc.get(), item.pszText, ::lstrlenW(item.pszText), &size);
        width = std::max(width, static_cast<int>(size.cx) + 30);
    }
    // Sent to the inner combo box: not every extended combo box passes it on.
    ::SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

void CDlgStart::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_LANGUAGE_LIST, languageList_);
}

bool CDlgStart::OnCommand(int id, int code, HWND)
{
    if (id != IDC_LANGUAGE_LIST || code != CBN_SELCHANGE)
        return false;
    const auto selected = static_cast<int>(::SendMessageW(languageList_, CB_GETCURSEL, 0, 0));
    if (selected < 0)
        return true;
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_LPARAM;
    item.iItem = selected;
    if (::SendMessageW(languageList_, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        ChangeLanguage(static_cast<LanguageIndex>(item.lParam));
    return true;
}

void CDlgStart::UpdateTexts()
{
    const std::wstring product = ProductDisplayName(true);
    std::wstring installed;
    std::wstring situation;
    std::wstring status;
    switch (state_.PreviousStatus(&installed)) {
    case PreviousInstallStatus::SameVersion:
        situation =
            FormatText(LoadText(kTextAlreadyInstalled), product) + L"\r\n" + LoadText(kTextConfirmReinstallation);
        status = FormatText(LoadText(kTextContinueOrExit), LoadText(kTextNext), LoadText(kTextCancel));
        break;
    case PreviousInstallStatus::OlderVersion:
        situation = FormatText(LoadText(kTextUpdate), installed, product);
        status = ContinueStatusText();
        break;
    case PreviousInstallStatus::NewerVersion:
        situation = FormatText(LoadText(kTextProductInstallation), product) + L"\r\n"
                    + FormatText(LoadText(kTextNewerInstalled), installed);
        status = FormatText(LoadText(kTextClickToExit), LoadText(kTextCancel));
        break;
    case PreviousInstallStatus::NotInstalled:
    default:
        situation = FormatText(LoadText(kTextProductInstallation), product);
        status = ContinueStatusText();
        break;
    }
    SetDlgItemText(IDC_INFO, situation);
    SetDlgItemText(IDC_STATUS, status);
    SetDlgItemText(IDC_COPYRIGHT, FormatText(LoadText(kTextCopyright), product));
    SetDlgItemText(IDC_LANGUAGE_LABEL, LoadText(kTextLanguageSelection));
}

void CDlgStart::StretchControls(int dx, int dy)
{
    MoveDlgItem(IDC_LANGUAGE_LIST, 0, 0, dx, 0);
    MoveDlgItem(IDC_COPYRIGHT, 0, 0, dx, 0);
    MoveDlgItem(IDC_INFO, 0, 0, dx, dy);
    MoveDlgItem(IDC_STATUS, 0, dy, dx, 0);
}
