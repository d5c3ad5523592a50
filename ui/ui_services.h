// The replaceable services that message boxes and windows use to find their owner, caption
// and icon.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The owner of a modal box and the top-level window disabled for it (enabled again when the
// box has closed); either may be null.
struct MessageOwner {
    HWND window = nullptr;
    HWND disabledTopLevel = nullptr;
};

// One process-wide record, created on first use with the installer's providers: the
// application's name as caption (the installer's product name and version from its version
// resource while the application has no name), the framework's safe owner and its switch for
// modeless windows. The icon provider stays empty until UseApplicationIcon.
struct UiServices {
    std::function<std::wstring()> caption;
    std::function<HICON()> icon;
    std::function<MessageOwner()> owner;
    std::function<void(bool enable)> modalState;
};

UiServices& GetUiServices();

// Loads the application icon 128 of the executable once, at the system's default icon size,
// and makes it the icon provider. Called when the application object is constructed.
void UseApplicationIcon();
