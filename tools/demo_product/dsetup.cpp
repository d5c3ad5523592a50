// Stand-in for the DirectX setup library "DSETUP.dll" of the demo payload. It exports the
// three entry points the installer calls and does nothing to the system. Tests steer it
// through environment variables of the installer's process:
//   TAVELO_DSETUP_VERSION, TAVELO_DSETUP_REVISION   what DirectXSetupGetVersion reports
//                                                   (default 0x00040009 and 904)
//   TAVELO_DSETUP_GETVERSION_RESULT                 what DirectXSetupGetVersion returns (default 1)
//   TAVELO_DSETUP_RESULT                            what DirectXSetupW returns (default 0)
//   TAVELO_DSETUP_LOG                               a file to which every call appends one
//                                                   UTF-8 line with its arguments
// Numbers may be written in decimal or, with 0x, in hexadecimal.
#include "demo_support.h"

#include <windows.h>

#include <cstdlib>
#include <string>

using DirectXSetupCallback = DWORD(WINAPI*)(DWORD reason, DWORD messageType, LPSTR message, LPSTR name, void* info);

namespace {

constexpr DWORD kProgressMessage = 18;   // DSETUP_CB_MSG_PROGRESS

DirectXSetupCallback installedCallback = nullptr;

long Setting(const wchar_t* name, long fallback)
{
    wchar_t value[64];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 64);
    if (length == 0 || length >= 64)
        return fallback;
    return static_cast<long>(std::wcstoul(value, nullptr, 0));
}

void Log(const std::wstring& line)
{
    demo::AppendRecord(L"TAVELO_DSETUP_LOG", line);
}

// "0x" and at least the given number of upper-case hexadecimal digits.
std::wstring Hex(unsigned long long value, int digits)
{
    std::wstring text;
    for (; value != 0 || digits > 0; value >>= 4, --digits)
        text.insert(text.begin(), L"0123456789ABCDEF"[value & 0xF]);
    return L"0x" + text;
}

} // namespace

extern "C" {

__declspec(dllexport) INT WINAPI DirectXSetupGetVersion(DWORD* version, DWORD* revision)
{
    const DWORD reportedVersion = static_cast<DWORD>(Setting(L"TAVELO_DSETUP_VERSION", 0x00040009));
    const DWORD reportedRevision = static_cast<DWORD>(Setting(L"TAVELO_DSETUP_REVISION", 904));
    const INT result = static_cast<INT>(Setting(L"TAVELO_DSETUP_GETVERSION_RESULT", 1));
    if (version)
        *version = reportedVersion;
    if (revision)
        *revision = reportedRevision;
    Log(L"DirectXSetupGetVersion -> " + std::to_wstring(result));
    return result;
}

__declspec(dllexport) INT WINAPI DirectXSetupSetCallback(DirectXSetupCallback callback)
{
    installedCallback = callback;
    Log(std::wstring(L"DirectXSetupSetCallback ") + (callback ? L"callback" : L"null"));
    return 0;
}

__declspec(dllexport) INT WINAPI DirectXSetupW(HWND owner, LPWSTR folder, DWORD flags)
{
    Log(L"DirectXSetupW owner=" + Hex(reinterpret_cast<ULONG_PTR>(owner), 8) + L" folder=" + (folder ? folder : L"")
        + L" flags=" + Hex(flags, 8));
    // A real setup reports its progress a few times while it runs.
    if (installedCallback) {
        char message[] = "Installing DirectX";
        char name[] = "";
        for (int step = 0; step < 3; ++step) {
            const DWORD answer = installedCallback(kProgressMessage, 0, message, name, nullptr);
            Log(L"callback reason=18 answer=" + std::to_wstring(answer));
        }
    }
    const INT result = static_cast<INT>(Setting(L"TAVELO_DSETUP_RESULT", 0));
    Log(L"DirectXSetupW -> " + std::to_wstring(result));
    return result;
}

} // extern "C"
