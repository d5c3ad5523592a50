// The wizard's texts in English and after a language change, its system menu, its About box
// and its one-time sizing to the largest page.
#include "framework/application_name.h"
#include "product/languages.h"
#include "product/texts.h"
#include "resources/dialog_ids.h"
#include "support/strings.h"
#include "support/unique_resource.h"
#include "support/wine_detection.h"
#include "tools/test_driver/window_driver.h"
#include "ui/ui_services.h"
#include "ui/wizard_frame.h"

#include "wizard_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

namespace {

using namespace wizard_testing;

struct SystemMenu {
    std::vector<UINT> ids;
    std::wstring aboutEntry;
    bool separatorBeforeAbout = false;
};

SystemMenu ReadSystemMenu(HWND frame)
{
    SystemMenu read;
    const HMENU menu = ::GetSystemMenu(frame, FALSE);
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT id = ::GetMenuItemID(menu, i);
        read.ids.push_back(id);
        if (id == CInstallDlg::kAboutCommand) {
            wchar_t text[128] = L"";
            ::GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
            read.aboutEntry = text;
            read.separatorBeforeAbout = i > 0 && (::GetMenuState(menu, i - 1, MF_BYPOSITION) & MF_SEPARATOR);
        }
    }
    return read;
}

bool Contains(const std::vector<UINT>& ids, UINT id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The texts that show the language on every page, read from the hidden pages too.
std::map<std::wstring, std::wstring> PageTexts(HWND frame)
{
    return {
        {L"title", driver::WindowText(frame)},
        {L"next", ControlText(frame, IDOK)},
        {L"back", ControlText(frame, IDC_BACK)},
        {L"exit", ControlText(frame, IDCANCEL)},
        {L"language label", PageControlText(frame, 0, IDC_LANGUAGE_LABEL)},
        {L"start status", PageControlText(frame, 0, IDC_STATUS)},
        {L"situation", PageControlText(frame, 0, IDC_INFO)},
        {L"mode group", PageControlText(frame, 1, IDC_MODE_GROUP)},
        {L"quick", PageControlText(frame, 1, IDC_MODE_QUICK)},
        {L"advanced", PageControlText(frame, 1, IDC_MODE_ADVANCED)},
        {L"folder group", PageControlText(frame, 2, IDC_PATH_GROUP)},
        {L"folder label", PageControlText(frame, 2, IDC_PATH_LABEL)},
        {L"folder browse", PageControlText(frame, 2, IDC_BROWSE)},
        {L"shortcut group", PageControlText(frame, 3, IDC_SHORTCUT_GROUP)},
        {L"menu shortcut", PageControlText(frame, 3, IDC_MENU_SHORTCUT)},
        {L"desktop shortcut", PageControlText(frame, 3, IDC_DESKTOP_SHORTCUT)},
        {L"progress status", PageControlText(frame, 4, IDC_STATUS)},
        {L"summary", Lines(ReportText(frame)).at(0)},
        {L"end status", PageControlText(frame, 5, IDC_STATUS)},
    };
}

class WizardTexts : public WizardTest {};

TEST_F(WizardTexts, EnglishTitleButtonsAndSystemMenu)
{
    std::map<std::wstring, std::wstring> texts;
    SystemMenu menu;
    HICON icon = nullptr;
    UseApplicationIcon();
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        texts = PageTexts(frame);
        menu = ReadSystemMenu(frame);
        icon = reinterpret_cast<HICON>(::SendMessageW(frame, WM_GETICON, ICON_BIG, 0));
    });
    const std::map<std::wstring, std::wstring> expected = {
        {L"title", L"Installer \u2013 Tavelo 7.01j"},
        {L"next", L"Next  >"},
        {L"back", L"<  Back"},
        {L"exit", L"Cancel"},
        {L"language label", L"Select Installation Langage"},
        {L"start status", L"Click on 'Next' to continue."},
        {L"situation", L"'Tavelo 7.01j' Installation."},
        {L"mode group", L"Installation Method"},
        {L"quick", L"Quick Installation (Recommended)"},
        {L"advanced", L"Advanced Installation"},
        {L"folder group", L"Installation Folder Selection"},
        {L"folder label", L"Select 'Tavelo' Installation Folder."},
        {L"folder browse", L"Browse..."},
        {L"shortcut group", L"Start menu"},
        {L"menu shortcut", L"Create a Shortcut in the following Menu:"},
        {L"desktop shortcut", L"Create a Shortcut on the Desktop."},
        {L"progress status", L"Click on 'Install' to start Installation."},
        {L"summary", L"'Tavelo 7.01j' Installation."},
        {L"end status", L"Click on 'Exit' to exit Installation."},
    };
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(menu.aboutEntry, L"&About 'Installer'...");
    EXPECT_TRUE(menu.separatorBeforeAbout);
    EXPECT_FALSE(Contains(menu.ids, SC_MAXIMIZE));
    EXPECT_FALSE(Contains(menu.ids, SC_SIZE));
    EXPECT_TRUE(Contains(menu.ids, SC_MINIMIZE));
    EXPECT_TRUE(Contains(menu.ids, SC_CLOSE));
    ASSERT_TRUE(GetUiServices().icon);
    EXPECT_EQ(icon, GetUiServices().icon());
    EXPECT_NE(icon, nullptr);
}

TEST_F(WizardTexts, ALanguagePickedOnTheStartPageChangesEveryTextAtOnce)
{
    std::map<std::wstring, std::wstring> texts;
    SystemMenu menu;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        driver::SelectComboItem(driver::FindControl(frame, IDC_LANGUAGE_LIST), 0);   // Français
        texts = PageTexts(frame);
        menu = ReadSystemMenu(frame);
    });
    const std::map<std::wstring, std::wstring> expected = {
        {L"title", L"Programme d'installation \u2013 Tavelo 7.01j"},
        {L"next", L"Suivant  >"},
        {L"back", L"<  Précédent"},
        {L"exit", L"Annuler"},
        {L"language label", L"Langage d'installation"},
        {L"start status", L"Cliquez sur 'Suivant' pour continuer."},
        {L"situation", L"Installation de 'Tavelo 7.01j'."},
        {L"mode group", L"Méthode d'installation"},
        {L"quick", L"Installation rapide (recommandée)"},
        {L"advanced", L"Installation avancée"},
        {L"folder group", L"Sélection du dossier d'installation"},
        {L"folder label", L"Sélectionnez le dossier d'installation de 'Tavelo'."},
        {L"folder browse", L"Parcourir..."},
        {L"shortcut group", L"Menu Démarrer"},
        {L"menu shortcut", L"Créer un raccourci dans le menu suivant :"},
        {L"desktop shortcut", L"Créer un raccourci sur le Bureau."},
        {L"progress status", L"Cliquez sur 'Installer' pour démarrer l'installation."},
        // The summary is written when the progress page is entered.
        {L"summary", L"'Tavelo 7.01j' Installation."},
        {L"end status", L"Cliquez sur 'Quitter' pour quitter l'installation."},
    };
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(menu.aboutEntry, L"&À propos de 'Programme d'installation'...");
    EXPECT_EQ(CurrentLanguage(), kFrench);
    EXPECT_EQ(AfxGetAppName(), L"Programme d'installation \u2013 Tavelo 7.01j");
}

TEST_F(WizardTexts, AnUntranslatedLanguageIsAnnouncedAndTheWizardRunsInEnglishWithItShownInTheList)
{
    std::wstring notice, caption, title, next;
    int shown = -1;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        const HWND list = driver::FindControl(frame, IDC_LANGUAGE_LIST);
        driver::SelectComboItem(list, 0);   // French first: the change back to English shows
        driver::SelectComboItem(list, 6);   // Nederlands
        const HWND box = ExpectMessageBox();
        notice = driver::MessageBoxText(box);
        caption = driver::WindowText(box);
        Answer(box, IDOK);
        title = driver::WindowText(frame);
        next = ControlText(frame, IDOK);
        shown = driver::ComboSelection(list);
    });
    EXPECT_EQ(notice, L"'Tavelo' will be installed in the selected Langage, but the Installer, still under translation,  "
                      L"shall run in English.");
    EXPECT_EQ(caption, L"Programme d'installation \u2013 Tavelo 7.01j") << "the name of the language before the change";
    EXPECT_EQ(title, L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(next, L"Next  >");
    EXPECT_EQ(shown, 6);
    EXPECT_EQ(CurrentLanguage(), kEnglish);
}

TEST_F(WizardTexts, TheAboutBoxNamesTheInstallerAndItsNotice)
{
    std::wstring title, product, legal, ok;
    bool closed = false;
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        ::PostMessageW(frame, WM_SYSCOMMAND, CInstallDlg::kAboutCommand, 0);
        const HWND about = driver::WaitForDialog(::GetCurrentProcessId(), L"About", driver::milliseconds(10000));
        ASSERT_NE(about, nullptr);
        title = driver::WindowText(about);
        product = ControlText(about, IDC_ABOUT_PRODUCT);
        legal = ControlText(about, IDC_ABOUT_LEGAL);
        ok = ControlText(about, IDOK);
        driver::Click(::GetDlgItem(about, IDOK));
        for (int i = 0; i < 100 && ::IsWindow(about); ++i)
            driver::Settle(driver::milliseconds(50));
        closed = !::IsWindow(about);
    });
    EXPECT_EQ(title, L"About 'Installer'");
    EXPECT_EQ(product, L"Install 2.03b");
    EXPECT_EQ(legal, L"Copyright \u00a9 2026 Korvane. All rights reserved.");
    EXPECT_EQ(ok, L"OK");
    EXPECT_TRUE(closed);
}

TEST_F(WizardTexts, TheSystemMenuOffersRestoreOnlyWhileMinimisedAndMaximisingKeepsTheSize)
{
    UINT minimizeState = 0, restoreState = 0;
    MINMAXINFO limits{};
    RECT window{};
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        const HMENU menu = ::GetSystemMenu(frame, FALSE);
        ::SendMessageW(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
        minimizeState = ::GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND);
        restoreState = ::GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND);
        ::SendMessageW(frame, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        ::GetWindowRect(frame, &window);
    });
    EXPECT_FALSE(minimizeState & MF_GRAYED);
    EXPECT_TRUE(restoreState & MF_GRAYED);
    EXPECT_EQ(limits.ptMaxSize.x, window.right - window.left);
    EXPECT_EQ(limits.ptMaxSize.y, window.bottom - window.top);
    EXPECT_EQ(limits.ptMaxPosition.x, window.left);
    EXPECT_EQ(limits.ptMaxPosition.y, window.top);
}

// Dialog units of the frame's font in pixels.
RECT DialogUnits(HWND dialog, int left, int top, int right, int bottom)
{
    RECT rect{left, top, right, bottom};
    ::MapDialogRect(dialog, &rect);
    return rect;
}

RECT ClientRectOf(HWND frame, HWND child)
{
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(WizardTexts, TheFrameGrowsToItsWidestPageAndTheButtonsKeepTheirDistanceToItsEdges)
{
    RECT client{}, background{}, exit{}, next{}, line{};
    std::vector<RECT> pages;
    RECT widest{}, frameUnits{}, exitUnits{}, nextUnits{};
    RunWizard(state_, installation_.Get(), [&](HWND frame) {
        ::GetClientRect(frame, &client);
        background = ClientRectOf(frame, ::GetDlgItem(frame, IDC_PICTURE_BACKGROUND));
        exit = ClientRectOf(frame, ::GetDlgItem(frame, IDCANCEL));
        next = ClientRectOf(frame, ::GetDlgItem(frame, IDOK));
        line = ClientRectOf(frame, ::GetDlgItem(frame, IDC_SEPARATOR));
        for (HWND child = ::GetWindow(frame, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            if (driver::ClassName(child) == L"#32770")
                pages.push_back(ClientRectOf(frame, child));
        widest = DialogUnits(frame, 0, 0, 279, 112);   // the mode page, and the picture's height
        frameUnits = DialogUnits(frame, 0, 0, 273, 139);
        exitUnits = DialogUnits(frame, 216, 118, 266, 132);
        nextUnits = DialogUnits(frame, 138, 118, 204, 132);
    });
    ASSERT_EQ(pages.size(), 6u);
    for (const RECT& page : pages) {
        EXPECT_EQ(page.left, background.right);
        EXPECT_EQ(page.top, 0);
        EXPECT_EQ(page.right - page.left, widest.right);
        EXPECT_EQ(page.bottom, line.top);
    }
    EXPECT_EQ(client.right, background.right + widest.right);
    EXPECT_EQ(client.bottom, frameUnits.bottom);
    EXPECT_EQ(client.right - exit.right, frameUnits.right - exitUnits.right);
    EXPECT_EQ(client.bottom - exit.bottom, frameUnits.bottom - exitUnits.bottom);
    EXPECT_EQ(exit.left - next.left, exitUnits.left - nextUnits.left);
    // The etched line reaches the right edge as it did before the frame grew.
    EXPECT_GE(line.right, client.right);
    EXPECT_LE(line.left, 2);
}

// How much a text is wider or taller than its control can show with room to spare, in
// pixels; 0 when it fits.
struct Overflow {
    int width = 0;
    int height = 0;
};

// Every text leaves this part of its control's width free, so that a slightly different
// rendering of the same font still shows it whole.
constexpr int kSparePercent = 5;

Overflow Measure(HWND control, const std::wstring& text, int reserved, bool wraps)
{
    RECT client{};
    ::GetClientRect(control, &client);
    const int width = (client.right - reserved) * (100 - kSparePercent) / 100;
    const HDC dc = ::GetDC(control);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, wraps ? width : 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_NOPREFIX | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
    return {std::max(0, static_cast<int>(needed.right) - width), std::max(0, static_cast<int>(needed.bottom - client.bottom))};
}

int CALLBACK AddFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM families)
{
    reinterpret_cast<std::set<std::wstring>*>(families)->insert(font->lfFaceName);
    return 1;
}

// What the measurements below depend on is the same on every machine (scripts/wine-session.sh):
// 96 DPI, the dialog font is Wine's Tahoma, and no font of the host is seen besides Wine's own.
TEST(WizardTextMeasurement, TheDialogFontIsWinesTahomaAt96DpiAndNoHostFontIsSeen)
{
    if (!testing_support::RunningUnderWine())
        GTEST_SKIP() << "the settings of the test scripts' Wine prefix";
    const kv::window_dc screen(nullptr);
    EXPECT_EQ(::GetDeviceCaps(screen.get(), LOGPIXELSY), 96);

    LOGFONTW dialogFont{};
    dialogFont.lfHeight = -11;
    ::wcscpy(dialogFont.lfFaceName, L"MS Shell Dlg");
    const kv::unique_gdi_object font(::CreateFontIndirectW(&dialogFont));
    std::wstring family;
    {
        const kv::select_object selected(screen.get(), font.get());
        std::vector<std::uint8_t> metrics(::GetOutlineTextMetricsW(screen.get(), 0, nullptr));
        auto* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data());
        if (!metrics.empty() && ::GetOutlineTextMetricsW(screen.get(), static_cast<UINT>(metrics.size()), outline))
            family = reinterpret_cast<const wchar_t*>(metrics.data() + reinterpret_cast<std::uintptr_t>(outline->otmpFamilyName));
    }
    EXPECT_EQ(family, L"Tahoma");

    std::set<std::wstring> families;
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    ::EnumFontFamiliesExW(screen.get(), &all, AddFamily, reinterpret_cast<LPARAM>(&families), 0);
    const std::set<std::wstring> wines = {L"Marlett", L"Symbol", L"Tahoma", L"Webdings", L"Wingdings"};
    EXPECT_EQ(families, wines);
}

TEST_F(WizardTexts, EveryTextFitsItsControlInEveryTranslatedLanguageAndSituation)
{
    // Controls and the room their own drawing takes (the box of a check box, a button's
    // edges); the multi-line ones wrap.
    struct Shown {
        int page;   // -1: the frame
        int id;
        int reserved;
        bool wraps;
    };
    const Shown controls[] = {
        {-1, IDOK, 8, false},          {-1, IDC_BACK, 8, false},          {-1, IDCANCEL, 8, false},
        {0, IDC_LANGUAGE_LABEL, 0, false}, {0, IDC_INFO, 0, true},        {0, IDC_STATUS, 0, false},
        {1, IDC_MODE_GROUP, 16, false}, {1, IDC_MODE_QUICK, 20, false},   {1, IDC_MODE_ADVANCED, 20, false},
        {1, IDC_STATUS, 0, false},      {2, IDC_PATH_GROUP, 16, false},   {2, IDC_PATH_LABEL, 0, false},
        {2, IDC_BROWSE, 8, false},      {2, IDC_STATUS, 0, false},        {3, IDC_SHORTCUT_GROUP, 16, false},
        {3, IDC_MENU_SHORTCUT, 20, false}, {3, IDC_DESKTOP_SHORTCUT, 20, false}, {3, IDC_BROWSE, 8, false},
        {3, IDC_STATUS, 0, false},      {4, IDC_STATUS, 0, false},        {5, IDC_STATUS, 0, false},
    };
    // The list's positions of the languages with the installer's own texts.
    const int translated[] = {0, 1, 2, 3, 4, 5, 8, 9};

    std::vector<std::wstring> clipped;
    for (PreviousInstallStatus status : {PreviousInstallStatus::NotInstalled, PreviousInstallStatus::SameVersion,
                                         PreviousInstallStatus::OlderVersion, PreviousInstallStatus::NewerVersion}) {
        state_ = FreshState(status);
        RunWizard(state_, installation_.Get(), [&](HWND frame) {
            const HWND list = driver::FindControl(frame, IDC_LANGUAGE_LIST);
            for (int position : translated) {
                driver::SelectComboItem(list, position);
                for (const Shown& shown : controls) {
                    const HWND control =
                        shown.page < 0 ? ::GetDlgItem(frame, shown.id) : ::GetDlgItem(PageWindowOf(frame, shown.page), shown.id);
                    const std::wstring text = driver::WindowText(control);
                    const Overflow overflow = Measure(control, text, shown.reserved, shown.wraps);
                    if (overflow.width > 0 || overflow.height > 0)
                        clipped.push_back(L"status " + std::to_wstring(static_cast<int>(status)) + L", language " +
                                          std::to_wstring(position) + L", control " + std::to_wstring(shown.id) + L": \"" +
                                          text + L"\" by " + std::to_wstring(overflow.width) + L"x" +
                                          std::to_wstring(overflow.height));
                }
            }
        });
    }
    for (const std::wstring& report : clipped)
        ADD_FAILURE() << kv::to_utf8(report);
}

} // namespace
