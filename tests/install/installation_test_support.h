// Whole installations in a test program: the payload embedded where the installer finds
// it, the state start-up would make, the machine before and after, the demo uninstaller.
#pragma once

#include "install/install_state.h"
#include "payload/payload_test_support.h"
#include "support/file_tree_snapshot.h"
#include "support/registry_snapshot.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace installation_testing {

// Makes this process an installer for the texts and the registry: the product code 775
// and English texts.
void PrepareInstallerProcess();

// A folder for the test's own files outside every folder an installation touches (so that
// they never show in a machine snapshot), removed with what it holds when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A payload archive where OpenPayloadStream finds it: resource 260/134 of a module that
// becomes the language state's resource module for the life of the object.
class EmbeddedPayload {
public:
    explicit EmbeddedPayload(const std::string& compressedPayload);
    ~EmbeddedPayload();
    EmbeddedPayload(const EmbeddedPayload&) = delete;
    EmbeddedPayload& operator=(const EmbeddedPayload&) = delete;

private:
    ScratchFolder folder_;
    kv::unique_module module_;
};

// The demo payload the build packed, compressed, and its files in payload order (read once).
const std::string& DemoArchive();
const std::vector<payload_testing::PayloadFile>& DemoFiles();
// The demo file of that name.
payload_testing::PayloadFile DemoFile(const std::wstring& name);

// The folders of this machine that the demo payload and the installation use.
struct MachineFolders {
    std::wstring installFolder;     // C:\Program Files\Korvane\Tavelo 7
    std::wstring startMenuFolder;   // all users' Start-menu programs + \Korvane\Tavelo 7
    std::wstring commonData;        // C:\ProgramData
    std::wstring userData;          // the user's roaming application data
    std::wstring publicDesktop;     // C:\users\Public\Desktop
    std::wstring samplesFolder;     // publicDesktop + \Tavelo Examples
};
const MachineFolders& Folders();
// The user's temporary folder, without a trailing separator.
std::wstring UserTemporaryFolder();

// Where a payload file lands, its destination's token expanded.
std::wstring InstalledPath(const payload_testing::PayloadFile& file, const std::wstring& temporaryFolder);

// The state start-up makes on this machine (PrepareStartupState), with the installed program
// looked up now.
InstallState StartupState();

// What an installation may change: the program files, the all-users data and profile,
// the maker's folder of the user, the user's temporary folder, the maker's key and the list
// of installed programs. (The user's own profile folders are not read: under Wine they are
// links to the Unix home folder.)
struct MachineSnapshot {
    testing_support::FileTreeSnapshot programFiles;
    testing_support::FileTreeSnapshot programData;
    testing_support::FileTreeSnapshot publicFolders;
    bool userMakerFolderExists = false;
    testing_support::FileTreeSnapshot userMakerFolder;
    testing_support::FileTreeSnapshot temporary;
    testing_support::RegistryKeySnapshot makerKey;
    testing_support::RegistryKeySnapshot uninstallKey;
};
MachineSnapshot SnapshotMachine();
// Puts the machine back as the snapshot holds it: what was added since is removed, what
// was removed or changed is written back with its bytes and attributes, the two keys are
// restored. Lets tests that change the machine run one after the other on the same one.
void RestoreMachine(const MachineSnapshot& snapshot);
// The files, folders and keys that differ, by name; empty when the snapshots are the same.
std::vector<std::wstring> Differences(const MachineSnapshot& before, const MachineSnapshot& after);

// The files of the payload that an installation leaves on the machine hold their content
// (compared by CRC-32); its temporary files are gone.
void ExpectInstalledFiles(const std::vector<payload_testing::PayloadFile>& files, const std::wstring& temporaryFolder);

// Runs the installed uninstaller with /Quiet and waits for it and the copy it starts to
// end. Returns the items it reported as not removed.
std::vector<std::wstring> RunUninstaller(const std::wstring& uninstaller);

// The uninstall log's bytes decoded: false when it lacks its byte-order mark.
bool ReadUninstallLog(const std::wstring& path, std::wstring& text);

// The uninstall log a test expects, built record by record: the folder records that the
// installation will make are those of folders missing when they are named.
class ExpectedLog {
public:
    // Folder records for the missing folders of folder, outermost first.
    void Folders(const std::wstring& folder);
    // A file record after the folder records of its folder.
    void File(const std::wstring& path, FileKind fileKind, bool done = true);
    // A record as it is, without folder records (detail -1 gives the byte 0xFF).
    void Record(ActionKind kind, bool done, const std::wstring& text, int detail = -1);

    // The whole file: byte-order mark, six header lines, the records.
    std::wstring Text(const std::wstring& product, const std::wstring& installFolder,
                      const std::wstring& startMenuFolder) const;

private:
    std::vector<std::wstring> lines_;    // without numbers
    std::vector<std::wstring> created_;  // folders the installation will create
};

// The text of the DirectX step and of the uninstall entry's record.
inline constexpr wchar_t kDirectXText[] = L"Mise \u00e0 jour de DirectX...";
inline constexpr wchar_t kUninstallKeyText[] =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

// A REG_SZ value as the registry gives it back, its terminating null included.
testing_support::RegistryValue RegistryString(const std::wstring& text);

// The values of the uninstall entry of an installation of the demo product into that folder,
// with their types and sizes.
std::map<std::wstring, testing_support::RegistryValue> ExpectedUninstallValues(const std::wstring& installFolder,
                                                                              DWORD language = 1);

// The demo product's version 7.01h: its own main program, a shared settings file and a
// sample of its own content, and a few files 7.01j has too.
std::vector<payload_testing::PayloadFile> OlderDemoProduct();
// The 7.01h installer names its own version in the log's third line: makes the log of an
// installation of OlderDemoProduct() say so. False when the log is not as expected.
bool MarkLogAsWrittenBy701h(const std::wstring& logPath);
// The log of 7.01j installed in quick mode over OlderDemoProduct(): what the earlier log
// leaves after the merge (its folders, the shared files and samples the update does not
// touch, its DirectX step), then the update's own records.
ExpectedLog ExpectedUpdateLog();

using testing_support::Exists;
// Lines of a UTF-8 text file (the demo programs' records), or none when it is missing.
std::vector<std::wstring> ReadLines(const std::wstring& path);

} // namespace installation_testing
