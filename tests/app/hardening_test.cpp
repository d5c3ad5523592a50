// The installer runs elevated from folders such as a download folder: it must not load a
// DLL that lies beside it in place of the system's. (version.dll, the other DLL it binds at
// run time, cannot serve here: Wine's own user32 imports it at load time.)
#include "startup_test_support.h"

#include "support/pe_imports.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace startup_testing;

TEST(Hardening, InstallerImportsOnlyDllsThatWindowsTakesFromTheSystemFolder)
{
    const std::set<std::string> knownDlls{"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                                          "shlwapi.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll", "msvcrt.dll",
                                          "comctl32.dll"};
    const auto imported = testing_support::ImportedDlls(testing_support::BuiltFile(L"TAVELO_INSTALLER"));
    EXPECT_FALSE(imported.empty());
    for (const std::string& dll : imported)
        EXPECT_TRUE(knownDlls.count(dll)) << dll << " is imported at load time";
}

class DllBesideTheProgram : public testing::Test {
protected:
    // Copies the program into a folder of its own with a bcrypt.dll that leaves a marker
    // when it is loaded. The installer binds bcrypt.dll at run time, for the name of its
    // temporary folder.
    std::wstring Prepare(const wchar_t* programVariable, const std::wstring& name)
    {
        const std::wstring program = folder_ / name;
        EXPECT_TRUE(::CopyFileW(testing_support::BuiltFile(programVariable).c_str(), program.c_str(), FALSE));
        EXPECT_TRUE(::CopyFileW(testing_support::BuiltFile(L"TAVELO_FAKE_SYSTEM_DLL").c_str(),
                                (folder_ / L"bcrypt.dll").c_str(), FALSE));
        ::SetEnvironmentVariableW(L"TAVELO_FAKE_DLL_MARKER", marker().c_str());
        return program;
    }
    std::wstring marker() const { return folder_ / L"loaded.marker"; }
    bool Loaded() const { return ::GetFileAttributesW(marker().c_str()) != INVALID_FILE_ATTRIBUTES; }

    testing_support::TemporaryFolder folder_;
};

TEST_F(DllBesideTheProgram, IsNotLoadedByTheInstaller)
{
    // Control: a program with the system's default search does load the DLL beside it.
    const std::wstring probe = Prepare(L"TAVELO_DLL_SEARCH_PROBE", L"probe.exe");
    const auto probeRun = driver::Process::Start(probe, L"", folder_.path());
    EXPECT_EQ(probeRun.WaitForExit(), std::optional<DWORD>(0)) << "the probe found no bcrypt.dll at all";
    if (!Loaded())
        GTEST_SKIP() << "this system takes its own bcrypt.dll before one beside the program, so a "
                        "restricted search cannot be told from the default one";
    ::DeleteFileW(marker().c_str());

    // A quick installation: the temporary folder's name needs the system's random generator.
    const std::wstring installer = Prepare(L"TAVELO_INSTALLER", L"InstallTavelo7.01j.exe");
    const driver::Process run = StartInstaller(installer);
    HWND wizard = WaitForWizard(run);
    ASSERT_NE(wizard, nullptr);
    driver::ClickControl(wizard, IDOK);
    driver::ClickControl(wizard, IDOK);
    driver::ClickControl(wizard, IDOK);
    EXPECT_TRUE(driver::WaitForText(wizard, 1003, [](const std::wstring& text) {
        return text == L"Click on 'Next' to continue.";
    }, driver::milliseconds(120000))) << driver::ControlText(wizard, 1003);
    driver::ClickControl(wizard, IDOK);
    driver::ClickControl(wizard, IDCANCEL);
    EXPECT_TRUE(run.WaitForExit().has_value());
    EXPECT_FALSE(Loaded()) << "the installer loaded the bcrypt.dll beside it";
}

} // namespace
