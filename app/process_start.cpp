#include "app/process_start.h"

#include "product/maker_folders.h"
#include "product/version_info.h"
#include "support/system_library.h"
#include "ui/process_locale.h"

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

bool g_processorChecked = false;
std::unique_ptr<InstanceCounter> g_instanceCounter;

// The installer runs elevated, often from a download folder: DLLs are taken from the
// system folder only, never from the folder of the executable or the current folder.
void RestrictDllSearch()
{
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void CheckProcessor()
{
    if (::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
        g_processorChecked = true;
        return;
    }
    ::MessageBoxW(nullptr,
                  L"This Version is not compatible with your Configuration.\n\n"
                  L"Cette version n'est pas compatible avec votre configuration.\n\n"
                  L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.",
                  nullptr, MB_ICONERROR);
    ::ExitProcess(1);
}

std::wstring ReadApplicationName()
{
    const VersionInfo& version = VersionInfo::Current();
    std::wstring name = version.StringValue(L"ApplicationId");
    if (name.empty())
        name = version.StringValue(L"ProductName");
    if (name.empty()) {
        std::wstring file = ::PathFindFileNameW(kv::module_file_name().c_str());
        ::PathRemoveExtensionW(file.data());
        name = file.c_str();
    }
    return name;
}

void StartFramework()
{
    GetMakerFolders();
    if (CommonControlsVersion() < 0x60000)
        throw std::logic_error("common controls older than 6.0");
    INITCOMMONCONTROLSEX controls{8, 0xC0FF};
    ::InitCommonControlsEx(&controls);
    g_instanceCounter = std::make_unique<InstanceCounter>(ApplicationName());
}

} // namespace

namespace {

// The version of the side-by-side assembly that the process's activation context binds
// comctl32.dll to (major << 16 | minor), 0 without one.
DWORD ActivatedCommonControlsVersion()
{
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof data;
    if (!::FindActCtxSectionStringW(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr,
                                    ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &data))
        return 0;
    const std::unique_ptr<void, decltype(&::ReleaseActCtx)> context(data.hActCtx, ::ReleaseActCtx);

    ACTIVATION_CONTEXT_QUERY_INDEX index{data.ulAssemblyRosterIndex, 0};
    SIZE_T needed = 0;
    ::QueryActCtxW(0, context.get(), &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed < sizeof(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION)
        || !::QueryActCtxW(0, context.get(), &index, AssemblyDetailedInformationInActivationContext, buffer.data(),
                           needed, &needed))
        return 0;
    const auto* assembly = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
    if (!assembly->lpAssemblyEncodedAssemblyIdentity)
        return 0;

    // The identity reads: name,processorArchitecture="...",...,version="6.0.2600.2982"
    const std::wstring identity = assembly->lpAssemblyEncodedAssemblyIdentity;
    const std::wstring::size_type at = identity.find(L"version=\"");
    if (at == std::wstring::npos)
        return 0;
    unsigned major = 0, minor = 0;
    if (::swscanf(identity.c_str() + at + 9, L"%u.%u", &major, &minor) != 2)
        return 0;
    return (major << 16) | (minor & 0xFFFF);
}

} // namespace

DWORD CommonControlsVersion()
{
    HMODULE module = ::GetModuleHandleW(L"Comctl32.dll");
    if (!module)
        module = ::LoadLibraryExW(L"Comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module)
        module = ::LoadLibraryExW(L"Comctl32.dll", nullptr, 0);
    const auto getVersion = module ? reinterpret_cast<DLLGETVERSIONPROC>(::GetProcAddress(module, "DllGetVersion"))
                                   : nullptr;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    const DWORD reported = getVersion && SUCCEEDED(getVersion(&info))
                               ? (info.dwMajorVersion << 16) | info.dwMinorVersion
                               : 0;
    // Some implementations report 5.81 from the version 6 library of the side-by-side
    // assembly; the assembly's own version then tells which one the process uses.
    return reported >= 0x60000 ? reported : std::max(reported, ActivatedCommonControlsVersion());
}

void RunProcessStart()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RestrictDllSearch();
        CheckProcessor();
        InitializeProcessLocale();
        try {
            InitializeProcessLocale();   // the framework's start asks again; the once-flag keeps it one step
            StartFramework();
        } catch (const std::exception&) {
            ExitWithInitializationError();
        }
    });
}

bool ProcessorCheckPassed()
{
    return g_processorChecked;
}

const std::wstring& ApplicationName()
{
    static const std::wstring name = ReadApplicationName();
    return name;
}

InstanceCounter& ProcessInstanceCounter()
{
    if (!g_instanceCounter)
        throw std::logic_error("the instance counter is made by the process start");
    return *g_instanceCounter;
}
