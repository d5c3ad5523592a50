#include "support/unique_resource.h"

#include <gtest/gtest.h>

namespace {

bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent()
{
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

TEST(UniqueResource, ClosesOnResetAndDestructionButNotOnRelease)
{
    HANDLE first = NewEvent();
    HANDLE second = NewEvent();
    HANDLE third = NewEvent();
    {
        kv::unique_handle owner(first);
        owner.reset(second);
        EXPECT_FALSE(IsOpen(first));
        EXPECT_TRUE(IsOpen(second));

        kv::unique_handle kept(third);
        EXPECT_EQ(kept.release(), third);
        EXPECT_FALSE(kept);
    }
    EXPECT_FALSE(IsOpen(second));
    EXPECT_TRUE(IsOpen(third));
    ::CloseHandle(third);
}

TEST(UniqueResource, PutClosesWhatWasOwnedBeforeTheNewValueArrives)
{
    HANDLE first = NewEvent();
    kv::unique_handle owner(first);
    *owner.put() = NewEvent();
    EXPECT_FALSE(IsOpen(first));
    EXPECT_TRUE(IsOpen(owner.get()));
}

TEST(UniqueResource, MoveTransfersOwnershipOnce)
{
    HANDLE event = NewEvent();
    kv::unique_handle source(event);
    kv::unique_handle target(std::move(source));
    EXPECT_FALSE(source);
    EXPECT_EQ(target.get(), event);
    target = std::move(target);
    EXPECT_TRUE(IsOpen(event));
}

TEST(UniqueResource, FileOwnerTreatsInvalidHandleValueAsNone)
{
    kv::unique_file file(::CreateFileW(L"C:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file);
    EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(UniqueResource, RegistryKeyIsClosed)
{
    HKEY raw = nullptr;
    {
        kv::unique_hkey key;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
        raw = key.get();
        DWORD subkeys = 0;
        EXPECT_EQ(::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr), ERROR_SUCCESS);
    }
    DWORD subkeys = 0;
    EXPECT_NE(::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr), ERROR_SUCCESS);
}

} // namespace
