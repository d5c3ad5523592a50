// The installation itself, as the progress page runs it when the user presses Next.
#pragma once

#include "install/install_state.h"
#include "install/named_objects.h"
#include "product/install_view.h"

// Runs every installation action in order on the calling (user-interface) thread: unpacks
// the payload embedded in the installer (resource 260/134), marks the main program and the
// uninstaller read-only, creates the shortcuts the user chose, brings the DirectX runtime
// up to date, registers the product with the system and under the maker's key, lets the
// product register itself (with the installer's mutex released meanwhile), and writes the
// uninstall log. Every action is recorded in state.actionLog before it is made. The view
// receives the status line, the running report with one line per step and its outcome,
// and the progress of the unpacking.
//
// Returns true when the installation reached its end, although a shortcut, the DirectX
// step, the product's registration or the uninstall log may have failed (their report
// lines say "Failed"). Returns false when no temporary folder could be named, the payload
// could not be unpacked or the installation path value could not be written; the two
// latter are rolled back. Either way the temporary folder is gone when it returns, and
// it may be called again in the same process.
//
// While it runs, its journal (InstallationJournalPath) holds every record before its action
// is taken; the journal is removed when the installation is final or rolled back. An
// installation whose journal cannot be made changes nothing and returns false.
bool Install(InstallState& state, InstallView& view, ApplicationMutex& mutex);

// The journal of a running installation: in the maker's folder of all users,
// "C:\ProgramData\Korvane\Tavelo 7 Installation.journal".
std::wstring InstallationJournalPath();

// Whether Install keeps its journal: true unless a benchmark turns it off to measure what the
// journal costs.
void SetInstallationJournalKept(bool kept);

struct JournalRecovery;
// The line that tells the user what the start of the installer found: an interrupted
// installation undone (text 132), undone except for the files named one per line (text 130),
// or a journal that cannot be read (text 128) or whose owner is not trusted (text 134), named;
// empty when there is nothing to say.
std::wstring RecoveryNotice(const JournalRecovery& recovery, const std::wstring& journalPath);
