// A folder tree as data (names, attributes, bytes), to compare it before and after an action.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

struct FileTreeEntry {
    DWORD attributes = 0;
    std::vector<std::uint8_t> bytes;   // empty for folders
    bool operator==(const FileTreeEntry&) const = default;
};

// Every file and folder below root (root itself not included), by its path relative to root.
using FileTreeSnapshot = std::map<std::wstring, FileTreeEntry>;

FileTreeSnapshot SnapshotFileTree(const std::wstring& root);

// For readable test failures.
void PrintTo(const FileTreeEntry& entry, std::ostream* out);

} // namespace testing_support
