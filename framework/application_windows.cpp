#include "framework/application_windows.h"

#include <atomic>

namespace {

HWND g_mainWindow = nullptr;

// Number of modal boxes open that have switched the modeless windows off. Atomic because
// tests read the switch from a thread that watches the box.
std::atomic<int> g_modelessDisabled{0};

} // namespace

HWND AfxGetMainWnd()
{
    return g_mainWindow && ::IsWindow(g_mainWindow) ? g_mainWindow : nullptr;
}

void AfxSetMainWnd(HWND window)
{
    g_mainWindow = window;
}

HWND AfxGetSafeOwner(HWND* topLevel)
{
    HWND window = AfxGetMainWnd();
    // A pop-up cannot be owned by a child window.
    while (window && (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD))
        window = ::GetParent(window);

    // GetParent of a top-level window is its owner: this climbs to the root of the owner chain.
    HWND top = window;
    for (HWND up = window; up; up = ::GetParent(up))
        top = up;

    if (window)
        window = ::GetLastActivePopup(window);

    if (topLevel) {
        *topLevel = nullptr;
        if (top && top != window && ::IsWindowEnabled(top)) {
            *topLevel = top;
            ::EnableWindow(top, FALSE);
        }
    }
    return window;
}

void AfxEnableModeless(bool enable)
{
    if (enable)
        --g_modelessDisabled;
    else
        ++g_modelessDisabled;
}

bool AfxIsModelessEnabled()
{
    return g_modelessDisabled.load() <= 0;
}
