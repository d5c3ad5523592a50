// The framework's message box, with its caption, owner and icon rules.
#pragma once

#include <windows.h>

#include <string>

// The flags with the icon a box gets when they name none: the exclamation mark for OK and
// OK/Cancel, the question mark for Yes/No and Yes/No/Cancel; the other button sets stay
// without icon.
UINT WithDefaultMessageBoxIcon(UINT flags);

// The caption of the framework's boxes: the application's name, or the framework's default
// name while the application has none.
std::wstring MessageBoxCaption();

// Shows text modally and returns the button pressed (IDOK, IDCANCEL ...). The box is owned
// by the main window's last active pop-up (AfxGetSafeOwner); while it is open the
// application's modeless windows are off and the main window's top-level window is disabled.
int AfxMessageBox(const std::wstring& text, UINT flags = MB_OK);
