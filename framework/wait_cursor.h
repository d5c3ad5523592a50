// The hourglass while a long operation runs on the user-interface thread.
#pragma once

#include <windows.h>

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    // Shows the hourglass again after something (a message box, a window) replaced it.
    void Restore() const;

private:
    HCURSOR previous_;
};
