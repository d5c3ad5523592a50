// The installer's application object: the pre-flight checks, the classification of an
// installed copy, the default folders, then the wizard.
#pragma once

#include "framework/application.h"
#include "install/install_state.h"
#include "install/named_objects.h"

class CInstallApp : public CWinApp {
public:
    CInstallApp();

    // Runs the checks and the wizard; always false: the process ends when the wizard closes.
    BOOL InitInstance() override;

private:
    // The checks before the wizard; false when the installer must end.
    bool PassPreflightChecks();
    void RunWizard();

    ApplicationMutex mutex_;
    InstallState state_;
};
