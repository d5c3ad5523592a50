#include "ui/ui_services.h"

#include "framework/application_name.h"
#include "framework/application_windows.h"
#include "product/version_info.h"
#include "resources/resource_ids.h"
#include "support/unique_resource.h"

namespace {

// The caption of the installer's messages: the application's name, else the product with
// its version.
std::wstring InstallerCaption()
{
    const std::wstring& name = AfxGetAppName();
    return name.empty() ? VersionInfo::Current().ProductNameWithVersion() : name;
}

} // namespace

UiServices& GetUiServices()
{
    static UiServices services{
        InstallerCaption,
        nullptr,
        [] {
            MessageOwner owner;
            owner.window = AfxGetSafeOwner(&owner.disabledTopLevel);
            return owner;
        },
        AfxEnableModeless,
    };
    return services;
}

void UseApplicationIcon()
{
    // At the system's icon size, which grows with the display's DPI in the DPI-aware
    // installer; without LR_DEFAULTSIZE the first image of the icon would be taken.
    static const kv::unique_icon icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
    GetUiServices().icon = [] { return icon.get(); };
}
