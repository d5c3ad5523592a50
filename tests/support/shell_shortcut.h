// Reading back a shell shortcut (".lnk") file.
#pragma once

#include <string>

namespace testing_support {

// The target path and working folder of a shortcut file, read through IShellLinkW; both
// empty when the file cannot be loaded.
struct ShortcutTarget {
    std::wstring path;
    std::wstring workingFolder;
    bool operator==(const ShortcutTarget&) const = default;
};
ShortcutTarget ReadShortcut(const std::wstring& linkPath);

} // namespace testing_support
