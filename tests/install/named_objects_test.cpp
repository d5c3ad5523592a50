#include "install/named_objects.h"

#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <thread>

namespace {

// A name of the test's own, so that no installer or product of the machine takes part.
const std::wstring kTestApplication = L"TaveloTest" + std::to_wstring(::GetCurrentProcessId());

TEST(NamedObjects, NamesFollowTheApplicationName)
{
    EXPECT_EQ(InstanceCounter::ObjectName(L"Tavelo7"), L"Global\\Tavelo7.{a3526b56-ca7c-4e16-8a26-da7758a378fd}");
    EXPECT_EQ(ApplicationMutex::ObjectName(L"Tavelo7"), L"Global\\Tavelo7.{5ead623c-dfcd-474d-8e3c-e6978cac039e}");
}

TEST(InstanceCounterTest, CountsEveryHolderAndGivesTheUnitBackWhenItGoes)
{
    InstanceCounter first(kTestApplication);
    EXPECT_EQ(first.Count(), 1);
    EXPECT_EQ(first.Count(), 1) << "asking does not change the count";
    {
        InstanceCounter second(kTestApplication);
        EXPECT_EQ(first.Count(), 2);
        EXPECT_EQ(second.Count(), 2);
    }
    EXPECT_EQ(first.Count(), 1);
}

TEST(InstanceCounterTest, SemaphoreIsOpenToEveryoneAndStartsEmpty)
{
    InstanceCounter counter(kTestApplication);
    kv::unique_handle semaphore(::OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, InstanceCounter::ObjectName(kTestApplication).c_str()));
    ASSERT_TRUE(semaphore);
    // One unit is held by the counter: the semaphore holds exactly one.
    EXPECT_EQ(::WaitForSingleObject(semaphore.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(semaphore.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ::ReleaseSemaphore(semaphore.get(), 1, nullptr);

    PACL dacl = nullptr;
    kv::unique_local_ptr<void> descriptor;
    ASSERT_EQ(::GetSecurityInfo(semaphore.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, descriptor.put()),
              ERROR_SUCCESS);
    if (!dacl)
        GTEST_SKIP() << "this system keeps no access list on the semaphore";
    ASSERT_EQ(dacl->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask, 0x1F0003u);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    kv::unique_sid everyone;
    ASSERT_TRUE(::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put()));
    EXPECT_TRUE(::EqualSid(&ace->SidStart, everyone.get()));
}

TEST(ApplicationMutexTest, AdmitsOneOwnerAtATime)
{
    ApplicationMutex first(kTestApplication);
    EXPECT_FALSE(first.owned());
    ASSERT_TRUE(first.try_lock());

    // Another thread stands for another installer: it cannot take the mutex.
    bool otherOwned = true;
    std::thread([&] {
        ApplicationMutex second(kTestApplication);
        otherOwned = second.try_lock();
    }).join();
    EXPECT_FALSE(otherOwned);

    first.unlock();
    EXPECT_FALSE(first.owned());
    std::thread([&] {
        ApplicationMutex second(kTestApplication);
        otherOwned = second.try_lock();
    }).join();
    EXPECT_TRUE(otherOwned) << "the released mutex is free again";
}

TEST(ApplicationMutexTest, MutexLeftByAnEndedOwnerCountsAsTaken)
{
    // A thread that ends while it owns the mutex abandons it; the handle keeps it alive.
    kv::unique_handle abandoned;
    std::thread([&] {
        abandoned.reset(::CreateMutexW(nullptr, TRUE, ApplicationMutex::ObjectName(kTestApplication).c_str()));
    }).join();
    ApplicationMutex mutex(kTestApplication);
    EXPECT_TRUE(mutex.try_lock());
}

} // namespace
