// Loads bcrypt.dll by name with the system's default search, as any program that does not
// restrict its search would: the control case of the DLL search test.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return ::LoadLibraryW(L"bcrypt.dll") ? 0 : 1;
}
