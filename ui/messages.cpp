#include "ui/messages.h"

#include "framework/message_box.h"
#include "product/languages.h"
#include "product/texts.h"
#include "ui/error_text.h"
#include "ui/ui_services.h"

namespace {

BOOL CALLBACK FindCaptionedRootOwner(HWND window, LPARAM found)
{
    const HWND root = ::GetAncestor(window, GA_ROOTOWNER);
    if (root && (::GetWindowLongW(root, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        *reinterpret_cast<HWND*>(found) = root;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindOwnerWindow()
{
    HWND window = nullptr;
    if (const HWND active = ::GetActiveWindow())
        window = ::GetAncestor(active, GA_ROOTOWNER);
    else
        ::EnumThreadWindows(::GetCurrentThreadId(), FindCaptionedRootOwner, reinterpret_cast<LPARAM>(&window));
    return window ? ::GetLastActivePopup(window) : nullptr;
}

UINT MessageReadingDirection(HWND owner)
{
    const bool rightToLeft = owner ? (::GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0
                                   : IsRightToLeft(DefaultLanguage(0));
    return rightToLeft ? MB_RTLREADING : 0;
}

std::wstring MessageString(LPCWSTR textOrIdentifier)
{
    if (!textOrIdentifier)
        return {};
    if (IS_INTRESOURCE(textOrIdentifier))
        return LoadResourceString(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(textOrIdentifier)));
    return textOrIdentifier;
}

std::wstring MessageCaption(LPCWSTR captionOrIdentifier)
{
    std::wstring caption = MessageString(captionOrIdentifier);
    if (caption.empty()) {
        if (const auto& provider = GetUiServices().caption)
            caption = provider();
    }
    return caption;
}

UINT MessageFlags(UINT flags, HWND owner)
{
    return WithDefaultMessageBoxIcon(flags) | MessageReadingDirection(owner);
}

int ShowMessage(LPCWSTR text, LPCWSTR caption, UINT flags)
{
    const UiServices& services = GetUiServices();

    // Gives back what the box took, also when building its texts throws.
    struct ModalScope {
        const UiServices& services;
        MessageOwner owner;
        explicit ModalScope(const UiServices& s) : services(s)
        {
            if (services.owner)
                owner = services.owner();
            else
                owner.window = FindOwnerWindow();
            if (services.modalState)
                services.modalState(false);
        }
        ~ModalScope()
        {
            if (owner.disabledTopLevel)
                ::EnableWindow(owner.disabledTopLevel, TRUE);
            if (services.modalState)
                services.modalState(true);
        }
    } scope(services);

    const HWND owner = scope.owner.window;
    // The owner itself must stay enabled, so that the focus returns to it when the box closes.
    if (owner && owner != scope.owner.disabledTopLevel)
        ::EnableWindow(owner, TRUE);

    const std::wstring body = MessageString(text);
    const std::wstring title = MessageCaption(caption);
    return ::MessageBoxW(owner, body.c_str(), title.empty() ? nullptr : title.c_str(), MessageFlags(flags, owner));
}

void ShowErrorBox(DWORD code)
{
    const std::wstring text = ErrorCodeText(code);
    ShowMessage(text.c_str(), nullptr, MB_OK | MB_ICONEXCLAMATION);
}

bool ShowBrowserError(HWND owner, DWORD code)
{
    const std::wstring text = ErrorText(code, 0);
    ::MessageBoxW(owner, text.c_str(), nullptr, MB_ICONEXCLAMATION | MessageReadingDirection(owner));
    return false;
}
