#include "app/administrator_check.h"

#include <gtest/gtest.h>

namespace {

// The test user of the Wine prefix is an administrator, as the installer's users are.
TEST(AdministratorCheck, MembershipTestFindsTheAdministrator)
{
    EXPECT_TRUE(IsUserAdministrator());
}

TEST(AdministratorCheck, AccessCheckFallbackGivesTheSameAnswer)
{
    EXPECT_TRUE(IsUserAdministratorByAccessCheck());
}

} // namespace
