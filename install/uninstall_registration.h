// Making the installed product known to the system: its entry in the list of installed
// programs, the installation path value under the maker's key, and the product's own
// registration run.
#pragma once

#include "install/named_objects.h"

#include <windows.h>

#include <string>

class ActionLog;
class InstallView;

// The exit code with which the product reports a successful registration run.
inline constexpr int kRegistrationSucceeded = -10;

// Writes the product's uninstall entry, HKEY_LOCAL_MACHINE\...\Uninstall\<registry name>,
// with its twelve values. The key is announced to the log once it is open: an existing key
// is handed over for its backup. True only when the key could be opened or created and
// both "DisplayName" and "UninstallString" were written; the record is completed with that.
bool WriteUninstallRegistration(const std::wstring& mainProgram, const std::wstring& uninstaller, ActionLog& log);

// The value "<registry name> Path" under the maker's key: the main program's path, by
// which the next installer finds the installed product. Not recorded in the log.
bool WriteInstallationPathValue(const std::wstring& mainProgram);

struct RegistrationRun {
    bool started = false;
    int exitCode = 0;   // meaningful only when started
};

// Starts the installed main program with "/Register /Background" in its own folder, at
// high priority and without activating its window, and waits for its end without a time
// limit; with a view, the view pumps this thread's messages meanwhile. The installer's
// mutex is released meanwhile, since the product may itself check for a running installer,
// and taken back afterwards (without waiting). After a successful run the shell is told
// that file associations changed.
RegistrationRun RunProductRegistration(const std::wstring& mainProgram, ApplicationMutex& mutex,
                                       InstallView* view = nullptr);

// The command line of the registration run: the path, quoted when it holds a space,
// followed by " /Register /Background".
std::wstring RegistrationCommandLine(const std::wstring& mainProgram);
