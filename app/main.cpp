// Entry point of the installer.
#include "app/install_app.h"
#include "app/process_start.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything else: DLL search, processor, process locale, the framework's start.
    RunProcessStart();
    CInstallApp application;
    return application.Run();
}
