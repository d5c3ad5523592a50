#include "framework/message_box.h"

#include "framework/application_name.h"
#include "framework/application_windows.h"

UINT WithDefaultMessageBoxIcon(UINT flags)
{
    if (flags & MB_ICONMASK)
        return flags;
    switch (flags & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return flags | MB_ICONEXCLAMATION;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return flags | MB_ICONQUESTION;
    default:
        return flags;
    }
}

std::wstring MessageBoxCaption()
{
    const std::wstring& name = AfxGetAppName();
    return name.empty() ? DefaultAppName() : name;
}

int AfxMessageBox(const std::wstring& text, UINT flags)
{
    // Gives back what the box took, also when building its texts throws.
    struct ModalScope {
        HWND topLevel = nullptr;
        ModalScope() { AfxEnableModeless(false); }
        ~ModalScope()
        {
            if (topLevel)
                ::EnableWindow(topLevel, TRUE);
            AfxEnableModeless(true);
        }
    } scope;

    const HWND owner = AfxGetSafeOwner(&scope.topLevel);
    // The owner itself must stay enabled, so that the focus returns to it when the box closes.
    if (owner && owner != scope.topLevel)
        ::EnableWindow(owner, TRUE);
    const std::wstring caption = MessageBoxCaption();
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), WithDefaultMessageBoxIcon(flags));
}
