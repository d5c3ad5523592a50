// The application's main window, and what the framework's modal boxes do to the application's
// windows while they are open.
#pragma once

#include <windows.h>

// The main window: null until the application makes one of its windows the main window.
HWND AfxGetMainWnd();
void AfxSetMainWnd(HWND window);

// The owner of a modal box that has no owner of its own: the main window (a child window
// stands for its top-level parent) or rather its last active pop-up; null without a main
// window. When topLevel is given, the main window's top-level window is disabled and returned
// there if it is another window than the owner and still enabled, so that the caller enables it
// again once the box has closed; otherwise *topLevel is null.
HWND AfxGetSafeOwner(HWND* topLevel);

// The switch for the application's modeless windows: off while a modal box is open. Calls nest;
// every false is followed by a true.
void AfxEnableModeless(bool enable);
bool AfxIsModelessEnabled();
