#include "framework/message_box.h"

#include "framework/application.h"

UINT AddDefaultIcon(UINT flags)
{
    if (flags & MB_ICONMASK)
        return flags;
    switch (flags & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return flags | MB_ICONEXCLAMATION;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return flags | MB_ICONQUESTION;
    default:
        return flags;
    }
}

SafeOwner AfxGetSafeOwner()
{
    SafeOwner safe;
    CWinApp* application = AfxGetApp();
    HWND main = application ? application->MainWindow() : nullptr;
    if (!main || !::IsWindow(main))
        return safe;
    safe.owner = ::GetLastActivePopup(main);
    HWND topLevel = ::GetAncestor(main, GA_ROOT);
    if (topLevel && topLevel != safe.owner && ::IsWindowEnabled(topLevel))
        safe.topLevelToDisable = topLevel;
    return safe;
}

int AfxMessageBox(const std::wstring& text, UINT flags)
{
    const SafeOwner safe = AfxGetSafeOwner();
    CWinApp* application = AfxGetApp();
    if (application)
        application->EnableModeless(false);
    if (safe.topLevelToDisable)
        ::EnableWindow(safe.topLevelToDisable, FALSE);

    const int answer = ::MessageBoxW(safe.owner, text.c_str(), AfxGetAppName().c_str(), AddDefaultIcon(flags));

    if (safe.topLevelToDisable)
        ::EnableWindow(safe.topLevelToDisable, TRUE);
    if (application)
        application->EnableModeless(true);
    return answer;
}
