#include "support/registry_snapshot.h"

#include "support/strings.h"
#include "support/unique_resource.h"

#include <stdexcept>

namespace testing_support {

namespace {

void SnapshotKey(HKEY key, RegistryKeySnapshot& snapshot)
{
    snapshot.exists = true;
    DWORD subkeyCount = 0, longestSubkey = 0, valueCount = 0, longestValueName = 0, longestData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, &longestSubkey, nullptr, &valueCount,
                           &longestValueName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot query a registry key");
    for (DWORD i = 0; i < valueCount; ++i) {
        std::vector<wchar_t> name(longestValueName + 1);
        DWORD nameLength = static_cast<DWORD>(name.size());
        RegistryValue value;
        value.data.resize(longestData);
        DWORD size = longestData;
        if (::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &value.type, value.data.data(), &size)
            != ERROR_SUCCESS)
            throw std::runtime_error("cannot read a registry value");
        value.data.resize(size);
        snapshot.values[std::wstring(name.data(), nameLength)] = std::move(value);
    }
    for (DWORD i = 0; i < subkeyCount; ++i) {
        std::vector<wchar_t> name(longestSubkey + 1);
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("cannot enumerate a registry key");
        const std::wstring subkeyName(name.data(), nameLength);
        kv::unique_hkey subkey;
        if (::RegOpenKeyExW(key, subkeyName.c_str(), 0, KEY_READ, subkey.put()) != ERROR_SUCCESS)
            throw std::runtime_error("cannot open a registry key");
        SnapshotKey(subkey.get(), snapshot.subkeys[subkeyName]);
    }
}

void CreateKey(HKEY parent, const std::wstring& path, const RegistryKeySnapshot& snapshot)
{
    kv::unique_hkey key;
    if (::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr)
        != ERROR_SUCCESS)
        throw std::runtime_error("cannot create a registry key");
    for (const auto& [name, value] : snapshot.values)
        ::RegSetValueExW(key.get(), name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    for (const auto& [name, subkey] : snapshot.subkeys)
        CreateKey(key.get(), name, subkey);
}

void Print(const RegistryKeySnapshot& snapshot, const std::string& indent, std::ostream& out)
{
    if (!snapshot.exists) {
        out << indent << "(no key)\n";
        return;
    }
    for (const auto& [name, value] : snapshot.values) {
        out << indent << kv::to_utf8(name) << " type " << value.type << ":";
        for (std::uint8_t byte : value.data)
            out << ' ' << std::hex << static_cast<int>(byte) << std::dec;
        out << '\n';
    }
    for (const auto& [name, subkey] : snapshot.subkeys) {
        out << indent << '[' << kv::to_utf8(name) << "]\n";
        Print(subkey, indent + "  ", out);
    }
}

} // namespace

RegistryKeySnapshot SnapshotRegistryKey(HKEY root, const std::wstring& path)
{
    RegistryKeySnapshot snapshot;
    kv::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        SnapshotKey(key.get(), snapshot);
    return snapshot;
}

void RestoreRegistryKey(HKEY root, const std::wstring& path, const RegistryKeySnapshot& snapshot)
{
    ::RegDeleteTreeW(root, path.c_str());
    ::RegDeleteKeyW(root, path.c_str());
    if (snapshot.exists)
        CreateKey(root, path, snapshot);
}

SavedRegistryKey::SavedRegistryKey(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)), snapshot_(SnapshotRegistryKey(root_, path_))
{
}

SavedRegistryKey::~SavedRegistryKey()
{
    try {
        if (SnapshotRegistryKey(root_, path_) != snapshot_)
            RestoreRegistryKey(root_, path_, snapshot_);
    } catch (const std::exception&) {
    }
}

void PrintTo(const RegistryKeySnapshot& snapshot, std::ostream* out)
{
    *out << '\n';
    Print(snapshot, "  ", *out);
}

} // namespace testing_support
