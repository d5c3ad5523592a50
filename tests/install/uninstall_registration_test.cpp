// The registration run's command line and a product that cannot be started. Whole
// installations prove the registry values and a real run (tests/app/*_installation_test.cpp).
#include "install/uninstall_registration.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistrationCommandLine, PathWithSpacesIsQuotedAndTheSwitchesFollowTheQuote)
{
    EXPECT_EQ(RegistrationCommandLine(L"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe"),
              L"\"C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe\" /Register /Background");
    EXPECT_EQ(RegistrationCommandLine(L"D:\\Tavelo\\Tavelo.exe"), L"D:\\Tavelo\\Tavelo.exe /Register /Background");
}

TEST(RunProductRegistration, ProgramThatCannotBeStartedReportsSoAndTakesTheMutexBack)
{
    ApplicationMutex mutex(L"TaveloRegistrationRunTest");
    ASSERT_TRUE(mutex.try_lock());
    const RegistrationRun run = RunProductRegistration(L"C:\\nowhere\\Tavelo.exe", mutex);
    EXPECT_FALSE(run.started);
    EXPECT_TRUE(mutex.owned());
}

} // namespace
