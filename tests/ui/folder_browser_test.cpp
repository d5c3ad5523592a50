// The folder dialog's rules: the product's folder name kept at the end of a picked folder,
// and typed paths checked. Wine's folder dialog ignores typed text and never reports it as
// refused, so the dialog callback is called directly, with a window that records what the
// callback asks of the dialog.
#include "ui/folder_browser.h"

#include "support/message_box_answerer.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "tools/test_driver/window_driver.h"
#include "ui/error_text.h"

#include "wizard_session.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <thread>

namespace {

using namespace wizard_testing;
using testing_support::MessageBoxAnswerer;

const std::wstring kSuffix = L"Tavelo 7";
const std::wstring kStartMenu = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";

TEST(TrailingMatch, CountsTheComponentsOfTheTailThatEndThePath)
{
    EXPECT_EQ(TrailingMatch(L"C:\\Program Files\\Tavelo 7", L"Tavelo 7"), 1);
    EXPECT_EQ(TrailingMatch(L"C:\\Program Files\\TAVELO 7\\", L"tavelo 7"), 1);
    EXPECT_EQ(TrailingMatch(L"C:\\Program Files\\Korvane\\Tavelo 7", L"Korvane\\Tavelo 7\\"), 2);
    EXPECT_EQ(TrailingMatch(L"C:\\Tavelo 7", L"Tavelo 7"), 1);
}

TEST(TrailingMatch, IsZeroWithoutAComponentInFrontOrWhenAnyComponentDiffers)
{
    EXPECT_EQ(TrailingMatch(L"Tavelo 7", L"Tavelo 7"), 0);
    EXPECT_EQ(TrailingMatch(L"Korvane\\Tavelo 7", L"Korvane\\Tavelo 7"), 0);
    EXPECT_EQ(TrailingMatch(L"C:\\Program Files", L"Tavelo 7"), 0);
    EXPECT_EQ(TrailingMatch(L"C:\\Other\\Tavelo 7", L"Korvane\\Tavelo 7"), 0);
    EXPECT_EQ(TrailingMatch(L"C:\\Program Files\\Tavelo 70", L"Tavelo 7"), 0);
    EXPECT_EQ(TrailingMatch(L"C:\\Program Files", L""), 0);
}

TEST(TrailingMatch, IsZeroForTextsLongerThanAPathBuffer)
{
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'x') + L"\\Tavelo 7";
    EXPECT_EQ(TrailingMatch(longPath, L"Tavelo 7"), 0);
    EXPECT_EQ(TrailingMatch(L"C:\\Tavelo 7", std::wstring(300, L'x') + L"\\Tavelo 7"), 0);
}

TEST(RelativeFolderPath, DropsTheLeadingDotAndKeepsStepsUpward)
{
    EXPECT_EQ(RelativeFolderPath(kStartMenu, kStartMenu + L"\\Programs\\Korvane\\Tavelo 7"),
              L"Programs\\Korvane\\Tavelo 7");
    EXPECT_EQ(RelativeFolderPath(kStartMenu, kStartMenu), L"");
    EXPECT_EQ(RelativeFolderPath(kStartMenu, L"C:\\ProgramData\\Menus"), L"..\\..\\..\\Menus");
    EXPECT_EQ(RelativeFolderPath(kStartMenu, L"D:\\Menus"), std::nullopt);
}

// The suffix is appended unless the path ends with it, only its missing part, and not at all
// when it holds wildcards or invalid characters.
TEST(FolderBrowserStart, AppendsTheMissingPartOfAValidSuffix)
{
    const struct {
        std::wstring start, suffix, path;
    } cases[] = {
        {L"C:\\Program Files", kSuffix, L"C:\\Program Files\\Tavelo 7"},
        {kDefaultInstallFolder, kSuffix, kDefaultInstallFolder},
        {L"C:\\Program Files\\tavelo 7\\", kSuffix, L"C:\\Program Files\\tavelo 7\\"},
        {L"C:\\Program Files\\Korvane", L"Korvane\\Tavelo 7", L"C:\\Program Files\\Korvane\\Tavelo 7"},
        {L"C:\\Program Files", L"Korvane\\Tavelo 7", L"C:\\Program Files\\Korvane\\Tavelo 7"},
        {L"C:\\Program Files", L"Tav*lo", L"C:\\Program Files"},
        {L"C:\\Program Files", L"Tav|lo", L"C:\\Program Files"},
    };
    FolderBrowser browser(L"title");
    for (const auto& c : cases) {
        browser.SetStart(c.start, c.suffix);
        EXPECT_EQ(browser.Path(), c.path) << kv::to_utf8(c.start + L" + " + c.suffix);
    }
}

TEST(FolderBrowserStart, ABareDriveGetsItsBackslashAndARelativePathGivesTheDocumentsFolder)
{
    FolderBrowser browser(L"title");
    browser.SetStart(L"D:", kSuffix);
    EXPECT_EQ(browser.Path(), L"D:\\Tavelo 7");

    wchar_t documents[MAX_PATH] = L"";
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE));
    browser.SetStart(L"Korvane\\Tavelo 7", kSuffix);
    EXPECT_EQ(browser.Path(), std::wstring(documents) + L"\\Tavelo 7");
    browser.SetStart(L"", L"");
    EXPECT_EQ(browser.Path(), documents);
}

TEST(FolderBrowserStart, BelowARootThePathIsRelativeToTheRootsParent)
{
    FolderBrowser browser(L"title", CSIDL_COMMON_PROGRAMS);
    EXPECT_EQ(browser.RootParentPath(), kStartMenu);
    browser.SetStart(kDefaultStartMenuFolder, kSuffix);
    EXPECT_EQ(browser.Path(), L"Programs\\Korvane\\Tavelo 7");
    browser.SetStart(L"", kSuffix);
    EXPECT_EQ(browser.Path(), L"Programs\\Tavelo 7");
}

// A window that stands in for the folder dialog: it records the selection and expansion
// requests and holds an edit box.
class FakeFolderDialog {
public:
    FakeFolderDialog()
    {
        WNDCLASSW type{};
        type.lpfnWndProc = Procedure;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.lpszClassName = L"TaveloFakeFolderDialog";
        ::RegisterClassW(&type);
        window_ = ::CreateWindowExW(0, type.lpszClassName, L"Browse", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                    nullptr, type.hInstance, nullptr);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        edit_ = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, window_, nullptr,
                                  type.hInstance, nullptr);
    }
    ~FakeFolderDialog() { ::DestroyWindow(window_); }

    HWND get() const { return window_; }
    std::wstring EditText() const { return driver::WindowText(edit_); }

    std::vector<std::wstring> selected;
    std::vector<std::wstring> expanded;
    std::vector<bool> okEnabled;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<FakeFolderDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == BFFM_SETSELECTIONW && wParam)
            self->selected.emplace_back(reinterpret_cast<const wchar_t*>(lParam));
        else if (self && message == BFFM_SETEXPANDED && wParam)
            self->expanded.emplace_back(reinterpret_cast<const wchar_t*>(lParam));
        else if (self && message == BFFM_ENABLEOK)
            self->okEnabled.push_back(lParam != 0);
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_;
    HWND edit_;
};

int Call(FolderBrowser& browser, HWND dialog, UINT message, LPARAM parameter)
{
    return FolderBrowser::Callback(dialog, message, parameter, reinterpret_cast<LPARAM>(&browser));
}

// The shell's item of a folder, released with the object.
struct FolderItem {
    explicit FolderItem(const std::wstring& path) : item(::ILCreateFromPathW(path.c_str())) {}
    ~FolderItem() { ::ILFree(item); }
    LPITEMIDLIST item;
};

TEST(FolderBrowserDialog, TheDefaultFolderOpensAtProgramFilesAndProposesTheProductFolderBelowIt)
{
    ASSERT_FALSE(::PathIsDirectoryW(L"C:\\Program Files\\Korvane")) << "a fresh machine has no maker folder";
    FolderBrowser browser(L"Select 'Tavelo' Installation Folder.");
    FakeFolderDialog dialog;
    browser.SetStart(kDefaultInstallFolder, kSuffix);

    Call(browser, dialog.get(), BFFM_INITIALIZED, 0);
    EXPECT_EQ(dialog.selected, std::vector<std::wstring>{L"C:\\Program Files"});
    EXPECT_EQ(dialog.expanded, std::vector<std::wstring>{L"C:\\Program Files"});
    EXPECT_TRUE(browser.Flags() & FolderBrowser::kDialogInitialized);

    // The dialog answers the selection with the selected item.
    FolderItem programFiles(L"C:\\Program Files");
    Call(browser, dialog.get(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(programFiles.item));
    EXPECT_EQ(browser.Path(), L"C:\\Program Files\\Tavelo 7");
    EXPECT_EQ(dialog.EditText(), L"C:\\Program Files\\Tavelo 7");
    EXPECT_TRUE(dialog.okEnabled.empty()) << "with a suffix OK stays as the dialog has it";

    // Accepting the proposal: the dialog reports the text as no existing folder.
    EXPECT_EQ(Call(browser, dialog.get(), BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(L"C:\\Program Files\\Tavelo 7")), 0);
    EXPECT_EQ(browser.Path(), L"C:\\Program Files\\Tavelo 7");
    EXPECT_TRUE(browser.Flags() & FolderBrowser::kTypedPathAccepted);
}

TEST(FolderBrowserDialog, AFolderThatEndsWithTheProductFolderIsProposedUnchanged)
{
    testing_support::TemporaryFolder temporary;
    const std::wstring product = temporary / L"TAVELO 7";
    ASSERT_TRUE(::CreateDirectoryW(product.c_str(), nullptr));
    FolderBrowser browser(L"title");
    FakeFolderDialog dialog;
    browser.SetStart(product, kSuffix);
    Call(browser, dialog.get(), BFFM_INITIALIZED, 0);
    EXPECT_EQ(dialog.selected, std::vector<std::wstring>{product});
    EXPECT_EQ(dialog.EditText(), product);

    FolderItem same(product);
    Call(browser, dialog.get(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(same.item));
    EXPECT_EQ(browser.Path(), product);
    FolderItem parent(temporary.path());
    Call(browser, dialog.get(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(parent.item));
    EXPECT_EQ(browser.Path(), temporary / L"Tavelo 7");
    EXPECT_EQ(dialog.EditText(), temporary / L"Tavelo 7");
}

TEST(FolderBrowserDialog, WithoutASuffixOkFollowsWhetherTheSelectionIsAFolder)
{
    FolderBrowser browser(L"title");
    FakeFolderDialog dialog;
    browser.SetStart(L"C:\\Program Files", L"");
    Call(browser, dialog.get(), BFFM_SELCHANGED, 0);
    EXPECT_TRUE(dialog.okEnabled.empty()) << "before the dialog is initialised nothing happens";
    Call(browser, dialog.get(), BFFM_INITIALIZED, 0);
    FolderItem folder(L"C:\\windows");
    Call(browser, dialog.get(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(folder.item));
    LPITEMIDLIST desktop = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &desktop)));
    Call(browser, dialog.get(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(desktop));
    ::ILFree(desktop);
    EXPECT_EQ(dialog.okEnabled, (std::vector<bool>{true, false}));
    EXPECT_EQ(dialog.EditText(), L"") << "no edit box is looked for without a suffix";
}

TEST(FolderBrowserDialog, ATypedBareDriveGivesTheDriveRootWithoutTheSuffix)
{
    FolderBrowser browser(L"title");
    FakeFolderDialog dialog;
    browser.SetStart(kDefaultInstallFolder, kSuffix);
    EXPECT_EQ(Call(browser, dialog.get(), BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(L"  D:  ")), 0);
    EXPECT_EQ(browser.Path(), L"D:\\");
}

TEST(FolderBrowserDialog, ATypedPathOutsideTheStartMenuIsRefusedWithError161)
{
    FolderBrowser browser(L"Create a Shortcut in the following Menu:", CSIDL_COMMON_PROGRAMS);
    FakeFolderDialog dialog;
    browser.SetStart(kDefaultStartMenuFolder, kSuffix);
    wchar_t before[MAX_PATH] = L"";
    ::GetCurrentDirectoryW(MAX_PATH, before);

    MessageBoxAnswerer answerer(IDOK);
    for (const wchar_t* typed : {L"C:\\windows", L"C:\\ProgramData\\Microsoft\\Windows\\Start MenuX\\Tavelo 7", L"..\\x"})
        EXPECT_EQ(Call(browser, dialog.get(), BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(typed)), 1) << typed;
    ASSERT_TRUE(answerer.WaitForBoxes(3, 10000));
    for (const auto& box : answerer.Seen()) {
        EXPECT_EQ(box.text, ErrorText(ERROR_BAD_PATHNAME, 0));
        EXPECT_EQ(box.owner, dialog.get());
    }
    EXPECT_EQ(browser.Path(), L"Programs\\Korvane\\Tavelo 7");
    EXPECT_FALSE(browser.Flags() & FolderBrowser::kTypedPathAccepted);
    wchar_t after[MAX_PATH] = L"";
    ::GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(after, before);
}

TEST(FolderBrowserDialog, ATypedPathBelowTheStartMenuIsTakenRelativeToIt)
{
    FolderBrowser browser(L"title", CSIDL_COMMON_PROGRAMS);
    FakeFolderDialog dialog;
    browser.SetStart(kDefaultStartMenuFolder, kSuffix);
    EXPECT_EQ(Call(browser, dialog.get(), BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(L"Programs\\Games\\")), 0);
    EXPECT_EQ(browser.Path(), kStartMenu + L"\\Programs\\Games");
    EXPECT_EQ(browser.RelativePath(), L"Programs\\Games");
}

TEST(FolderBrowserDialog, ATooLongTypedPathIsRefusedWithItsOwnError)
{
    FolderBrowser browser(L"title");
    FakeFolderDialog dialog;
    browser.SetStart(kDefaultInstallFolder, kSuffix);
    MessageBoxAnswerer answerer(IDOK);
    const std::wstring typed = L"C:\\" + std::wstring(300, L'x');
    EXPECT_EQ(Call(browser, dialog.get(), BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(typed.c_str())), 1);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 10000));
    EXPECT_EQ(answerer.Seen().at(0).text, ErrorText(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), 0));
    EXPECT_EQ(browser.Path(), kDefaultInstallFolder);
}

// The real folder dialog of the system, driven from another thread.
TEST(FolderBrowserDialog, TheShellDialogOpensAtTheNearestExistingFolderWithTheProposalInItsEditBox)
{
    std::wstring proposal, instruction;
    std::thread person([&] {
        const HWND dialog = driver::WaitForWindow(
            ::GetCurrentProcessId(), [](HWND w) { return driver::ClassName(w) == L"#32770"; },
            driver::milliseconds(10000));
        if (!dialog)
            return;
        driver::Settle(driver::milliseconds(500));
        HWND edit = nullptr;
        for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (::lstrcmpiW(driver::ClassName(child).c_str(), L"Edit") == 0)
                edit = child;
            if (driver::WindowText(child).rfind(L"Select ", 0) == 0)
                instruction = driver::WindowText(child);
        }
        proposal = driver::WindowText(edit);
        driver::Click(::GetDlgItem(dialog, IDCANCEL));
    });
    const std::wstring chosen = BrowseInstallFolder(kDefaultInstallFolder, kSuffix, L"Select 'Tavelo' Installation Folder.");
    person.join();
    EXPECT_EQ(instruction, L"Select 'Tavelo' Installation Folder.");
    EXPECT_EQ(proposal, L"C:\\Program Files\\Tavelo 7");
    EXPECT_EQ(chosen, L"") << "cancelled";
}

} // namespace
