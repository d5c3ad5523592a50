// What the file system says a path names: nothing it can open, something without an
// identity (a device), or a file or folder with its identity.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

// What GetFileInformationByHandle tells about a file. Besides the volume and the file index,
// the size and the time of the last write take part, since volume serial numbers are not
// always unique.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    DWORD sizeHigh = 0;
    DWORD sizeLow = 0;
    DWORD writeHigh = 0;
    DWORD writeLow = 0;

    bool operator==(const FileIdentity&) const = default;
};

// Volume and file index, which every name of one file shares.
struct FileKey {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;

    bool operator==(const FileKey&) const = default;
};

struct FileKeyHash {
    std::size_t operator()(const FileKey& key) const noexcept;
};

inline FileKey KeyOf(const FileIdentity& id)
{
    return {id.volume, id.indexHigh, id.indexLow};
}

enum class Presence {
    Missing,        // cannot be opened: absent, or out of reach
    Unidentified,   // opens, but gives no identity (a device such as NUL)
    Identified,
};

struct PathIdentity {
    Presence presence = Presence::Missing;
    FileIdentity identity;    // for Identified only; size and write time once complete
    bool complete = true;
    std::wstring listedPath;  // where to ask for size and write time while not complete
    // The folder listing entry the path was found as: two paths found as one entry name one
    // file, whatever their size and write time.
    const void* listedEntry = nullptr;
};

// Opens the path for its attributes only, sharing everything and with backup semantics so
// that folders open too, and asks for its identity.
PathIdentity IdentifyPath(const std::wstring& path);

// Identifies many paths with the answers of IdentifyPath but mostly without opening each one:
// the folders they lie in are opened and listed once, and a name found in its folder's
// listing takes its file index from there; a folder named in other letter case than one
// listed already is found through its parents' listings instead of being listed again.
// Whatever the listings cannot settle for certain (links, streams, devices, unusual names,
// folders that cannot be listed) is opened.
class FolderListingIdentifier {
public:
    FolderListingIdentifier();
    ~FolderListingIdentifier();
    FolderListingIdentifier(const FolderListingIdentifier&) = delete;
    FolderListingIdentifier& operator=(const FolderListingIdentifier&) = delete;

    // Volume and file index; size and write time may be left to Complete, since most paths
    // are told apart by their file index alone.
    PathIdentity Identify(const std::wstring& path);
    void Complete(const std::wstring& path, PathIdentity& identity);

private:
    struct Listings;
    std::unique_ptr<Listings> listings_;
};
