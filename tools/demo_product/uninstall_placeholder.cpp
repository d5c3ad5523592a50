// Placeholder for the product's uninstaller, Uninstall.exe, in the demo payload. It only
// holds the payload entry of kind Uninstaller until the real uninstaller (which reads
// "Uninstall.ulog" and removes what it lists) is built; it does nothing and exits with 0.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return 0;
}
