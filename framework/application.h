// The application object: one per process, started by the entry point.
#pragma once

#include <windows.h>

class CWinApp {
public:
    // The application starts with the framework's default name, the executable's file name
    // without folder and extension (AfxGetAppName).
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The application's start. The framework's own part does nothing that can fail; an
    // application that ends from here returns false.
    virtual BOOL InitInstance();

    // Runs InitInstance; the process's exit code.
    int Run();
};
