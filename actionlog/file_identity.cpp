#include "actionlog/file_identity.h"

#include "support/unique_resource.h"

#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// Letter case folded as the object manager folds names that it compares without regard to
// case (RtlUpcaseUnicodeChar, one UTF-16 unit at a time): the rule by which a file system
// finds "TAVELO.EXE" under the name "Tavelo.exe".
class NameFolder {
public:
    NameFolder()
    {
        if (const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll"))
            upcase_ = reinterpret_cast<Upcase*>(::GetProcAddress(ntdll, "RtlUpcaseUnicodeChar"));
    }

    bool available() const { return upcase_ != nullptr; }

    std::wstring operator()(std::wstring name) const
    {
        for (wchar_t& c : name)
            c = upcase_(c);
        return name;
    }

private:
    using Upcase = WCHAR NTAPI(WCHAR);
    Upcase* upcase_ = nullptr;
};

// The names of one folder with their file indexes, as listed once.
struct FolderListing {
    enum State { Listed, Absent, Unknown };   // Absent: the folder itself cannot be found

    struct Entry {
        std::wstring name;
        std::wstring path;   // the folder's text and the name
        LARGE_INTEGER fileId;
        DWORD attributes;
    };

    State state = Unknown;
    DWORD volume = 0;
    std::vector<Entry> entries;
    std::unordered_map<std::wstring, std::size_t> byName;
    std::unordered_multimap<std::wstring, std::size_t> byFoldedName;   // long and short names
};

FolderListing ListFolder(const std::wstring& folder, const NameFolder& fold)
{
    FolderListing listing;
    const kv::unique_file handle(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                               FILE_SHARE_DELETE | FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        // Nothing inside a folder that cannot be found can be opened either.
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            listing.state = FolderListing::Absent;
        return listing;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle.get(), &info))
        return listing;
    listing.volume = info.dwVolumeSerialNumber;

    std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));   // entries are 8-byte aligned
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    while (::GetFileInformationByHandleEx(handle.get(), request, buffer.data(), static_cast<DWORD>(buffer.size() * 8))) {
        request = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                const std::size_t index = listing.entries.size();
                listing.byName.emplace(name, index);
                listing.byFoldedName.emplace(fold(name), index);
                if (entry->ShortNameLength > 0)
                    listing.byFoldedName.emplace(fold(std::wstring(entry->ShortName, entry->ShortNameLength / sizeof(wchar_t))), index);
                std::wstring path = (folder.back() == L'\\' ? folder : folder + L"\\") + name;
                listing.entries.push_back({std::move(name), std::move(path), entry->FileId, entry->FileAttributes});
            }
            if (entry->NextEntryOffset == 0)
                break;
            bytes += entry->NextEntryOffset;
        }
    }
    if (::GetLastError() == ERROR_NO_MORE_FILES)
        listing.state = FolderListing::Listed;
    return listing;
}

// Characters that no name in a listing can match the way the system opens them: wildcards,
// the stream separator, and what Win32 names refuse.
bool IsPlainName(const std::wstring& name)
{
    if (name.empty())
        return false;
    for (wchar_t c : name)
        if (c < 32 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|'
            || c == L'/' || c == L'\\')
            return false;
    return true;
}

} // namespace

std::size_t FileKeyHash::operator()(const FileKey& key) const noexcept
{
    return (std::hash<DWORD>()(key.volume) * 1000003u ^ std::hash<DWORD>()(key.indexHigh)) * 1000003u
           ^ std::hash<DWORD>()(key.indexLow);
}

PathIdentity IdentifyPath(const std::wstring& path)
{
    const kv::unique_file file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_DELETE | FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
        return {Presence::Missing, {}};
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.get(), &info))
        return {Presence::Unidentified, {}};
    return {Presence::Identified,
            {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow, info.nFileSizeHigh, info.nFileSizeLow,
             info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime}};
}

struct FolderListingIdentifier::Listings {
    NameFolder fold;
    std::unordered_map<std::wstring, FolderListing> byFolder;
    std::unordered_map<std::wstring, std::wstring> sameFolder;   // folder text -> the text it is listed under
    std::unordered_set<std::wstring> foldedFolders;              // folded texts of the listed folders

    FolderListing& Of(const std::wstring& folder)
    {
        if (const auto found = byFolder.find(folder); found != byFolder.end())
            return found->second;
        if (const auto alias = sameFolder.find(folder); alias != sameFolder.end())
            return byFolder.find(alias->second)->second;
        if (foldedFolders.count(fold(folder))) {
            if (const auto listed = ListedName(folder); listed && *listed != folder) {
                sameFolder.emplace(folder, *listed);
                return Of(*listed);
            }
        }
        foldedFolders.insert(fold(folder));
        return byFolder.emplace(folder, ListFolder(folder, fold)).first->second;
    }

    // The entry that name stands for in a listing: the exact name first, as a file system
    // that tells letter case apart finds it, else the one name that matches without regard
    // to case. Uncertain when several names match that way.
    enum class Match { Found, Missing, Uncertain };
    Match Find(const FolderListing& listing, const std::wstring& name, std::size_t& index) const
    {
        if (const auto exact = listing.byName.find(name); exact != listing.byName.end()) {
            index = exact->second;
            return Match::Found;
        }
        const auto [first, last] = listing.byFoldedName.equal_range(fold(name));
        if (first == last)
            return Match::Missing;
        index = first->second;
        for (auto it = std::next(first); it != last; ++it)
            if (it->second != index)
                return Match::Uncertain;   // several candidates: let the system choose
        return Match::Found;
    }

    // The text of a folder as its parents list it, each component as named in its parent's
    // listing, or nothing when a listing cannot settle it.
    std::optional<std::wstring> ListedName(const std::wstring& folder)
    {
        if (folder.size() <= 3)
            return folder;   // a drive's root
        const std::size_t separator = folder.rfind(L'\\');
        if (separator == std::wstring::npos || separator < 2)
            return std::nullopt;
        const auto parent = ListedName(folder.substr(0, separator == 2 ? 3 : separator));
        if (!parent)
            return std::nullopt;
        const FolderListing& listing = Of(*parent);
        std::size_t index;
        if (listing.state != FolderListing::Listed || Find(listing, folder.substr(separator + 1), index) != Match::Found)
            return std::nullopt;
        const FolderListing::Entry& entry = listing.entries[index];
        if ((entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != FILE_ATTRIBUTE_DIRECTORY)
            return std::nullopt;
        return (parent->size() == 3 ? *parent : *parent + L"\\") + entry.name;
    }

    // The identity as far as the folder's listing settles it for certain.
    std::optional<PathIdentity> FromListing(const std::wstring& path)
    {
        if (!fold.available() || path.size() >= MAX_PATH)
            return std::nullopt;   // too long for CreateFileW, which fails where a listing would not
        // The full path as CreateFileW makes it: relative paths resolved, "." and ".." removed,
        // trailing dots and spaces dropped, device names turned into "\\.\NUL".
        wchar_t full[MAX_PATH];
        const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
        if (length < 4 || length >= MAX_PATH || full[1] != L':' || full[2] != L'\\')
            return std::nullopt;   // not below a drive letter
        const std::wstring fullPath(full, length);
        const std::size_t separator = fullPath.rfind(L'\\');
        const std::wstring name = fullPath.substr(separator + 1);
        if (!IsPlainName(name))
            return std::nullopt;

        const FolderListing& listing = Of(fullPath.substr(0, separator == 2 ? 3 : separator));
        if (listing.state == FolderListing::Absent)
            return PathIdentity{Presence::Missing, {}};
        if (listing.state != FolderListing::Listed)
            return std::nullopt;
        std::size_t index;
        switch (Find(listing, name, index)) {
        case Match::Missing:
            return PathIdentity{Presence::Missing, {}};
        case Match::Uncertain:
            return std::nullopt;
        case Match::Found:
            break;
        }
        const FolderListing::Entry& entry = listing.entries[index];
        if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return std::nullopt;   // opening follows the link to another file
        if (entry.fileId.QuadPart == 0)
            return std::nullopt;   // a file system that lists no file indexes
        PathIdentity found{Presence::Identified, {}, false, {}, &entry};
        found.identity.volume = listing.volume;
        found.identity.indexHigh = static_cast<DWORD>(entry.fileId.HighPart);
        found.identity.indexLow = entry.fileId.LowPart;
        found.listedPath = entry.path;
        return found;
    }
};

FolderListingIdentifier::FolderListingIdentifier() : listings_(std::make_unique<Listings>()) {}

FolderListingIdentifier::~FolderListingIdentifier() = default;

PathIdentity FolderListingIdentifier::Identify(const std::wstring& path)
{
    if (auto identity = listings_->FromListing(path))
        return *identity;
    return IdentifyPath(path);
}

void FolderListingIdentifier::Complete(const std::wstring& path, PathIdentity& identity)
{
    if (identity.complete)
        return;
    identity.complete = true;
    // Size and time of the file itself, not the listing's: a folder listing may hold stale
    // ones for a second name of a file.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(identity.listedPath.c_str(), GetFileExInfoStandard, &data)) {
        identity.identity.sizeHigh = data.nFileSizeHigh;
        identity.identity.sizeLow = data.nFileSizeLow;
        identity.identity.writeHigh = data.ftLastWriteTime.dwHighDateTime;
        identity.identity.writeLow = data.ftLastWriteTime.dwLowDateTime;
    } else if (const PathIdentity opened = IdentifyPath(path); opened.presence == Presence::Identified) {
        identity.identity = opened.identity;   // changed since it was listed
    }
}
