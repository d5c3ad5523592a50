// Texts of error codes.
#pragma once

#include <windows.h>

#include <string>

// The system's text of a Windows error code or HRESULT in a language (the low 16 bits of
// language; 0 lets the system choose), without the line break the system's texts end with.
// A language the system has no text in falls back to the system's choice; a code without text
// gives the text of E_FAIL, and "Error" when even that is missing.
std::wstring ErrorText(DWORD code, DWORD language);

// ErrorText in the system's language, except for codes of the installer's own kind (the
// customer bit 29 set): with bit 27 set as well their low 16 bits name a string resource (the
// framework's "Command failed." 61705, say), otherwise they give the text of E_FAIL.
std::wstring ErrorCodeText(DWORD code);
