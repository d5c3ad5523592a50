// The application object: one per process, started by the entry point. It knows the
// application's name (the caption of the framework's message boxes) and its main window.
#pragma once

#include <windows.h>

#include <string>

class CWinApp {
public:
    // name: the application's name; empty gives the executable's file name without folder
    // and extension.
    explicit CWinApp(const std::wstring& name = L"");
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The application's start. The framework's own part does nothing that can fail; an
    // application that ends from here returns false.
    virtual BOOL InitInstance();

    // Runs InitInstance; the process's exit code.
    int Run();

    HWND MainWindow() const { return mainWindow_; }
    void SetMainWindow(HWND window) { mainWindow_ = window; }

    // Switches the application's modeless windows off (false) and on again (true) around a
    // modal box; the calls nest.
    void EnableModeless(bool enable);
    bool ModelessEnabled() const { return modelessDisabled_ == 0; }

private:
    HWND mainWindow_ = nullptr;
    int modelessDisabled_ = 0;
};

// The application object, or null before it exists and after it is gone.
CWinApp* AfxGetApp();

// The application's name: the caption of the framework's message boxes.
const std::wstring& AfxGetAppName();
void AfxSetAppName(const std::wstring& name);
