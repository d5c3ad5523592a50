#include "install/install_state.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallState, StartsEmpty)
{
    const InstallState state;
    EXPECT_EQ(state.previousStatus, PreviousInstallStatus::NotInstalled);
    EXPECT_TRUE(state.previousVersionText.empty());
    EXPECT_TRUE(state.installFolder.empty());
    EXPECT_TRUE(state.startMenuFolder.empty());
    EXPECT_TRUE(state.temporaryFolder.empty());
    EXPECT_FALSE(state.createMenuShortcuts);
    EXPECT_FALSE(state.createDesktopShortcut);
    EXPECT_FALSE(state.advancedMode);
    EXPECT_FALSE(state.installed);
    EXPECT_TRUE(state.actionLog.records.empty());
    EXPECT_TRUE(state.actionLog.previousRecords.empty());
    EXPECT_FALSE(state.actionLog.pending);
}

TEST(InstallState, StatusValuesAreThoseOfTheRecord)
{
    EXPECT_EQ(static_cast<int>(PreviousInstallStatus::NotInstalled), 0);
    EXPECT_EQ(static_cast<int>(PreviousInstallStatus::SameVersion), 1);
    EXPECT_EQ(static_cast<int>(PreviousInstallStatus::OlderVersion), 2);
    EXPECT_EQ(static_cast<int>(PreviousInstallStatus::NewerVersion), -1);
}

TEST(InstallState, PreviousStatusQueryGivesTheVersionTextOnlyForAnotherVersion)
{
    InstallState state;
    state.previousVersionText = L"Tavelo 7.01h";
    for (PreviousInstallStatus status : {PreviousInstallStatus::NotInstalled, PreviousInstallStatus::SameVersion,
                                         PreviousInstallStatus::OlderVersion, PreviousInstallStatus::NewerVersion}) {
        state.previousStatus = status;
        std::wstring text = L"unchanged";
        EXPECT_EQ(state.PreviousStatus(&text), status);
        const bool other = status == PreviousInstallStatus::OlderVersion || status == PreviousInstallStatus::NewerVersion;
        EXPECT_EQ(text, other ? L"Tavelo 7.01h" : L"unchanged");
        EXPECT_EQ(state.PreviousStatus(), status);
    }
}

} // namespace
