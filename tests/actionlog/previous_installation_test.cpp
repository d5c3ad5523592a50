// The look-up of an earlier installation in HKEY_LOCAL_MACHINE and next to the installer.
// The registry is put back as it was after the run.
#include "actionlog/previous_installation.h"

#include "actionlog/action_log.h"
#include "product/product_identity.h"
#include "support/registry_snapshot.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using testing_support::WriteFileBytes;

constexpr wchar_t kMakerKey[] = L"Software\\Korvane";
const std::wstring kProductKey = std::wstring(kUninstallKeyPath) + L"\\Tavelo 7";

void SetValue(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    kv::unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void SetString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ)
{
    SetValue(keyPath, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetProgramValue(const std::wstring& program)
{
    SetString(kMakerKey, L"Tavelo 7 Path", program);
}

// The registry as the run found it is put back at its end. The installed program is
// registered before anything asks for it, so that FindInstalledProgram keeps it for the run.
class InstalledProgramEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        SetProductCode(product::kThisProductCode);
        makerKey_ = std::make_unique<testing_support::SavedRegistryKey>(HKEY_LOCAL_MACHINE, kMakerKey);
        productKey_ = std::make_unique<testing_support::SavedRegistryKey>(HKEY_LOCAL_MACHINE, kProductKey);
        folder_ = std::make_unique<testing_support::TemporaryFolder>();
        program = *folder_ / L"Tavelo.exe";
        WriteFileBytes(program, {'M', 'Z'});
        SetProgramValue(program);
        FindInstalledProgram();
    }

    void TearDown() override
    {
        folder_.reset();
        productKey_.reset();
        makerKey_.reset();
    }

    std::wstring program;

private:
    std::unique_ptr<testing_support::SavedRegistryKey> makerKey_, productKey_;
    std::unique_ptr<testing_support::TemporaryFolder> folder_;
};

InstalledProgramEnvironment* const installed =
    static_cast<InstalledProgramEnvironment*>(testing::AddGlobalTestEnvironment(new InstalledProgramEnvironment));

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.rfind(L'\\'));
}

std::wstring RunningProgram()
{
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

class PreviousInstallationTest : public testing::Test {
protected:
    void TearDown() override
    {
        // The registered program and the product's uninstall entry as the run started.
        SetProgramValue(installed->program);
        testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, kProductKey, {});
    }

    testing_support::TemporaryFolder folder_;
};

TEST_F(PreviousInstallationTest, InstalledProgramIsTheOneRegisteredAtTheFirstLookUp)
{
    EXPECT_EQ(FindInstalledProgram(), installed->program);
    const std::wstring other = folder_ / L"Other.exe";
    WriteFileBytes(other, {1});
    SetProgramValue(other);
    EXPECT_EQ(FindInstalledProgram(), installed->program);
    EXPECT_EQ(LookUpInstalledProgram(), other);
}

TEST_F(PreviousInstallationTest, RegisteredProgramMustExist)
{
    const std::wstring program = folder_ / L"Tavelo.exe";
    WriteFileBytes(program, {1});
    SetProgramValue(program);
    EXPECT_EQ(LookUpInstalledProgram(), program);
    SetProgramValue(folder_.path());   // anything that exists will do
    EXPECT_EQ(LookUpInstalledProgram(), folder_.path());

    // Deleted: no installation at all, though its uninstall entry and log are still there.
    SetProgramValue(program);
    ASSERT_TRUE(::DeleteFileW(program.c_str()));
    SetString(kProductKey, L"UninstallString", folder_ / L"Uninstall.exe");
    WriteFileBytes(folder_ / L"Uninstall.ulog", {0xFF, 0xFE});
    EXPECT_EQ(LookUpInstalledProgram(), L"");
}

TEST_F(PreviousInstallationTest, ProgramValueMustBeAWholeString)
{
    const std::wstring program = folder_ / L"Tavelo.exe";
    WriteFileBytes(program, {1});

    SetString(kMakerKey, L"Tavelo 7 Path", program, REG_EXPAND_SZ);
    EXPECT_EQ(LookUpInstalledProgram(), program);
    // Not expanded: no file is named "%TEMP%...".
    SetString(kMakerKey, L"Tavelo 7 Path", L"%TEMP%\\Tavelo.exe", REG_EXPAND_SZ);
    EXPECT_EQ(LookUpInstalledProgram(), L"");

    const DWORD number = 1;
    SetValue(kMakerKey, L"Tavelo 7 Path", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(LookUpInstalledProgram(), L"");
    // RegSetValueExW adds a terminating zero left out of the size when one follows in memory.
    const std::wstring unterminated = program + L"x";
    SetValue(kMakerKey, L"Tavelo 7 Path", REG_SZ, unterminated.c_str(), static_cast<DWORD>(program.size() * sizeof(wchar_t)));
    EXPECT_EQ(LookUpInstalledProgram(), L"") << "no terminating zero";
    SetValue(kMakerKey, L"Tavelo 7 Path", REG_SZ, program.c_str(), static_cast<DWORD>(program.size() * sizeof(wchar_t) + 1));
    EXPECT_EQ(LookUpInstalledProgram(), L"") << "odd size";
    SetValue(kMakerKey, L"Tavelo 7 Path", REG_SZ, L"", 0);
    EXPECT_EQ(LookUpInstalledProgram(), L"");

    kv::unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteValueW(key.get(), L"Tavelo 7 Path"), ERROR_SUCCESS);
    EXPECT_EQ(LookUpInstalledProgram(), L"");
    key.reset();
    testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, kMakerKey, {});
    EXPECT_EQ(LookUpInstalledProgram(), L"");
}

// An "Uninstall.ulog" beside the running test program, removed again with the object.
class LogBesideInstaller {
public:
    LogBesideInstaller() : path_(FolderOf(RunningProgram()) + L"\\Uninstall.ulog") { WriteFileBytes(path_, {0xFF, 0xFE}); }
    ~LogBesideInstaller() { ::DeleteFileW(path_.c_str()); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

TEST_F(PreviousInstallationTest, PreviousLogIsLookedForInThreePlacesInOrder)
{
    ASSERT_EQ(::GetFileAttributesW((FolderOf(RunningProgram()) + L"\\Uninstall.ulog").c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring uninstallerLog = folder_ / L"Uninstall.ulog";
    const std::wstring programLog = FolderOf(installed->program) + L"\\Uninstall.ulog";
    SetString(kProductKey, L"UninstallString", folder_ / L"Uninstall.exe");
    WriteFileBytes(uninstallerLog, {0xFF, 0xFE});
    WriteFileBytes(programLog, {0xFF, 0xFE});
    auto installerLog = std::make_unique<LogBesideInstaller>();

    EXPECT_EQ(FindPreviousLog(), uninstallerLog);
    ASSERT_TRUE(::DeleteFileW(uninstallerLog.c_str()));
    EXPECT_EQ(FindPreviousLog(), installerLog->path());
    installerLog.reset();
    EXPECT_EQ(FindPreviousLog(), programLog);
    ASSERT_TRUE(::DeleteFileW(programLog.c_str()));
    EXPECT_EQ(FindPreviousLog(), L"");
}

TEST_F(PreviousInstallationTest, InstallerInTheInstallationFolderFindsTheLogWithoutUninstallEntry)
{
    const LogBesideInstaller installerLog;
    EXPECT_EQ(FindPreviousLog(), installerLog.path());
}

TEST_F(PreviousInstallationTest, QuotedUninstallStringNamesNoFolder)
{
    const std::wstring programLog = FolderOf(installed->program) + L"\\Uninstall.ulog";
    WriteFileBytes(folder_ / L"Uninstall.ulog", {0xFF, 0xFE});
    WriteFileBytes(programLog, {0xFF, 0xFE});
    SetString(kProductKey, L"UninstallString", L"\"" + (folder_ / L"Uninstall.exe") + L"\"");
    EXPECT_EQ(FindPreviousLog(), programLog);
    ::DeleteFileW(programLog.c_str());
}

TEST_F(PreviousInstallationTest, UninstallStringWithoutFolderIsNoCandidate)
{
    SetString(kProductKey, L"UninstallString", L"Uninstall.exe");
    wchar_t previousFolder[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previousFolder);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder_.path().c_str()));
    WriteFileBytes(folder_ / L"Uninstall.ulog", {0xFF, 0xFE});
    const std::wstring found = FindPreviousLog();
    ::SetCurrentDirectoryW(previousFolder);
    EXPECT_EQ(found, L"");
}

} // namespace
