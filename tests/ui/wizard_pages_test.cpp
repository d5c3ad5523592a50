// The pages on their own, each a child of a plain window: what they load from the
// installation state, what they store, and the texts they show.
#include "product/languages.h"
#include "resources/dialog_ids.h"
#include "support/test_window.h"
#include "tools/test_driver/window_driver.h"
#include "ui/pages.h"

#include "wizard_session.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

using namespace wizard_testing;
using testing_support::TestWindow;

std::wstring Text(const CDialog& page, int id)
{
    return page.GetDlgItemText(id);
}

bool Enabled(const CDialog& page, int id)
{
    return ::IsWindowEnabled(page.GetDlgItem(id)) != FALSE;
}

// Shown by its own style (the page itself may be hidden).
bool Shown(HWND control)
{
    return (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool Checked(const CDialog& page, int id)
{
    return ::IsDlgButtonChecked(page.GetSafeHwnd(), id) == BST_CHECKED;
}

// A page made a child of the test's parent window, as the frame makes it; throws when it cannot be.
template <class Page>
struct ChildPage : Page {
    template <class... Args>
    explicit ChildPage(HWND parent, Args&&... args) : Page(std::forward<Args>(args)...)
    {
        if (!this->Create(parent))
            throw std::runtime_error("the page cannot be created");
    }
};

class WizardPages : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_USEREX_CLASSES | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
    }

    EnglishWizardEnvironment english_;
    // Hidden: under Wine without a window manager hiding a shown window costs two seconds.
    TestWindow parent_{WS_OVERLAPPEDWINDOW};
    InstallState state_ = FreshState();
};

// The start page.

TEST_F(WizardPages, StartPageListsTheFourteenLanguagesWithFlagsAndSelectsTheCurrentOne)
{
    ChildPage<CDlgStart> page(parent_.get(), state_);
    const HWND list = page.GetDlgItem(IDC_LANGUAGE_LIST);

    std::vector<std::wstring> expectedNames;
    for (LanguageIndex language : kStartPageLanguages)
        expectedNames.push_back(LanguageNativeName(language));
    EXPECT_EQ(driver::ComboItems(list), expectedNames);
    EXPECT_EQ(expectedNames.at(0), L"Français");
    EXPECT_EQ(expectedNames.at(1), L"English");
    EXPECT_EQ(driver::ComboSelection(list), 1);

    const auto images = reinterpret_cast<HIMAGELIST>(::SendMessageW(list, CBEM_GETIMAGELIST, 0, 0));
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(::ImageList_GetImageCount(images), 14);
    int width = 0, height = 0;
    ::ImageList_GetIconSize(images, &width, &height);
    EXPECT_EQ(width, 18);
    EXPECT_EQ(height, 12);
    for (int i = 0; i < 14; ++i) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        item.iItem = i;
        ASSERT_TRUE(::SendMessageW(list, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        EXPECT_EQ(item.iImage, i);
        EXPECT_EQ(item.iSelectedImage, i);
        EXPECT_EQ(item.lParam, kStartPageLanguages[static_cast<std::size_t>(i)]);
    }
}

TEST_F(WizardPages, StartPageListOpensAsWideAsItsWidestNamePlusThirtyPixels)
{
    ChildPage<CDlgStart> page(parent_.get(), state_);
    const HWND list = page.GetDlgItem(IDC_LANGUAGE_LIST);
    const auto combo = reinterpret_cast<HWND>(::SendMessageW(list, CBEM_GETCOMBOCONTROL, 0, 0));

    const HDC dc = ::GetDC(combo);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(page.GetSafeHwnd(), WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const std::wstring& name : driver::ComboItems(list)) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    ::SelectObject(dc, previous);
    ::ReleaseDC(combo, dc);

    // The list is never narrower than the box itself.
    RECT box{};
    ::GetWindowRect(combo, &box);
    EXPECT_EQ(::SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), std::max<LRESULT>(widest + 30, box.right - box.left));
}

TEST_F(WizardPages, StartPageTellsWhatWasFoundAndWhatToClick)
{
    struct Case {
        PreviousInstallStatus status;
        std::wstring situation, status_line;
    } cases[] = {
        {PreviousInstallStatus::NotInstalled, L"'Tavelo 7.01j' Installation.", L"Click on 'Next' to continue."},
        {PreviousInstallStatus::SameVersion, L"'Tavelo 7.01j' is already installed.\r\nDo you confirm Reinstallation ?",
         L"Click on 'Next' to continue or on 'Cancel' to exit Installation."},
        {PreviousInstallStatus::OlderVersion, L"Update from 'Tavelo 7.01h' to 'Tavelo 7.01j'.", L"Click on 'Next' to continue."},
        {PreviousInstallStatus::NewerVersion, L"'Tavelo 7.01j' Installation.\r\nA more recent Version (Tavelo 7.02a) is already installed.",
         L"Click on 'Cancel' to exit Installation."},
    };
    for (const Case& c : cases) {
        state_ = FreshState(c.status);
        ChildPage<CDlgStart> page(parent_.get(), state_);
        page.UpdateTexts();
        EXPECT_EQ(Text(page, IDC_INFO), c.situation) << static_cast<int>(c.status);
        EXPECT_EQ(Text(page, IDC_STATUS), c.status_line) << static_cast<int>(c.status);
        EXPECT_EQ(Text(page, IDC_COPYRIGHT), L"") << "text 109 is empty";
        EXPECT_EQ(Text(page, IDC_LANGUAGE_LABEL), L"Select Installation Langage");
    }
}

// The mode page.

TEST_F(WizardPages, ModePageShowsAndStoresTheMode)
{
    ChildPage<CDlgMode> page(parent_.get(), state_);
    EXPECT_TRUE(Checked(page, IDC_MODE_QUICK));
    EXPECT_FALSE(Checked(page, IDC_MODE_ADVANCED));

    ::CheckRadioButton(page.GetSafeHwnd(), IDC_MODE_QUICK, IDC_MODE_ADVANCED, IDC_MODE_ADVANCED);
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_TRUE(state_.advancedMode);

    state_.advancedMode = false;
    page.UpdateData(false);
    EXPECT_TRUE(Checked(page, IDC_MODE_QUICK));
    EXPECT_FALSE(Checked(page, IDC_MODE_ADVANCED));
}

// The folder page.

TEST_F(WizardPages, FolderPageCanBeChangedOnAFreshMachineOnly)
{
    for (PreviousInstallStatus status :
         {PreviousInstallStatus::NotInstalled, PreviousInstallStatus::SameVersion, PreviousInstallStatus::OlderVersion}) {
        state_ = FreshState(status);
        state_.installFolder = L"D:\\Korvane\\Tavelo 7";
        ChildPage<CDlgPath> page(parent_.get(), state_);
        const bool fresh = status == PreviousInstallStatus::NotInstalled;
        const HWND folder = page.GetDlgItem(IDC_FOLDER);
        EXPECT_EQ(Text(page, IDC_FOLDER), L"D:\\Korvane\\Tavelo 7") << static_cast<int>(status);
        EXPECT_EQ((::GetWindowLongW(folder, GWL_STYLE) & ES_READONLY) != 0, !fresh) << static_cast<int>(status);
        EXPECT_EQ(Enabled(page, IDC_BROWSE), fresh) << static_cast<int>(status);
        EXPECT_EQ(Enabled(page, IDC_PATH_LABEL), fresh) << static_cast<int>(status);
        EXPECT_EQ(::SendMessageW(folder, EM_GETLIMITTEXT, 0, 0), 260) << static_cast<int>(status);
    }
}

// The shortcut page.

TEST_F(WizardPages, ShortcutPageShowsTheStartMenuFolderRelativeToTheStartMenu)
{
    ChildPage<CDlgShortcut> page(parent_.get(), state_);
    EXPECT_EQ(Text(page, IDC_FOLDER), L"Programs\\Korvane\\Tavelo 7");
    EXPECT_TRUE(Checked(page, IDC_MENU_SHORTCUT));
    EXPECT_TRUE(Checked(page, IDC_DESKTOP_SHORTCUT));
    EXPECT_TRUE(::GetWindowLongW(page.GetDlgItem(IDC_FOLDER), GWL_STYLE) & ES_READONLY);

    state_.startMenuFolder.clear();
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_EQ(state_.startMenuFolder, kDefaultStartMenuFolder);

    state_.startMenuFolder = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
    page.UpdateData(false);
    EXPECT_EQ(Text(page, IDC_FOLDER), L"");
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_EQ(state_.startMenuFolder, L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu");
}

TEST_F(WizardPages, ShortcutPageKeepsAFolderOutsideTheStartMenuOrOnAnotherDrive)
{
    ChildPage<CDlgShortcut> page(parent_.get(), state_);
    for (const std::wstring folder : {L"C:\\users\\Public\\Menus\\Tavelo 7", L"D:\\Menus\\Tavelo 7"}) {
        state_.startMenuFolder = folder;
        page.UpdateData(false);
        state_.startMenuFolder.clear();
        ASSERT_TRUE(page.UpdateData(true));
        EXPECT_EQ(state_.startMenuFolder, folder) << Text(page, IDC_FOLDER);
    }
    EXPECT_EQ(Text(page, IDC_FOLDER), L"D:\\Menus\\Tavelo 7");
}

TEST_F(WizardPages, MenuCheckBoxEnablesTheFolderAndBrowseAndTheDesktopBoxIsIndependent)
{
    ChildPage<CDlgShortcut> page(parent_.get(), state_);
    EXPECT_TRUE(Enabled(page, IDC_FOLDER));
    EXPECT_TRUE(Enabled(page, IDC_BROWSE));

    ::SendMessageW(page.GetDlgItem(IDC_MENU_SHORTCUT), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(page, IDC_MENU_SHORTCUT));
    EXPECT_FALSE(Enabled(page, IDC_FOLDER));
    EXPECT_FALSE(Enabled(page, IDC_BROWSE));
    EXPECT_TRUE(Enabled(page, IDC_DESKTOP_SHORTCUT));
    EXPECT_TRUE(Checked(page, IDC_DESKTOP_SHORTCUT));

    ::SendMessageW(page.GetDlgItem(IDC_DESKTOP_SHORTCUT), BM_CLICK, 0, 0);
    EXPECT_FALSE(Enabled(page, IDC_FOLDER));

    ::SendMessageW(page.GetDlgItem(IDC_MENU_SHORTCUT), BM_CLICK, 0, 0);
    EXPECT_TRUE(Enabled(page, IDC_FOLDER));
    EXPECT_TRUE(Enabled(page, IDC_BROWSE));

    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_TRUE(state_.createMenuShortcuts);
    EXPECT_FALSE(state_.createDesktopShortcut);
}

TEST_F(WizardPages, AnUntickedMenuBoxStillStoresTheFolderAndIsDisabledWhenShownAgain)
{
    state_.createMenuShortcuts = false;
    ChildPage<CDlgShortcut> page(parent_.get(), state_);
    EXPECT_FALSE(Checked(page, IDC_MENU_SHORTCUT));
    EXPECT_FALSE(Enabled(page, IDC_FOLDER));
    state_.startMenuFolder.clear();
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_EQ(state_.startMenuFolder, kDefaultStartMenuFolder);
    EXPECT_FALSE(state_.createMenuShortcuts);
}

// The progress page.

class ProgressPage : public WizardPages {
protected:
    // The report's width for a rule line, and the widths of texts in its font.
    int Available(const CDlgInstall& page) const
    {
        const HWND report = page.GetDlgItem(IDC_REPORT);
        RECT client{};
        ::GetClientRect(report, &client);
        const auto margins = static_cast<DWORD>(::SendMessageW(report, EM_GETMARGINS, 0, 0));
        return client.right - (LOWORD(margins) + HIWORD(margins) + 2);
    }
    int Width(const CDlgInstall& page, const std::wstring& text) const
    {
        const HWND report = page.GetDlgItem(IDC_REPORT);
        const HDC dc = ::GetDC(report);
        const HGDIOBJ previous =
            ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(page.GetSafeHwnd(), WM_GETFONT, 0, 0)));
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(dc, previous);
        ::ReleaseDC(report, dc);
        return size.cx;
    }
    std::wstring Report(const CDlgInstall& page) const { return Text(page, IDC_REPORT); }
};

TEST_F(ProgressPage, SummaryWithBothShortcutsHasFiveLinesAndQuotesTheFolder)
{
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    const std::vector<std::wstring> lines = Lines(Report(page));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], L"'Tavelo 7.01j' Installation.");
    EXPECT_NE(lines[1].find(L"- Installation Options -"), std::wstring::npos) << lines[1];
    EXPECT_EQ(lines[2], L"Installation Folder: \"C:\\Program Files\\Korvane\\Tavelo 7\".");
    EXPECT_EQ(lines[3], L"Creating a Shortcut in the Start Menu (Folder \"" + kDefaultStartMenuFolder + L"\").");
    EXPECT_EQ(lines[4], L"Creating a Shortcut on the Desktop.");
    EXPECT_EQ(Text(page, IDC_STATUS), L"Click on 'Install' to start Installation.");
    EXPECT_FALSE(Shown(page.GetDlgItem(IDC_PROGRESS)));
}

TEST_F(ProgressPage, SummaryWithoutShortcutsHasThreeLinesAndAFolderWithoutSpacesStaysUnquoted)
{
    state_.createMenuShortcuts = false;
    state_.createDesktopShortcut = false;
    state_.installFolder = L"D:\\Tavelo";
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    const std::vector<std::wstring> lines = Lines(Report(page));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], L"Installation Folder: D:\\Tavelo.");
}

TEST_F(ProgressPage, AHeadingIsCentredInARuleAsWideAsTheReport)
{
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    ::SetWindowTextW(page.GetDlgItem(IDC_REPORT), L"");
    page.AppendReport(L"Installation Options", true);

    const std::wstring line = Report(page);
    const std::wstring middle = L" Installation Options ";
    ASSERT_GE(line.size(), middle.size() + 2);
    ASSERT_EQ(line.substr(line.size() - 2), L"\r\n");
    const std::size_t at = line.find(middle);
    ASSERT_NE(at, std::wstring::npos);
    const std::size_t left = at;
    const std::size_t right = line.size() - 2 - at - middle.size();
    EXPECT_EQ(line.substr(0, left), std::wstring(left, L'-'));
    EXPECT_EQ(line.substr(at + middle.size(), right), std::wstring(right, L'-'));
    EXPECT_TRUE(right == left || right == left + 1) << left << " " << right;   // an odd dash goes right
    const int dashes = static_cast<int>(left + right);
    const int room = Available(page) - Width(page, middle);
    EXPECT_GT(dashes, 10);
    EXPECT_LE(dashes * Width(page, L"-"), room);
    EXPECT_GT((dashes + 1) * Width(page, L"-"), room);
}

TEST_F(ProgressPage, AnEmptyTextGivesARuleOfDashesOnly)
{
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    ::SetWindowTextW(page.GetDlgItem(IDC_REPORT), L"");
    page.AppendReport(L"", false);

    const std::wstring line = Report(page);
    ASSERT_GE(line.size(), 2u);
    const std::size_t dashes = line.size() - 2;
    EXPECT_EQ(line, std::wstring(dashes, L'-') + L"\r\n");
    const int dash = Width(page, L"-");
    EXPECT_LE(static_cast<int>(dashes) * dash, Available(page));
    EXPECT_GT(static_cast<int>(dashes + 1) * dash, Available(page));
}

TEST_F(ProgressPage, AHeadingWiderThanTheReportHasNoDashes)
{
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    ::SetWindowTextW(page.GetDlgItem(IDC_REPORT), L"");
    const std::wstring heading(200, L'W');
    page.AppendReport(heading, true);
    EXPECT_EQ(Report(page), L" " + heading + L" \r\n");
}

TEST_F(ProgressPage, ReportLinesAreAppendedUnchangedAndALongSummaryShowsItsFirstLine)
{
    state_.installFolder = L"C:\\" + std::wstring(60, L'a') + L"\\" + std::wstring(60, L'b') + L"\\Tavelo 7";
    state_.startMenuFolder = L"C:\\" + std::wstring(60, L'c') + L"\\" + std::wstring(60, L'd') + L"\\Tavelo 7";
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    ::ShowWindow(page.GetSafeHwnd(), SW_SHOW);
    page.UpdateData(false);
    const HWND report = page.GetDlgItem(IDC_REPORT);
    EXPECT_GT(::SendMessageW(report, EM_GETLINECOUNT, 0, 0), 6) << "the long lines wrap";
    EXPECT_EQ(::SendMessageW(report, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    page.AppendReport(L"Copying File  Tavelo.exe...", false);
    page.AppendReport(L"OK\r\n", false);
    const std::wstring text = Report(page);
    EXPECT_EQ(text.substr(text.size() - 31), L"Copying File  Tavelo.exe...OK\r\n");
}

TEST_F(ProgressPage, TheViewShowsStatusProgressAndAShortenedPath)
{
    ChildPage<CDlgInstall> page(parent_.get(), state_, nullptr);
    InstallView& view = page;
    view.SetStatusText(L"Preparing Installation...");
    EXPECT_EQ(Text(page, IDC_STATUS), L"Preparing Installation...");

    const std::wstring longPath = L"C:\\Program Files\\Korvane\\Tavelo 7\\" + std::wstring(120, L'x') + L"\\Tavelo.exe";
    view.SetStatusPath(longPath);
    const std::wstring shown = Text(page, IDC_STATUS);
    EXPECT_LT(shown.size(), longPath.size());
    EXPECT_NE(shown.find(L"..."), std::wstring::npos) << shown;

    view.ShowProgress(true);
    view.SetProgress(42);
    EXPECT_TRUE(Shown(page.GetDlgItem(IDC_PROGRESS)));
    EXPECT_EQ(::SendMessageW(page.GetDlgItem(IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);
    EXPECT_EQ(::SendMessageW(page.GetDlgItem(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);
    view.ShowProgress(false);
    EXPECT_FALSE(Shown(page.GetDlgItem(IDC_PROGRESS)));
    EXPECT_EQ(view.OwnerWindow(), page.GetSafeHwnd());
}

// The end page.

TEST_F(WizardPages, EndPageSaysCompleteOnlyAfterASuccessfulInstallation)
{
    ChildPage<CDlgEnd> page(parent_.get(), state_);
    page.UpdateTexts();
    page.UpdateData(false);
    EXPECT_EQ(Text(page, IDC_INFO), L"");
    EXPECT_EQ(Text(page, IDC_STATUS), L"Click on 'Exit' to exit Installation.");
    state_.installed = true;
    page.UpdateData(false);
    EXPECT_EQ(Text(page, IDC_INFO), L"Installation is complete.");
}

} // namespace
