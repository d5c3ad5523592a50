#include "framework/application.h"

#include "framework/application_name.h"

CWinApp::CWinApp()
{
    AfxSetAppName(DefaultAppName());
}

CWinApp::~CWinApp() = default;

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    InitInstance();
    return 0;
}
