// The installer's one state record, shared by start-up, the wizard pages and the
// install procedure.
#pragma once

#include "actionlog/action_log.h"

#include <string>

// What start-up found of an earlier installation; the numbers are those of the state record.
enum class PreviousInstallStatus : int {
    NotInstalled = 0,
    SameVersion = 1,    // this version, or an installed program without version resource
    OlderVersion = 2,   // this installation is an update
    NewerVersion = -1,
};

struct InstallState {
    PreviousInstallStatus previousStatus = PreviousInstallStatus::NotInstalled;
    std::wstring previousVersionText;   // set for OlderVersion and NewerVersion only
    std::wstring installFolder;
    std::wstring startMenuFolder;
    std::wstring temporaryFolder;       // set while the install procedure runs
    bool createMenuShortcuts = false;
    bool createDesktopShortcut = false;
    bool advancedMode = false;
    ActionLog actionLog;
    bool installed = false;

    // previousStatus; for an older or newer installed version also copies its version
    // text into versionText when one is given.
    PreviousInstallStatus PreviousStatus(std::wstring* versionText = nullptr) const
    {
        if (versionText
            && (previousStatus == PreviousInstallStatus::OlderVersion || previousStatus == PreviousInstallStatus::NewerVersion))
            *versionText = previousVersionText;
        return previousStatus;
    }
};
