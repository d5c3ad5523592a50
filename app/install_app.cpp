#include "app/install_app.h"

#include "actionlog/journal.h"
#include "actionlog/previous_installation.h"
#include "app/administrator_check.h"
#include "app/process_start.h"
#include "framework/message_box.h"
#include "install/existing_installation.h"
#include "install/install_procedure.h"
#include "product/languages.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "ui/messages.h"
#include "ui/ui_services.h"
#include "ui/wizard_frame.h"

CInstallApp::CInstallApp() : mutex_(ApplicationName())
{
    SetProductCode(product::kThisProductCode);
    UseApplicationIcon();
}

BOOL CInstallApp::InitInstance()
{
    if (!PassPreflightChecks())
        return FALSE;

    // An installation that was cut short is undone before the machine is classified, so that
    // the start page sees the machine as it was before that installation.
    const std::wstring journalPath = InstallationJournalPath();
    const JournalRecovery recovery = RecoverJournal(journalPath);
    if (const std::wstring notice = RecoveryNotice(recovery, journalPath); !notice.empty())
        AfxMessageBox(notice, recovery.outcome == JournalRecovery::Undone && recovery.notUndone.empty()
                                  ? MB_OK | MB_ICONINFORMATION
                                  : MB_OK | MB_ICONEXCLAMATION);

    PrepareStartupState(state_, FindInstalledProgram());

    RunWizard();
    return FALSE;
}

bool CInstallApp::PassPreflightChecks()
{
    if (!ProcessorCheckPassed()) {
        ShowErrorBox(E_UNEXPECTED);
        return false;
    }
    if (!mutex_.try_lock()) {
        ShowErrorBox(ERROR_BUSY);
        return false;
    }
    CWinApp::InitInstance();
    ChooseStartupLanguage();

    if (!IsUserAdministrator()) {
        AfxMessageBox(LoadText(kTextAdministratorRequired), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // Every running process of the application name holds a unit of the counter: more than
    // this installer's own means the product runs.
    while (ProcessInstanceCounter().Count() > 1) {
        const std::wstring question = FormatText(LoadText(kTextCloseProduct), ProductDisplayName(false));
        if (AfxMessageBox(question, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDCANCEL)
            return false;
    }
    return true;
}

void CInstallApp::RunWizard()
{
    CInstallDlg wizard(state_, [this](InstallView& view) { return Install(state_, view, mutex_); });
    wizard.DoModal();
}
