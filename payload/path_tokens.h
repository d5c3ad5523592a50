// Destination folders of payload entries: the path tokens that stand for folders of the
// target machine ("<InstallPath>", "<CommonData>", ...), the all-users folders that are
// opened to every user, and the per-run temporary folder.
#pragma once

#include "support/unique_resource.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

struct InstallState;

// A folder that Users get full access to when the first file is created in or below it.
struct RightsFolder {
    std::wstring path;
    bool done = false;   // access was granted
    // Existing folders already found not to be this one: asking the file system again for
    // every file written below them would cost more than writing a small file.
    std::set<std::wstring> otherFolders;
};
using RightsFolders = std::vector<RightsFolder>;

// Appends path unless an equivalent path (PathsEquivalent) is already listed.
void RegisterRightsFolder(RightsFolders& folders, const std::wstring& path);

// The path of a shell folder by its CSIDL, or empty text when the shell has none.
using ShellFolderLookup = std::function<std::wstring(int csidl)>;

// SHGetFolderPathW for the current folder (missing folders are not created), owned by
// the installer's current top-level window.
std::wstring ShellFolderPath(int csidl);

// A shell folder, or with useFallback the fallback one when the first has no path.
// Raises compress_errc::unexpected when no path is found.
std::wstring KnownFolder(int csidl, int fallbackCsidl, bool useFallback,
                         const ShellFolderLookup& lookup = ShellFolderPath);

// Joins a folder and a name as one more path component: a "\" goes between them unless
// the folder is empty or already ends with "\", "/" or a drive colon, or the name starts
// with a separator.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// What the expansion of destinations works with during one extraction.
struct DestinationContext {
    std::wstring installFolder;     // "<InstallPath>"
    std::wstring samplesFolder;     // "<SamplePath>": a name on the all-users desktop, or an absolute path
    std::wstring temporaryFolder;   // "<Temporary>"; empty: the installation folder
    RightsFolders rightsFolders;    // filled by the expansion
    ShellFolderLookup shellFolder = ShellFolderPath;
};

// A destination folder with its leading token replaced by the folder it stands for. Only
// a first element that matches a token exactly (case included) is replaced; another
// first element in angle brackets expands to nothing, and a destination without one is
// returned unchanged. Folders reached through "<CommonData>", "<CommonDocuments>" and
// "<CommonDesktop>", and a samples folder named relative to the desktop, are registered
// in context.rightsFolders. Raises compress_errc::unexpected when a shell folder is missing.
std::wstring ExpandDestination(DestinationContext& context, const std::wstring& folder);

// Why a payload file may not be written at path, a destination expanded and joined with
// its file name, or null when it may: the path must be absolute (a drive or a network
// share, then a root separator), hold no element made only of dots (".", "..") and no
// character that Windows refuses in names, stay below MAX_PATH (260) characters, and no
// element may be a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with or
// without an extension). Anything else could write outside the folder its destination
// names, or into a path that no record of the uninstall log names.
const char* DestinationFault(const std::wstring& path);

// Makes the name of this run's temporary folder: the user's temporary folder plus
// "korvane_{" + a new random version-4 UUID in lower case + "}", stored in
// state.temporaryFolder. The folder is not created. On failure returns false with
// errorText as "%08x (%s)": the system error and the function that failed.
bool MakeTemporaryFolderPath(InstallState& state, std::wstring& errorText);

// Creates this run's temporary folder with the access list of AdministratorsOnlyDescriptor,
// so that no process of the user without administrator rights can change what the
// installer later loads from it, and returns a handle that keeps the folder open without
// delete sharing, so that it can be neither renamed nor replaced while the handle lives.
// Raises a std::system_error of the system category when it cannot be created.
kv::unique_file CreateTemporaryFolder(const std::wstring& folder);

// Guard of the per-run temporary folder and the payload files written into it. While it
// exists, Current() refers to it so that the extraction handler can list the files.
// Its destruction removes the listed files, then the folder if it is empty; failures are
// ignored (a file another process holds stays behind).
class TemporaryFiles {
public:
    explicit TemporaryFiles(std::wstring folder);
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    static TemporaryFiles* Current();

    void Add(const std::wstring& path) { files_.push_back(path); }
    const std::vector<std::wstring>& files() const { return files_; }

private:
    std::wstring folder_;
    std::vector<std::wstring> files_;
};
