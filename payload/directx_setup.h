// The DirectX runtime setup: the redistributable setup library that the payload puts into
// the per-run temporary folder, loaded from there and run once by the install procedure.
#pragma once

#include "product/install_view.h"
#include "support/unique_resource.h"

#include <windows.h>

#include <string>

class DirectXSetup {
public:
    // The oldest setup library the installer runs: version 4.9 (DirectX 9), revision 903.
    static constexpr DWORD kLowestVersion = 0x00040009;
    static constexpr DWORD kLowestRevision = 903;
    // DSETUP_DIRECTX: the runtime (DSETUP_DXCORE) with its display and sound drivers
    // (DSETUP_DDRAWDRV, DSETUP_DSOUNDDRV).
    static constexpr DWORD kSetupFlags = 0x00010018;

    // Loads "DSetup.dll" from folder and keeps it when its version function reports at
    // least version 4.9 and revision 903; otherwise the setup is not usable.
    explicit DirectXSetup(std::wstring folder);
    DirectXSetup(const DirectXSetup&) = delete;
    DirectXSetup& operator=(const DirectXSetup&) = delete;

    bool usable() const { return static_cast<bool>(module_); }

    // Runs the setup, owned by the view's window, on a thread of its own, and waits until
    // it is done while the view pumps the messages of this thread as they come. True
    // when the setup reports success, with or without a restart needed (which the user is
    // not told about).
    bool Run(InstallView& view);

private:
    std::wstring folder_;
    kv::unique_module module_;
};
