// A registry key with all its values and subkeys as data, to compare the registry before
// and after an action and to put a key back as it was after a test.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
    bool operator==(const RegistryValue&) const = default;
};

struct RegistryKeySnapshot {
    bool exists = false;
    std::map<std::wstring, RegistryValue> values;
    std::map<std::wstring, RegistryKeySnapshot> subkeys;
    bool operator==(const RegistryKeySnapshot&) const = default;
};

// The key at path below root, or a snapshot with exists false when there is none.
RegistryKeySnapshot SnapshotRegistryKey(HKEY root, const std::wstring& path);

// Deletes the key at path with everything below it and, when the snapshot holds a key,
// creates it again with the snapshot's values and subkeys.
void RestoreRegistryKey(HKEY root, const std::wstring& path, const RegistryKeySnapshot& snapshot);

// Snapshots a key on construction and restores it on destruction, so that a test that
// changes the registry leaves it as it found it.
class SavedRegistryKey {
public:
    SavedRegistryKey(HKEY root, std::wstring path);
    ~SavedRegistryKey();
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

    const RegistryKeySnapshot& snapshot() const { return snapshot_; }

private:
    HKEY root_;
    std::wstring path_;
    RegistryKeySnapshot snapshot_;
};

// For readable test failures.
void PrintTo(const RegistryKeySnapshot& snapshot, std::ostream* out);

} // namespace testing_support
