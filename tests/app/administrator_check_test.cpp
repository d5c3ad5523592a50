#include "app/administrator_check.h"

#include "actionlog/folder_rights.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// The test user of the Wine prefix is an administrator, as the installer's users are.
TEST(AdministratorCheck, MembershipTestAndAccessCheckFindTheAdministrator)
{
    EXPECT_TRUE(IsUserAdministrator());
    EXPECT_TRUE(IsUserAdministratorByAccessCheck());
}

// The same user with Administrators kept only to deny access: a user without administrator
// rights. The access check impersonates the process's own user, so that the thread's
// impersonation cannot reach it: its decision is asked for the token itself.
TEST(AdministratorCheck, TokenWithAdministratorsForDenyOnlyIsNoAdministrator)
{
    kv::unique_handle process;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.put()));
    const kv::unique_sid administrators = WellKnownSid(AdministratorsAccount);
    SID_AND_ATTRIBUTES denyOnly{administrators.get(), 0};
    kv::unique_handle restricted, token;
    ASSERT_TRUE(::CreateRestrictedToken(process.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, restricted.put()));
    ASSERT_TRUE(::DuplicateToken(restricted.get(), SecurityImpersonation, token.put()));

    EXPECT_FALSE(PassesAdministratorsAccessCheck(token.get()));
    ASSERT_TRUE(::SetThreadToken(nullptr, token.get()));
    const bool administrator = IsUserAdministrator();
    ::RevertToSelf();
    EXPECT_FALSE(administrator);
}

} // namespace
