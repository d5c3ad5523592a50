#include "framework/application.h"

#include "framework/application_name.h"

namespace {

CWinApp* g_application = nullptr;

} // namespace

CWinApp::CWinApp()
{
    g_application = this;
    AfxSetAppName(DefaultAppName());
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

CWinApp* AfxGetApp()
{
    return g_application;
}
