#include "installer_session.h"

#include "app/startup_test_support.h"
#include "resources/dialog_ids.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace end_to_end {

namespace {

constexpr driver::milliseconds kInstallationWait{300000};

// Whether a report line is a rule: dashes only, or dashes around a title.
bool IsRule(const std::wstring& line, std::wstring& title)
{
    const std::size_t first = line.find_first_not_of(L'-');
    const std::size_t last = line.find_last_not_of(L'-');
    if (line.size() < 20 || first == 0 || last == line.size() - 1)
        return false;
    title = first == std::wstring::npos ? std::wstring() : line.substr(first, last + 1 - first);
    return title.empty() || (title.front() == L' ' && title.back() == L' ' && title.find(L'-') == std::wstring::npos);
}

} // namespace

InstallerSession::InstallerSession(const std::wstring& program, bool awaitWizard)
    : process_(startup_testing::StartInstaller(program))
{
    if (awaitWizard)
        AwaitWizard();
}

bool InstallerSession::AwaitWizard()
{
    window_ = startup_testing::WaitForWizard(process_);
    return window_ != nullptr;
}

std::wstring InstallerSession::Text(int id) const
{
    return driver::ControlText(window_, id);
}

bool InstallerSession::Enabled(int id) const
{
    const HWND control = driver::FindControl(window_, id);
    return control && driver::IsEnabled(control);
}

void InstallerSession::Press(int id)
{
    driver::ClickControl(window_, id);
    driver::Settle();
}

void InstallerSession::QuickModeToProgressPage()
{
    Press(IDOK);
    driver::SetChecked(window_, IDC_MODE_QUICK, true);
    Press(IDOK);
    if (!driver::WaitForText(window_, IDC_REPORT, [](const std::wstring& text) { return !text.empty(); }))
        throw std::runtime_error("the progress page shows no summary");
}

void InstallerSession::AdvancedModeToProgressPage(const std::wstring& folder, bool menuShortcuts, bool desktopShortcut)
{
    Press(IDOK);
    driver::SetChecked(window_, IDC_MODE_ADVANCED, true);
    driver::Settle();
    Press(IDOK);
    driver::SetEditText(window_, IDC_FOLDER, folder);
    Press(IDOK);
    driver::SetChecked(window_, IDC_MENU_SHORTCUT, menuShortcuts);
    driver::SetChecked(window_, IDC_DESKTOP_SHORTCUT, desktopShortcut);
    driver::Settle();
    Press(IDOK);
    if (!driver::WaitForText(window_, IDC_REPORT, [](const std::wstring& text) { return !text.empty(); }))
        throw std::runtime_error("the progress page shows no summary");
}

bool InstallerSession::Install()
{
    Press(IDOK);
    driver::WaitForText(
        window_, IDC_STATUS,
        [](const std::wstring& text) { return text == kInstalledStatus || text.starts_with(L"Installation failed"); },
        kInstallationWait);
    // The buttons come back once the procedure has returned.
    driver::WaitForEnabled(window_, IDCANCEL, true, driver::milliseconds(30000));
    return Text(IDC_STATUS) == kInstalledStatus;
}

std::vector<std::wstring> InstallerSession::Report() const
{
    std::vector<std::wstring> lines = Lines(Text(IDC_REPORT));
    for (std::wstring& line : lines) {
        std::wstring title;
        if (IsRule(line, title))
            line = title.empty() ? L"<rule>" : L"<rule" + title.substr(0, title.size() - 1) + L">";
    }
    return lines;
}

std::optional<DWORD> InstallerSession::Finish()
{
    Press(IDOK);
    EXPECT_EQ(Text(IDC_INFO), L"Installation is complete.");
    EXPECT_EQ(Text(IDC_STATUS), L"Click on 'Exit' to exit Installation.");
    Press(IDCANCEL);
    EXPECT_EQ(driver::WaitForMessageBox(process_.id(), driver::milliseconds(1000)), nullptr)
        << "leaving a finished installation asks nothing";
    return process_.WaitForExit();
}

std::wstring InstallerSession::Leave(std::optional<DWORD>& exitCode)
{
    Press(IDCANCEL);
    std::wstring question;
    if (const HWND box = driver::WaitForMessageBox(process_.id(), driver::milliseconds(3000))) {
        question = driver::MessageBoxText(box);
        driver::ClickControl(box, IDYES);
    }
    exitCode = process_.WaitForExit();
    return question;
}

std::wstring Quoted(const std::wstring& path)
{
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

std::wstring TemporaryFolderOf(const std::vector<std::wstring>& report)
{
    const std::wstring prefix = L"Copying File  ";
    const std::wstring file = L"\\DSETUP.dll";
    for (std::wstring line : report) {
        if (!line.starts_with(prefix))
            continue;
        line = line.substr(prefix.size());
        if (!line.empty() && line.front() == L'"')
            line = line.substr(1, line.find(L'"', 1) - 1);
        const std::size_t at = line.find(file);
        if (at != std::wstring::npos)
            return line.substr(0, at);
    }
    return {};
}

} // namespace end_to_end
