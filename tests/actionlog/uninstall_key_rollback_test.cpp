// Rollback of the product's uninstall key below HKEY_LOCAL_MACHINE. Every test puts the
// registry back as it found it.
#include "actionlog/action_log.h"

#include "product/product_identity.h"
#include "support/registry_snapshot.h"
#include "support/unique_resource.h"
#include "support/wine_detection.h"

#include <gtest/gtest.h>

namespace {

using testing_support::RegistryKeySnapshot;
using testing_support::SnapshotRegistryKey;

const std::wstring kProductKey = std::wstring(kUninstallKeyPath) + L"\\Tavelo 7";

void SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

class UninstallKeyRollbackTest : public testing::Test {
protected:
    void SetUp() override { SetProductCode(product::kThisProductCode); }

    // Creates or opens the product key as the uninstall registration does and announces it.
    kv::unique_hkey RegisterProduct(ActionLog& log, DWORD expectedDisposition)
    {
        kv::unique_hkey parent, key;
        EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_ALL_ACCESS, parent.put()), ERROR_SUCCESS);
        DWORD disposition = 0;
        EXPECT_EQ(::RegCreateKeyExW(parent.get(), L"Tavelo 7", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                    nullptr, key.put(), &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, expectedDisposition);
        log.AddUninstallKey(disposition == REG_OPENED_EXISTING_KEY ? key.get() : nullptr);
        return key;
    }

    testing_support::SavedRegistryKey saved_{HKEY_LOCAL_MACHINE, kProductKey};
};

TEST_F(UninstallKeyRollbackTest, KeyCreatedByTheInstallationIsDeletedWithItsSubkeys)
{
    testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, kProductKey, {});
    const RegistryKeySnapshot before = SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);

    ActionLog log;
    {
        const kv::unique_hkey key = RegisterProduct(log, REG_CREATED_NEW_KEY);
        EXPECT_TRUE(log.records.back().backup.empty());
        SetString(key.get(), L"DisplayName", L"Tavelo 7.01j");
        SetString(key.get(), L"UninstallString", L"C:\\Program Files\\Korvane\\Tavelo 7\\Uninstall.exe");
        kv::unique_hkey deeper;
        ASSERT_EQ(::RegCreateKeyExW(key.get(), L"Extra\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, deeper.put(), nullptr),
                  ERROR_SUCCESS);
        SetNumber(deeper.get(), L"Level", 2);
        log.Complete(true);
    }
    ASSERT_TRUE(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kProductKey).exists);

    log.Rollback();
    EXPECT_TRUE(log.records.empty());
    EXPECT_EQ(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath), before);
}

TEST_F(UninstallKeyRollbackTest, KeyThatExistedIsRestoredFromItsHive)
{
    testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, kProductKey, {});
    {
        kv::unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.put(), nullptr),
                  ERROR_SUCCESS);
        SetString(key.get(), L"DisplayName", L"Tavelo 7.01h");
        SetNumber(key.get(), L"KvLanguage", 3);
        kv::unique_hkey old;
        ::RegCreateKeyExW(key.get(), L"Old", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, old.put(), nullptr);
    }
    const RegistryKeySnapshot before = SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);

    ActionLog log;
    std::wstring backup;
    {
        const kv::unique_hkey key = RegisterProduct(log, REG_OPENED_EXISTING_KEY);
        backup = log.records.back().backup;
        ASSERT_FALSE(backup.empty());
        ASSERT_NE(::GetFileAttributesW(backup.c_str()), INVALID_FILE_ATTRIBUTES);
        SetString(key.get(), L"DisplayName", L"Tavelo 7.01j");
        SetNumber(key.get(), L"KvLanguage", 1);
        kv::unique_hkey added;
        ::RegCreateKeyExW(key.get(), L"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, added.put(), nullptr);
        log.Complete(true);
    }

    log.Rollback();
    EXPECT_TRUE(log.records.empty());
    EXPECT_EQ(::GetFileAttributesW(backup.c_str()), INVALID_FILE_ATTRIBUTES) << "the hive file is deleted";
    // The installation's key was not deleted in place of a restore.
    EXPECT_TRUE(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kProductKey).exists);
    if (testing_support::RunningUnderWine())
        GTEST_SKIP() << "RegRestoreKeyW is a stub under Wine: it reports success and restores nothing";
    EXPECT_EQ(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath), before);
}

TEST_F(UninstallKeyRollbackTest, WithoutAProductCodeTheUninstallKeyIsLeftAlone)
{
    // Should the rollback delete the key of every installed program, they come back.
    const testing_support::SavedRegistryKey all(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    {
        kv::unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.put(), nullptr),
                  ERROR_SUCCESS);
        SetString(key.get(), L"DisplayName", L"Tavelo 7.01j");
    }
    const RegistryKeySnapshot before = SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    ActionLog log;
    log.records = {{ActionKind::UninstallKey, L"", {}, true, -1}};
    SetProductCode(0);   // names no product
    log.Rollback();
    SetProductCode(product::kThisProductCode);
    EXPECT_TRUE(log.records.empty());
    EXPECT_EQ(SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath), before);
}

} // namespace
