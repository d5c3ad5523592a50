// A DLL named like a system DLL (bcrypt.dll) for the test of the DLL search order: when any
// process loads it, it creates the file named by TAVELO_FAKE_DLL_MARKER.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t marker[MAX_PATH];
        const DWORD length = ::GetEnvironmentVariableW(L"TAVELO_FAKE_DLL_MARKER", marker, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            const HANDLE file = ::CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                              nullptr);
            if (file != INVALID_HANDLE_VALUE)
                ::CloseHandle(file);
        }
    }
    return TRUE;
}
