// Whether two paths name the same file or folder.
#pragma once

#include <string>

// Equal element by element; else the same existing file or folder for the file system;
// else, when the file system cannot tell, equal absolute paths ignoring letter case.
bool PathsEquivalent(const std::wstring& a, const std::wstring& b);
