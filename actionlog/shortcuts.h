// Shell shortcuts to the installed product: the two Start-menu shortcuts and the desktop
// shortcut, each recorded in the ActionLog so that a rollback and the uninstaller find it.
#pragma once

#include <optional>
#include <string>

struct InstallState;

// The path of the shortcut CreateShortcut makes: folder, then name (or target's file name
// without extension) and ".lnk"; none when it would be too long.
std::optional<std::wstring> ShortcutPath(const std::wstring& target, const std::wstring& folder,
                                         const std::optional<std::wstring>& name);

// Saves a shortcut "name.lnk" in folder (which must exist) that starts target in target's
// own folder; without a name, target's file name without extension names it. An existing
// shortcut of that name is overwritten. True when the file was saved; linkPath then
// receives its full path. Characters that file names do not allow are not replaced: such
// a name makes the save fail.
bool CreateShortcut(const std::wstring& target, const std::wstring& folder, const std::optional<std::wstring>& name,
                    std::wstring* linkPath = nullptr);

// The installation's shortcut step, as the user chose: in the Start-menu folder a shortcut
// to the main program named "Tavelo 7.01j" and one to the uninstaller named by text 13
// ("Uninstall Tavelo"); on the all-users desktop (else the user's) one to the main
// program. Each is announced with AddShortcut and completed with its ".lnk" path, or as
// not done; a failed one does not keep the others from being made. True when every
// shortcut attempted was created.
bool CreateProductShortcuts(InstallState& state, const std::wstring& mainProgram, const std::wstring& uninstaller);
