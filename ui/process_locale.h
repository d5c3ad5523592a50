// The process-wide locale set-up that runs before the application object exists.
#pragma once

// Error mode without the system's critical-error and file-open boxes, and the user's locale as
// the global locale object. Runs once per process; later calls do nothing. On failure it ends
// the process as ExitWithInitializationError does.
void InitializeProcessLocale();

// The steps of InitializeProcessLocale, run on every call; false when the global locale object
// lacks a facet the program needs.
bool SetUpProcessLocale();

// Shows "Initialization Error" (no owner, the system's caption, error icon, in front of every
// window of the desktop) and ends the process with exit code -11.
[[noreturn]] void ExitWithInitializationError();
