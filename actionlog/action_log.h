// The ordered record of every change an installation makes, and what was read back from
// an earlier installation's uninstall log.
#pragma once

#include <list>
#include <string>

// Kind of a record; the numbers are part of the uninstall log's format.
enum ActionKind : int {
    FolderCreated = 0,
    FileInstalled = 1,
    ProgramShortcut = 2,
    UninstallShortcut = 3,
    DesktopShortcut = 4,
    UninstallKey = 5,
    ProductRegistration = 6,
    DirectXUpdate = 7,
};

struct ActionRecord {
    int kind = FolderCreated;   // an ActionKind
    std::wstring text;          // a path, a registry key name or a status text
    std::wstring backup;        // saved copy of what the action replaced, or empty
    bool done = false;          // the action completed
    int detail = -1;            // only the low byte is stored; -1 when there is none
};

class ActionLog {
public:
    std::wstring previousInstallPath;
    std::wstring previousShortcutPath;
    std::list<ActionRecord> previousRecords;   // read from the earlier log, in file order
    std::list<ActionRecord> records;           // this installation's actions, in order
    bool pending = false;                      // the tail record waits for its Complete
    std::wstring previousProduct;              // "Tavelo 7.01h" of the earlier log's Install line
};
