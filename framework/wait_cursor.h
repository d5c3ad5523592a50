// The hourglass while a long operation runs on the user-interface thread.
#pragma once

#include <windows.h>

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    // Puts the hourglass on the screen, also again after something (a message box, a
    // window) replaced it.
    static void Show();

private:
    HCURSOR previous_;
};

// Whether a CWaitCursor exists: the framework's dialogs then keep the hourglass while the
// mouse moves over them, also while waiting messages are handed out during the operation.
bool AfxIsWaitCursorShown();
