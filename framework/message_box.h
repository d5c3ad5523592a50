// The framework's message box: owned by the main window's last active pop-up, titled
// with the application's name, with an icon that suits its buttons.
#pragma once

#include <windows.h>

#include <string>

// The flags with the default icon added when they name none: an exclamation mark for OK
// and OK/Cancel, a question mark for Yes/No and Yes/No/Cancel, none for the others.
UINT AddDefaultIcon(UINT flags);

// The window that owns a box of the application, and the top-level window to disable
// while it is open (null when there is none to disable).
struct SafeOwner {
    HWND owner = nullptr;
    HWND topLevelToDisable = nullptr;
};
SafeOwner AfxGetSafeOwner();

int AfxMessageBox(const std::wstring& text, UINT flags = MB_OK);
