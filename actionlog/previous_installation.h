// Where an earlier installation of the product put its main program and its uninstall log.
#pragma once

#include <string>

// Full path of the installed main program as the maker's key records it ("Software\Korvane",
// value "<registry name> Path"), or empty when the value is missing or names nothing that
// exists. Looked up on the first call and kept for the rest of the run.
std::wstring FindInstalledProgram();

// The look-up behind FindInstalledProgram, made afresh on every call.
std::wstring LookUpInstalledProgram();

// Full path of the earlier installation's "Uninstall.ulog", or empty. Tried in order: the
// folder of the uninstaller that the product's uninstall entry names ("UninstallString"),
// the folder of the running installer, the folder of the installed main program.
std::wstring FindPreviousLog();
