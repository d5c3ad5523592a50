// The application's name: the caption of the framework's message boxes and the name the
// installer gives itself on screen.
#pragma once

#include <string>

// Empty while no application object has named itself.
const std::wstring& AfxGetAppName();
void AfxSetAppName(std::wstring name);

// The name an application object starts with: the executable's file name without folder and
// extension.
std::wstring DefaultAppName();
