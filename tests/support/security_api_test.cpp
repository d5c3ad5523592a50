#include "support/security_api.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

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

} // namespace
