#include "framework/message_pump.h"

bool AfxPreTranslateMessage(MSG* message)
{
    if (!message->hwnd)
        return false;
    // The outermost dialog that holds the window does the navigation, so that controls of
    // child pages take part in their frame's tab order.
    HWND dialog = ::GetAncestor(message->hwnd, GA_ROOT);
    wchar_t className[16] = L"";
    if (!dialog || !::GetClassNameW(dialog, className, 16) || ::lstrcmpW(className, L"#32770") != 0)
        return false;
    return ::IsDialogMessageW(dialog, message) != FALSE;
}

void AfxPumpWaitingMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!AfxPreTranslateMessage(&message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}
