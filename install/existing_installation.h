// What start-up finds on the machine before the wizard opens: an installed copy of the
// product and its version, its uninstall log, and the default folders.
#pragma once

#include "install/install_state.h"

#include <cstdint>
#include <string>

// The status of an installed main program of that file version against this build's; a
// program without version resource (version 0, no fixed part) counts as the same version.
PreviousInstallStatus CompareInstalledVersion(bool hasFixedVersion, std::uint64_t installedVersion);

// Fills previousStatus and previousVersionText from the installed main program (empty: none),
// reads the earlier uninstall log into the action log for the same or an older version, and
// takes its installation and Start-menu folders.
void ClassifyExistingInstallation(InstallState& state, const std::wstring& installedProgram);

// The installation folder and Start-menu folder where they are still empty: Program Files
// and the common Start-menu programs folder, each followed by "Korvane" and the product's
// registry name.
void SetDefaultFolders(InstallState& state);

// The state the wizard opens with: the machine classified by the installed main program
// (FindInstalledProgram at start-up), the default folders, both kinds of shortcut chosen,
// the quick installation.
void PrepareStartupState(InstallState& state, const std::wstring& installedProgram);
