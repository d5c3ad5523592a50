#include "support/security_api.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(SecurityApi, FunctionsAreBoundFromAdvapi32ByName)
{
    const HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
    ASSERT_NE(advapi, nullptr);
    EXPECT_EQ(reinterpret_cast<FARPROC>(kv::security::OpenProcessToken()), ::GetProcAddress(advapi, "OpenProcessToken"));
    EXPECT_EQ(reinterpret_cast<FARPROC>(kv::security::CheckTokenMembership()),
              ::GetProcAddress(advapi, "CheckTokenMembership"));
    EXPECT_EQ(kv::security::find("NoSuchSecurityFunction"), nullptr);
}

TEST(SecurityApi, BoundFunctionsWork)
{
    kv::unique_handle token;
    kv::security::check(kv::security::OpenProcessToken()(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    EXPECT_TRUE(token);
}

TEST(SecurityApi, FailureRaisesTheHresultOfTheLastError)
{
    kv::unique_handle token;
    try {
        ::SetLastError(ERROR_SUCCESS);
        kv::security::check(kv::security::OpenProcessToken()(nullptr, TOKEN_QUERY, token.put()));
        FAIL() << "an invalid process handle was accepted";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().category(), std::system_category());
        EXPECT_EQ(static_cast<unsigned>(error.code().value()), 0x80070006u);   // E_HANDLE from ERROR_INVALID_HANDLE
    }
}

TEST(SecurityApi, ErrorCodesAreHresults)
{
    EXPECT_EQ(static_cast<unsigned>(kv::security::make_error(ERROR_ACCESS_DENIED).code().value()), 0x80070005u);
    // A failure that set no error still reads as a failure.
    EXPECT_EQ(static_cast<unsigned>(kv::security::make_error(ERROR_SUCCESS).code().value()), 0x80004005u);
}

// Whether the process token has the privilege switched on.
bool PrivilegeEnabled(const wchar_t* name)
{
    kv::unique_handle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    LUID luid;
    ::LookupPrivilegeValueW(nullptr, name, &luid);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<std::uint8_t> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size))
        return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        if (privileges->Privileges[i].Luid.LowPart == luid.LowPart && privileges->Privileges[i].Luid.HighPart == luid.HighPart)
            return (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

TEST(ScopedPrivilege, SwitchesAPrivilegeOnForItsLifeAndThenBackAsItWas)
{
    EXPECT_FALSE(PrivilegeEnabled(L"SeBackupPrivilege"));
    {
        const kv::security::scoped_privilege backup(L"SeBackupPrivilege");
        EXPECT_TRUE(backup);
        EXPECT_TRUE(PrivilegeEnabled(L"SeBackupPrivilege"));
        {
            const kv::security::scoped_privilege again(L"SeBackupPrivilege");   // already on
            EXPECT_TRUE(again);
            EXPECT_TRUE(PrivilegeEnabled(L"SeBackupPrivilege"));
        }
        EXPECT_TRUE(PrivilegeEnabled(L"SeBackupPrivilege"));   // on, as the inner one found it
    }
    EXPECT_FALSE(PrivilegeEnabled(L"SeBackupPrivilege"));
}

TEST(ScopedPrivilege, UnknownPrivilegeFailsQuietly)
{
    EXPECT_FALSE(kv::security::scoped_privilege(L"SeNoSuchPrivilege"));
}

} // namespace
