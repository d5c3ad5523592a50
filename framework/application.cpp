#include "framework/application.h"

#include <shlwapi.h>

namespace {

CWinApp* g_application = nullptr;

std::wstring& AppName()
{
    static std::wstring name;
    return name;
}

std::wstring ExecutableBaseName()
{
    wchar_t path[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* name = ::PathFindFileNameW(path);
    ::PathRemoveExtensionW(name);
    return name;
}

} // namespace

CWinApp::CWinApp(const std::wstring& name)
{
    g_application = this;
    AfxSetAppName(name.empty() ? ExecutableBaseName() : name);
}

CWinApp::~CWinApp()
{
    if (g_application == this)
        g_application = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    InitInstance();
    return 0;
}

void CWinApp::EnableModeless(bool enable)
{
    modelessDisabled_ += enable ? -1 : 1;
    if (modelessDisabled_ < 0)
        modelessDisabled_ = 0;
}

CWinApp* AfxGetApp()
{
    return g_application;
}

const std::wstring& AfxGetAppName()
{
    if (AppName().empty())
        AppName() = ExecutableBaseName();
    return AppName();
}

void AfxSetAppName(const std::wstring& name)
{
    AppName() = name;
}
