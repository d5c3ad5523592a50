// The installer's handler of the extraction: the one place where each FileKind's rules
// live (which payload files are written, skipped on an update, or taken over in place,
// which are recorded for the uninstaller, which are opened to all users), and what the
// progress page shows while the payload is unpacked.
#pragma once

#include "install/install_state.h"
#include "payload/extraction.h"
#include "product/install_view.h"

#include <chrono>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <system_error>

// Where the installation put the product's main program and its uninstaller. The handler
// notes them as the extraction announces them; the install procedure uses them afterwards
// for the read-only marks, the shortcuts, the registration and the uninstall log.
struct InstalledPrograms {
    std::wstring mainProgram;   // destination of the payload entry of kind MainProgram
    std::wstring uninstaller;   // destination of the payload entry of kind Uninstaller
};

// A function object held by value: its copies share the view, the stream, the state and
// the noted paths, which it refers to and does not own. After every notification it
// handled without an error, and after every block of the verification pass, it lets the
// view pump the waiting window messages once pumpInterval has passed since the last time.
// It opens the shared files to Users through grantRights (empty: GrantUsersAccess).
class InstallHandler {
public:
    // Under Wine every look into the message queue is a round trip to the Wine server that
    // costs as much as the work on a dozen blocks; a person notices no delay below a tenth
    // of a second.
    static constexpr std::chrono::milliseconds kPumpInterval{10};

    InstallHandler(InstallView& view, std::istream& payloadStream, InstallState& state, InstalledPrograms& programs,
                   std::chrono::milliseconds pumpInterval = kPumpInterval, FolderRightsGranter grantRights = {});

    notification::result operator()(notification message);

    // Lets the view pump the waiting messages when pumpInterval has passed since the last
    // pump of this handler or of one of its copies. The extraction's read-back calls it
    // between its blocks.
    void PumpWhenDue() const;

private:
    notification::result Started();
    notification::result Header(const std::vector<PayloadEntry>& entries);
    notification::result FileBegin(const PayloadEntry& entry);
    notification::result FileEnd(const PayloadEntry& entry);
    notification::result Progress(std::uint64_t done, std::uint64_t total);
    notification::result Failed(const std::error_code& code);
    // Records the file, then shows and reports its "Copying File" line.
    notification::result Write(const PayloadEntry& entry, bool copyOriginal);
    // Gives Users the right to read, change and delete the shared file at path.
    void OpenToUsers(const std::wstring& path) const;

    struct Pacing {
        std::chrono::steady_clock::duration interval;
        std::chrono::steady_clock::time_point last;
    };

    InstallView* view_;
    std::istream* payloadStream_;
    InstallState* state_;
    InstalledPrograms* programs_;
    FolderRightsGranter grantRights_;
    std::shared_ptr<Pacing> pacing_;   // shared by the copies
};

// The progress bar's position for done of total bytes: rounded to the nearest percent,
// but 99 rather than 100 while bytes are still to come.
int ProgressPercent(std::uint64_t done, std::uint64_t total);

// How the report shows an error code: "1:%08X" for the system's, "2:%08X" for the C
// runtime's generic one, the value for the "compress" category, and 7 for any other.
std::wstring ErrorCodeText(const std::error_code& code);
