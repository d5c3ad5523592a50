#include "installation_test_support.h"

#include "actionlog/action_log.h"
#include "actionlog/previous_installation.h"
#include "install/existing_installation.h"
#include "payload/decompression.h"
#include "payload/payload_format.h"
#include "product/languages.h"
#include "product/product_identity.h"
#include "product/version_info.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/version_resource_builder.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>

namespace installation_testing {

using payload_testing::PayloadFile;

namespace {

std::wstring ShellFolder(int csidl)
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)))
        throw std::runtime_error("the shell names no folder " + std::to_string(csidl));
    return folder;
}


// The all-users profile: the public desktop and documents.
std::wstring PublicFolder()
{
    const std::wstring desktop = Folders().publicDesktop;
    return desktop.substr(0, desktop.rfind(L'\\'));
}

void CompareFiles(const std::wstring& root, const testing_support::FileTreeSnapshot& before,
                  const testing_support::FileTreeSnapshot& after, std::vector<std::wstring>& differences)
{
    for (const auto& [path, entry] : before) {
        const auto found = after.find(path);
        if (found == after.end())
            differences.push_back(L"removed " + root + L"\\" + path);
        else if (!(found->second == entry))
            differences.push_back(L"changed " + root + L"\\" + path);
    }
    for (const auto& [path, entry] : after)
        if (!before.count(path))
            differences.push_back(L"added " + root + L"\\" + path);
}

void CompareKeys(const std::wstring& name, const testing_support::RegistryKeySnapshot& before,
                 const testing_support::RegistryKeySnapshot& after, std::vector<std::wstring>& differences)
{
    if (before.exists != after.exists) {
        differences.push_back((after.exists ? L"added key " : L"removed key ") + name);
        return;
    }
    for (const auto& [value, data] : before.values) {
        const auto found = after.values.find(value);
        if (found == after.values.end())
            differences.push_back(L"removed value " + name + L" " + value);
        else if (!(found->second == data))
            differences.push_back(L"changed value " + name + L" " + value);
    }
    for (const auto& [value, data] : after.values)
        if (!before.values.count(value))
            differences.push_back(L"added value " + name + L" " + value);
    const testing_support::RegistryKeySnapshot none;
    std::set<std::wstring> subkeys;
    for (const auto& [subkey, snapshot] : before.subkeys)
        subkeys.insert(subkey);
    for (const auto& [subkey, snapshot] : after.subkeys)
        subkeys.insert(subkey);
    for (const std::wstring& subkey : subkeys) {
        const auto old = before.subkeys.find(subkey);
        const auto now = after.subkeys.find(subkey);
        CompareKeys(name + L"\\" + subkey, old == before.subkeys.end() ? none : old->second,
                    now == after.subkeys.end() ? none : now->second, differences);
    }
}

void RestoreFileTree(const std::wstring& root, const testing_support::FileTreeSnapshot& before)
{
    const testing_support::FileTreeSnapshot now = testing_support::SnapshotFileTree(root);
    std::wstring removed;   // the last folder removed: what lies below it is gone with it
    for (const auto& [path, entry] : now) {
        if (before.count(path) || (!removed.empty() && path.compare(0, removed.size() + 1, removed + L"\\") == 0))
            continue;
        testing_support::RemoveTree(root + L"\\" + path);
        removed = path;
    }
    // Parents come before what they hold.
    for (const auto& [path, entry] : before) {
        const std::wstring full = root + L"\\" + path;
        const auto found = now.find(path);
        if (found != now.end() && found->second == entry)
            continue;
        const bool folder = entry.attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (found != now.end() && folder != ((found->second.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
            testing_support::RemoveTree(full);   // a folder where a file was, or the other way round
        if (folder) {
            ::CreateDirectoryW(full.c_str(), nullptr);
        } else {
            ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            testing_support::WriteFileBytes(full, entry.bytes);
        }
        ::SetFileAttributesW(full.c_str(), entry.attributes);
    }
}

std::wstring LogLine(std::size_t number, const std::wstring& record)
{
    return kv::format(L"%04u:", static_cast<unsigned>(number)) + record + L"\r\n";
}

} // namespace

void PrepareInstallerProcess()
{
    SetProductCode(product::kThisProductCode);
    SetLanguage(kEnglish);
}

ScratchFolder::ScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    for (;;) {
        path_ = kv::format(L"C:\\tavelo-scratch-%lu-%u", ::GetCurrentProcessId(), counter++);
        if (::CreateDirectoryW(path_.c_str(), nullptr))
            return;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create a scratch folder");
    }
}

ScratchFolder::~ScratchFolder()
{
    testing_support::RemoveTree(path_);
}

EmbeddedPayload::EmbeddedPayload(const std::string& compressedPayload)
{
    const std::wstring module = folder_ / L"payload.dll";
    testing_support::WriteModuleWithResource(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE"), module,
                                             MAKEINTRESOURCEW(PayloadArchive::kResourceType),
                                             MAKEINTRESOURCEW(PayloadArchive::kResourceName),
                                             std::vector<std::uint8_t>(compressedPayload.begin(), compressedPayload.end()));
    module_.reset(::LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module_)
        throw std::runtime_error("cannot load the payload module");
    GetLanguageState().resourceModule = module_.get();
}

EmbeddedPayload::~EmbeddedPayload()
{
    GetLanguageState().resourceModule = nullptr;
}

const std::string& DemoArchive()
{
    static const std::string archive = testing_support::ReadFileText(testing_support::BuiltFile(L"TAVELO_DEMO_PAYLOAD"));
    return archive;
}

const std::vector<PayloadFile>& DemoFiles()
{
    static const std::vector<PayloadFile> files = [] {
        payload_testing::ByteCollector collector;
        kv::imemstream stream(DemoArchive().data(), DemoArchive().size());
        DecompressPayload(stream, collector);
        const std::uint64_t headerSize = payload_format::ReadLittleEndian(collector.bytes.data(), 8);
        const PayloadArchive archive = ReadPayloadHeader(collector.bytes.data(), static_cast<std::size_t>(headerSize));
        std::vector<PayloadFile> result;
        std::size_t offset = static_cast<std::size_t>(headerSize);
        for (const PayloadEntry& entry : archive.entries) {
            result.push_back({PayloadFileName(entry.source), entry.destination, entry.kind,
                              collector.bytes.substr(offset, static_cast<std::size_t>(entry.size)), std::nullopt});
            offset += static_cast<std::size_t>(entry.size);
        }
        return result;
    }();
    return files;
}

PayloadFile DemoFile(const std::wstring& name)
{
    for (const PayloadFile& file : DemoFiles())
        if (file.source == name)
            return file;
    throw std::runtime_error("the demo payload holds no " + kv::to_utf8(name));
}

std::wstring UserTemporaryFolder()
{
    wchar_t folder[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder, length > 0 && folder[length - 1] == L'\\' ? length - 1 : length);
}

const MachineFolders& Folders()
{
    static const MachineFolders folders = [] {
        MachineFolders result;
        result.installFolder = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Korvane\\Tavelo 7";
        result.startMenuFolder = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Korvane\\Tavelo 7";
        result.commonData = ShellFolder(CSIDL_COMMON_APPDATA);
        result.userData = ShellFolder(CSIDL_APPDATA);
        result.publicDesktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
        result.samplesFolder = result.publicDesktop + L"\\Tavelo Examples";
        return result;
    }();
    return folders;
}

std::wstring InstalledPath(const PayloadFile& file, const std::wstring& temporaryFolder)
{
    const MachineFolders& folders = Folders();
    const std::pair<const wchar_t*, std::wstring> tokens[] = {
        {L"<InstallPath>", folders.installFolder}, {L"<CommonData>", folders.commonData},
        {L"<UserData>", folders.userData},         {L"<SamplePath>", folders.samplesFolder},
        {L"<Temporary>", temporaryFolder},
    };
    for (const auto& [token, folder] : tokens) {
        const std::wstring text = token;
        if (file.destination.compare(0, text.size(), text) == 0)
            return folder + file.destination.substr(text.size()) + L"\\" + file.source;
    }
    throw std::runtime_error("unknown destination " + kv::to_utf8(file.destination));
}

InstallState StartupState()
{
    InstallState state;
    // Looked up anew: the start-up's own lookup is made once per process, and a test installs
    // more than once.
    PrepareStartupState(state, LookUpInstalledProgram());
    return state;
}

MachineSnapshot SnapshotMachine()
{
    MachineSnapshot snapshot;
    snapshot.programFiles = testing_support::SnapshotFileTree(ShellFolder(CSIDL_PROGRAM_FILES));
    snapshot.programData = testing_support::SnapshotFileTree(Folders().commonData);
    snapshot.publicFolders = testing_support::SnapshotFileTree(PublicFolder());
    snapshot.userMakerFolderExists = Exists(Folders().userData + L"\\Korvane");
    snapshot.userMakerFolder = testing_support::SnapshotFileTree(Folders().userData + L"\\Korvane");
    snapshot.temporary = testing_support::SnapshotFileTree(UserTemporaryFolder());
    snapshot.makerKey = testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane");
    snapshot.uninstallKey = testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    return snapshot;
}

void RestoreMachine(const MachineSnapshot& snapshot)
{
    RestoreFileTree(ShellFolder(CSIDL_PROGRAM_FILES), snapshot.programFiles);
    RestoreFileTree(Folders().commonData, snapshot.programData);
    RestoreFileTree(PublicFolder(), snapshot.publicFolders);
    const std::wstring userMakerFolder = Folders().userData + L"\\Korvane";
    if (snapshot.userMakerFolderExists) {
        ::CreateDirectoryW(userMakerFolder.c_str(), nullptr);
        RestoreFileTree(userMakerFolder, snapshot.userMakerFolder);
    } else {
        testing_support::RemoveTree(userMakerFolder);
    }
    RestoreFileTree(UserTemporaryFolder(), snapshot.temporary);
    if (testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane") != snapshot.makerKey)
        testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Korvane", snapshot.makerKey);
    if (testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath) != snapshot.uninstallKey)
        testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath, snapshot.uninstallKey);
}

std::vector<std::wstring> Differences(const MachineSnapshot& before, const MachineSnapshot& after)
{
    std::vector<std::wstring> differences;
    CompareFiles(ShellFolder(CSIDL_PROGRAM_FILES), before.programFiles, after.programFiles, differences);
    CompareFiles(Folders().commonData, before.programData, after.programData, differences);
    CompareFiles(PublicFolder(), before.publicFolders, after.publicFolders, differences);
    CompareFiles(Folders().userData + L"\\Korvane", before.userMakerFolder, after.userMakerFolder, differences);
    CompareFiles(UserTemporaryFolder(), before.temporary, after.temporary, differences);
    if (before.userMakerFolderExists != after.userMakerFolderExists)
        differences.push_back(L"added or removed " + Folders().userData + L"\\Korvane");
    CompareKeys(L"HKLM\\Software\\Korvane", before.makerKey, after.makerKey, differences);
    CompareKeys(L"HKLM\\" + std::wstring(kUninstallKeyPath), before.uninstallKey, after.uninstallKey, differences);
    return differences;
}

void ExpectInstalledFiles(const std::vector<PayloadFile>& files, const std::wstring& temporaryFolder)
{
    for (const PayloadFile& file : files) {
        const std::wstring path = InstalledPath(file, temporaryFolder);
        if (file.kind == FileKind::TemporaryFile) {
            EXPECT_FALSE(Exists(path)) << kv::to_utf8(path);
            continue;
        }
        const std::vector<std::uint8_t> content = testing_support::ReadFileBytes(path);
        EXPECT_EQ(PayloadCrc32(content.data(), content.size()), PayloadCrc32(file.content.data(), file.content.size()))
            << kv::to_utf8(path);
    }
}

std::vector<std::wstring> RunUninstaller(const std::wstring& uninstaller)
{
    ScratchFolder scratch;
    const std::wstring report = scratch / L"uninstall-report.txt";
    ::SetEnvironmentVariableW(L"TAVELO_DEMO_UNINSTALL_REPORT", report.c_str());

    // The uninstaller hands its work to a copy of itself: a job holds both, so that the
    // test can wait for the last of them to end.
    const kv::unique_handle job(::CreateJobObjectW(nullptr, nullptr));
    std::wstring commandLine = L"\"" + uninstaller + L"\" /Quiet";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool started = job && ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                                 nullptr, scratch.path().c_str(), &startup, &process);
    ::SetEnvironmentVariableW(L"TAVELO_DEMO_UNINSTALL_REPORT", nullptr);
    if (!started) {
        ADD_FAILURE() << "the uninstaller cannot be started";
        return {L"(not started)"};
    }
    const kv::unique_handle processHandle(process.hProcess);
    const kv::unique_handle threadHandle(process.hThread);
    EXPECT_TRUE(::AssignProcessToJobObject(job.get(), processHandle.get()));
    ::ResumeThread(threadHandle.get());
    ::WaitForSingleObject(processHandle.get(), 60000);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the uninstaller hands its work to its copy and ends";
    for (int waited = 0;; waited += 50) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!::QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &accounting,
                                         sizeof accounting, nullptr)
            || accounting.ActiveProcesses == 0)
            break;
        if (waited > 60000) {
            ADD_FAILURE() << "the uninstaller's copy does not end";
            break;
        }
        ::Sleep(50);
    }
    if (!Exists(report)) {
        ADD_FAILURE() << "the uninstaller wrote no report";
        return {L"(no report)"};
    }
    return ReadLines(report);
}

bool ReadUninstallLog(const std::wstring& path, std::wstring& text)
{
    const std::vector<std::uint8_t> bytes = testing_support::ReadFileBytes(path);
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE || bytes.size() % 2 != 0)
        return false;
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    return true;
}

void ExpectedLog::Folders(const std::wstring& folder)
{
    // Every prefix after the drive, from the outermost in.
    std::size_t end = 0;
    do {
        end = folder.find(L'\\', end + 1);
        const std::wstring prefix = folder.substr(0, end);
        if (prefix.size() > 2 && !::PathIsDirectoryW(prefix.c_str())
            && std::find(created_.begin(), created_.end(), prefix) == created_.end()) {
            created_.push_back(prefix);
            Record(ActionKind::FolderCreated, true, prefix);
        }
    } while (end != std::wstring::npos);
}

void ExpectedLog::File(const std::wstring& path, FileKind fileKind, bool done)
{
    Folders(path.substr(0, path.rfind(L'\\')));
    Record(ActionKind::FileInstalled, done, path, FileKindDetail(fileKind));
}

void ExpectedLog::Record(ActionKind kind, bool done, const std::wstring& text, int detail)
{
    lines_.push_back(kv::format(L"%04x:%d -- ", ActionKindNumber(kind) * 256 + (detail & 0xFF), done ? 1 : 0) + text);
}

std::wstring ExpectedLog::Text(const std::wstring& product, const std::wstring& installFolder,
                               const std::wstring& startMenuFolder) const
{
    const std::wstring shortcutLine = L"Shortcut Path : " + startMenuFolder;
    std::wstring text = L"// Uninstall Log File v1\r\n"
                        L"// ############ WARNING: Do not delete or modify this file. ############\r\n"
                        L"// Install " + product + L"\r\n"
                        L"// Install Path : " + installFolder + L"\r\n"
                        L"// " + shortcutLine + L"\r\n"
                        L"// " + std::wstring(shortcutLine.size(), L'-') + L"\r\n";
    for (std::size_t i = 0; i < lines_.size(); ++i)
        text += LogLine(i, lines_[i]);
    return text;
}

testing_support::RegistryValue RegistryString(const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return {REG_SZ, std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

std::map<std::wstring, testing_support::RegistryValue> ExpectedUninstallValues(const std::wstring& installFolder,
                                                                              DWORD language)
{
    const auto string = RegistryString;
    const auto number = [](DWORD value) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
        return testing_support::RegistryValue{REG_DWORD, std::vector<std::uint8_t>(bytes, bytes + sizeof value)};
    };
    return {{L"DisplayName", string(L"Tavelo 7.01j")},
            {L"UninstallString", string(installFolder + L"\\Uninstall.exe")},
            {L"DisplayIcon", string(installFolder + L"\\Tavelo.exe,0")},
            {L"DisplayVersion", string(L"7.1.10.1")},
            {L"Publisher", string(L"Korvane")},
            {L"URLInfoAbout", string(L"https://www.korvane.example/")},
            {L"HelpLink", string(L"https://www.korvane.example/")},
            {L"URLUpdateInfo", string(L"https://www.korvane.example/")},
            {L"HelpTelephone", string(L"+33 9 00 00 10 00")},
            {L"NoModify", number(1)},
            {L"NoRepair", number(1)},
            {L"KvLanguage", number(language)}};
}

std::vector<PayloadFile> OlderDemoProduct()
{
    const auto withContent = [](PayloadFile file, const std::string& content) {
        file.content = content;
        return file;
    };
    PayloadFile mainProgram = DemoFile(L"Tavelo.exe");
    const std::vector<std::uint8_t> program =
        testing_support::ReadFileBytes(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM_701H"));
    mainProgram.content.assign(program.begin(), program.end());
    return {DemoFile(L"DSETUP.dll"),
            DemoFile(L"Tavelo.fr.dll"),
            DemoFile(L"Tavelo.de.dll"),
            DemoFile(L"Uninstall.exe"),
            withContent(DemoFile(L"Settings.kvs"), "settings of 7.01h"),
            DemoFile(L"Brushes.kvl"),
            withContent(DemoFile(L"Sample 01 - Kitchen.tvp"), "kitchen of 7.01h"),
            DemoFile(L"Oak.ktx"),
            mainProgram};
}

bool MarkLogAsWrittenBy701h(const std::wstring& logPath)
{
    std::wstring log;
    const std::wstring newer = L"// Install Tavelo 7.01j\r\n";
    const std::size_t at = ReadUninstallLog(logPath, log) ? log.find(newer) : std::wstring::npos;
    if (at == std::wstring::npos)
        return false;
    log.replace(at, newer.size(), L"// Install Tavelo 7.01h\r\n");
    std::vector<std::uint8_t> bytes(2 + log.size() * sizeof(wchar_t));
    bytes[0] = 0xFF;
    bytes[1] = 0xFE;
    std::memcpy(bytes.data() + 2, log.data(), log.size() * sizeof(wchar_t));
    ::SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    testing_support::WriteFileBytes(logPath, bytes);
    return ::SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE) != FALSE;
}

ExpectedLog ExpectedUpdateLog()
{
    const MachineFolders& folders = Folders();
    const std::wstring korvaneData = folders.commonData + L"\\Korvane";
    ExpectedLog log;
    for (const std::wstring& folder : {folders.installFolder.substr(0, folders.installFolder.rfind(L'\\')),
                                       folders.installFolder, folders.installFolder + L"\\Lang"})
        log.Record(ActionKind::FolderCreated, true, folder);
    for (const std::wstring& folder : {korvaneData, korvaneData + L"\\Tavelo 7"})
        log.Record(ActionKind::FolderCreated, true, folder);
    log.Record(ActionKind::FileInstalled, true, korvaneData + L"\\Tavelo 7\\Settings.kvs", FileKindDetail(FileKind::SharedData));
    log.Record(ActionKind::FileInstalled, true, korvaneData + L"\\Tavelo 7\\Brushes.kvl", FileKindDetail(FileKind::SharedData));
    log.Record(ActionKind::FolderCreated, true, folders.samplesFolder);
    log.Record(ActionKind::FileInstalled, true, folders.samplesFolder + L"\\Sample 01 - Kitchen.tvp", FileKindDetail(FileKind::SampleData));
    log.Record(ActionKind::FolderCreated, true, korvaneData + L"\\Textures");
    log.Record(ActionKind::FolderCreated, true, korvaneData + L"\\Textures\\Tavelo 7");
    log.Record(ActionKind::FileInstalled, true, korvaneData + L"\\Textures\\Tavelo 7\\Oak.ktx", FileKindDetail(FileKind::SampleData));
    log.Record(ActionKind::FolderCreated, true, folders.startMenuFolder.substr(0, folders.startMenuFolder.rfind(L'\\')));
    log.Record(ActionKind::FolderCreated, true, folders.startMenuFolder);
    log.Record(ActionKind::DirectXUpdate, true, kDirectXText);

    for (const PayloadFile& file : DemoFiles()) {
        if (file.kind == FileKind::TemporaryFile || file.kind == FileKind::SampleData
            || (file.kind == FileKind::SharedData && (file.source == L"Settings.kvs" || file.source == L"Brushes.kvl")))
            continue;
        log.File(InstalledPath(file, {}), file.kind);
    }
    log.Record(ActionKind::ProgramShortcut, true, folders.startMenuFolder + L"\\Tavelo 7.01j.lnk");
    log.Record(ActionKind::UninstallShortcut, true, folders.startMenuFolder + L"\\Uninstall Tavelo.lnk");
    log.Record(ActionKind::DesktopShortcut, true, folders.publicDesktop + L"\\Tavelo 7.01j.lnk");
    log.Record(ActionKind::UninstallKey, true, kUninstallKeyText);
    log.Record(ActionKind::ProductRegistration, true, L"HKEY_CLASSES_ROOT\\...");
    return log;
}

std::vector<std::wstring> ReadLines(const std::wstring& path)
{
    std::vector<std::wstring> lines;
    if (!Exists(path))
        return lines;
    std::istringstream content(testing_support::ReadFileText(path));
    for (std::string line; std::getline(content, line);)
        lines.push_back(kv::from_utf8(line));
    return lines;
}

} // namespace installation_testing
