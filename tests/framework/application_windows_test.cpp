#include "framework/application_windows.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

namespace {

using testing_support::TestWindow;

class SafeOwner : public testing::Test {
protected:
    void TearDown() override { AfxSetMainWnd(nullptr); }
};

TEST_F(SafeOwner, NoMainWindowGivesNoOwner)
{
    HWND topLevel = reinterpret_cast<HWND>(1);
    EXPECT_EQ(AfxGetSafeOwner(&topLevel), nullptr);
    EXPECT_EQ(topLevel, nullptr);
}

TEST_F(SafeOwner, DestroyedMainWindowGivesNoOwner)
{
    {
        TestWindow gone;
        AfxSetMainWnd(gone.get());
    }
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(AfxGetSafeOwner(nullptr), nullptr);
}

TEST_F(SafeOwner, MainWindowWithoutOwnerOwnsTheBoxAndStaysEnabled)
{
    TestWindow main;
    AfxSetMainWnd(main.get());
    HWND topLevel = reinterpret_cast<HWND>(1);
    EXPECT_EQ(AfxGetSafeOwner(&topLevel), main.get());
    EXPECT_EQ(topLevel, nullptr);
    EXPECT_TRUE(::IsWindowEnabled(main.get()));
}

TEST_F(SafeOwner, ChildWindowStandsForItsTopLevelParent)
{
    TestWindow main;
    TestWindow child(WS_CHILD | WS_VISIBLE, main.get());
    AfxSetMainWnd(child.get());
    EXPECT_EQ(AfxGetSafeOwner(nullptr), main.get());
}

TEST_F(SafeOwner, OwnedMainWindowDisablesItsTopLevelOwner)
{
    TestWindow root;
    TestWindow main(WS_POPUP | WS_CAPTION, root.get());
    AfxSetMainWnd(main.get());

    HWND topLevel = nullptr;
    EXPECT_EQ(AfxGetSafeOwner(&topLevel), main.get());
    EXPECT_EQ(topLevel, root.get());
    EXPECT_FALSE(::IsWindowEnabled(root.get()));

    // Already disabled (by the box above): nothing to disable and give back.
    EXPECT_EQ(AfxGetSafeOwner(&topLevel), main.get());
    EXPECT_EQ(topLevel, nullptr);
    ::EnableWindow(root.get(), TRUE);

    // Without a place to return it, the top-level window is left alone.
    EXPECT_EQ(AfxGetSafeOwner(nullptr), main.get());
    EXPECT_TRUE(::IsWindowEnabled(root.get()));
}

TEST(ModelessSwitch, StaysOffUntilEveryBoxHasSwitchedItBackOn)
{
    EXPECT_TRUE(AfxIsModelessEnabled());
    AfxEnableModeless(false);
    AfxEnableModeless(false);
    AfxEnableModeless(true);
    EXPECT_FALSE(AfxIsModelessEnabled());
    AfxEnableModeless(true);
    EXPECT_TRUE(AfxIsModelessEnabled());
}

} // namespace
