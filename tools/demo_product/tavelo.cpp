// Demo build of the product's main program, Tavelo.exe. The installer's payload carries
// it in place of the real product, whose files are not available here. It behaves as far
// as the installer relies on it:
//   - "/Register /Background" (the installer's registration run) ends with exit code -10;
//   - while it runs it holds one unit of the product's instance semaphore, which the
//     installer counts to find out whether the product is running;
//   - started without those options it shows a window until that is closed.
// When the environment variable TAVELO_DEMO_RECORD names a file, every start appends its
// command line to that file (UTF-8, one line), so that tests can see how it was started.
// TAVELO_DEMO_REGISTRATION_RESULT, a decimal number, replaces the exit code -10 of the
// registration run, so that tests can make it fail.
#include "demo_support.h"
#include "demo_version.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kInstanceSemaphore[] = L"Global\\Tavelo7.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
constexpr int kRegistrationDone = -10;

// One unit of the semaphore for the life of the process.
class InstanceUnit {
public:
    InstanceUnit() : semaphore_(::CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, kInstanceSemaphore))
    {
        if (semaphore_)
            held_ = ::ReleaseSemaphore(semaphore_, 1, nullptr) != FALSE;
    }
    ~InstanceUnit()
    {
        if (held_)
            ::WaitForSingleObject(semaphore_, 0);
        if (semaphore_)
            ::CloseHandle(semaphore_);
    }
    InstanceUnit(const InstanceUnit&) = delete;
    InstanceUnit& operator=(const InstanceUnit&) = delete;

private:
    HANDLE semaphore_;
    bool held_ = false;
};

int RegistrationResult()
{
    wchar_t value[32];
    const DWORD length = ::GetEnvironmentVariableW(L"TAVELO_DEMO_REGISTRATION_RESULT", value, 32);
    if (length == 0 || length >= 32)
        return kRegistrationDone;
    return static_cast<int>(std::wcstol(value, nullptr, 10));
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int ShowMainWindow(HINSTANCE instance, int show)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"TaveloDemoWindow";
    ::RegisterClassW(&windowClass);
    const HWND window = ::CreateWindowW(windowClass.lpszClassName, L"Tavelo " TAVELO_DEMO_VERSION_TEXT L" (demo)",
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr,
                                        nullptr, instance, nullptr);
    if (!window)
        return 1;
    ::ShowWindow(window, show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    const InstanceUnit instanceUnit;
    demo::AppendRecord(L"TAVELO_DEMO_RECORD", ::GetCommandLineW());

    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const bool registration =
        argv && demo::HasOption(argc, argv, L"/Register") && demo::HasOption(argc, argv, L"/Background");
    ::LocalFree(argv);
    if (registration)
        return RegistrationResult();
    return ShowMainWindow(instance, show);
}
