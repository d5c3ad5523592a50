// Handing waiting window messages to their windows while the user-interface thread is busy
// (the installation runs on it): the wizard repaints and its dialogs keep working.
#pragma once

#include <windows.h>

// Dialog navigation (Tab, Enter, Esc, accelerators) for a message of a dialog or of one
// of its controls; true when the message was used and must not be dispatched.
bool AfxPreTranslateMessage(MSG* message);

// Dispatches every message that waits in the thread's queue and returns. A WM_QUIT that
// arrives is put back, so that the next message loop ends as it should.
void AfxPumpWaitingMessages();
