// The demo product that the build packs in place of the real product's files.
#include "payload/decompression.h"
#include "payload/payload_archive.h"
#include "payload/payload_format.h"
#include "product/version_info.h"
#include "program_runner.h"
#include "support/pe_imports.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <map>
#include <set>

using tools_testing::Quoted;
using tools_testing::RunProgram;

namespace {

constexpr wchar_t kInstanceSemaphore[] = L"Global\\Tavelo7.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

// The demo payload's header, read from the archive the build packed.
PayloadArchive DemoPayloadHeader(std::uint64_t* totalBytes = nullptr)
{
    const std::string archive = testing_support::ReadFileText(testing_support::BuiltFile(L"TAVELO_DEMO_PAYLOAD"));
    kv::imemstream stream(archive.data(), archive.size());
    struct HeaderCollector {
        std::string bytes;
        std::uint64_t total = 0;
        std::size_t write(const char* data, std::size_t count)
        {
            if (bytes.size() < 16384)
                bytes.append(data, std::min<std::size_t>(count, 16384 - bytes.size()));
            total += count;
            return count;
        }
    } collector;
    DecompressPayload(stream, collector);
    if (totalBytes)
        *totalBytes = collector.total;
    const std::uint64_t headerSize = payload_format::ReadLittleEndian(collector.bytes.data(), 8);
    return ReadPayloadHeader(collector.bytes.data(), static_cast<std::size_t>(headerSize));
}

TEST(DemoPayload, HoldsSeventyOneFilesWithTheProductsCountsByKind)
{
    std::uint64_t total = 0;
    const PayloadArchive archive = DemoPayloadHeader(&total);
    ASSERT_EQ(archive.entries.size(), 71u);
    EXPECT_EQ(archive.TotalSize(), total);
    EXPECT_GT(total, 27'000'000u);
    EXPECT_LT(total, 30'000'000u);

    std::map<FileKind, int> counts;
    std::set<std::wstring> destinations;
    for (const PayloadEntry& entry : archive.entries) {
        ++counts[entry.kind];
        destinations.insert(entry.destination);
    }
    EXPECT_EQ(counts, (std::map<FileKind, int>{{FileKind::LanguageLibrary, 13}, {FileKind::MainProgram, 1},
                                               {FileKind::Uninstaller, 1}, {FileKind::SharedData, 22},
                                               {FileKind::SampleData, 28}, {FileKind::TemporaryFile, 6}}));
    EXPECT_EQ(destinations,
              (std::set<std::wstring>{L"<Temporary>", L"<InstallPath>", L"<InstallPath>\\Lang",
                                      L"<CommonData>\\Korvane\\Tavelo 7", L"<CommonData>\\Korvane\\Materials",
                                      L"<UserData>\\Korvane\\Tavelo 7", L"<SamplePath>",
                                      L"<CommonData>\\Korvane\\Textures\\Tavelo 7"}));

    std::vector<std::wstring> temporary;
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(archive.entries[i].kind, FileKind::TemporaryFile);
        EXPECT_EQ(archive.entries[i].destination, L"<Temporary>");
        temporary.push_back(PayloadFileName(archive.entries[i].source));
    }
    EXPECT_EQ(temporary, (std::vector<std::wstring>{L"DSETUP.dll", L"dsetup32.dll", L"dxdllreg_x86.cab",
                                                    L"dxupdate.cab", L"Jun2010_D3DCompiler_43_x86.cab",
                                                    L"Jun2010_d3dx9_43_x86.cab"}));
    EXPECT_EQ(archive.entries.back().kind, FileKind::MainProgram);
    EXPECT_EQ(PayloadFileName(archive.entries.back().source), L"Tavelo.exe");
    for (const PayloadEntry& entry : archive.entries) {
        if (entry.kind == FileKind::Uninstaller) {
            EXPECT_EQ(PayloadFileName(entry.source), L"Uninstall.exe");
        }
        if (entry.kind == FileKind::LanguageLibrary) {
            EXPECT_EQ(PayloadFileName(entry.source).substr(0, 7), L"Tavelo.");
        }
    }
}

TEST(DemoPayload, PackerListsAndVerifiesIt)
{
    const std::wstring packer = Quoted(testing_support::BuiltFile(L"TAVELO_PACKER"));
    const std::wstring archive = Quoted(testing_support::BuiltFile(L"TAVELO_DEMO_PAYLOAD"));
    const auto listed = RunProgram(packer + L" list " + archive);
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.output.find("entries: 71\nby kind: LanguageLibrary 13, MainProgram 1, Uninstaller 1, "
                                 "SharedData 22, SampleData 28, TemporaryFile 6\n"),
              std::string::npos)
        << listed.output;
    const auto verified = RunProgram(packer + L" verify " + archive);
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    EXPECT_EQ(verified.output.rfind("OK: 71 files, ", 0), 0u) << verified.output;
}

TEST(DemoPayload, InstallerEmbedsItAsResource260Named134)
{
    const std::wstring installer = testing_support::BuiltFile(L"TAVELO_INSTALLER");
    kv::unique_module module(
        ::LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    const HRSRC found = ::FindResourceW(module.get(), MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260));
    ASSERT_NE(found, nullptr);
    const std::string embedded(static_cast<const char*>(::LockResource(::LoadResource(module.get(), found))),
                               ::SizeofResource(module.get(), found));
    EXPECT_EQ(embedded, testing_support::ReadFileText(testing_support::BuiltFile(L"TAVELO_DEMO_PAYLOAD")));

    for (const std::string& dll : testing_support::ImportedDlls(installer))
        EXPECT_NE(dll, "bcrypt.dll") << "the random generator is bound at run time";
}

TEST(DemoMainProgram, CarriesTheProductsVersionResource)
{
    const VersionInfo current(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM"));
    EXPECT_EQ(current.FileVersion(), 0x00070001000A0001ull);
    EXPECT_EQ(current.StringValue(L"ApplicationId"), L"Tavelo7");
    EXPECT_EQ(current.ProductName(), L"Tavelo");
    EXPECT_EQ(current.StringValue(L"ProductVersion"), L"7.01j");
    EXPECT_EQ(current.ProductNameWithVersion(), L"Tavelo 7.01j");

    const VersionInfo older(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM_701H"));
    EXPECT_EQ(older.FileVersion(), 0x0007000100090001ull);
    EXPECT_EQ(older.StringValue(L"ApplicationId"), L"Tavelo7");
    EXPECT_EQ(older.ProductNameWithVersion(), L"Tavelo 7.01h");
}

TEST(DemoMainProgram, RegistrationRunEndsWithMinusTenAndIsRecorded)
{
    testing_support::TemporaryFolder folder;
    const std::wstring record = folder / L"starts.txt";
    ::SetEnvironmentVariableW(L"TAVELO_DEMO_RECORD", record.c_str());
    const std::wstring program = Quoted(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM"));
    const auto registration = RunProgram(program + L" /Register /Background");
    ::SetEnvironmentVariableW(L"TAVELO_DEMO_RECORD", nullptr);
    EXPECT_EQ(registration.exitCode, -10);
    EXPECT_EQ(testing_support::ReadFileText(record), kv::to_utf8(program) + " /Register /Background\n");
}

// Counts the units of the instance semaphore, as the installer does.
LONG InstanceCount(HANDLE semaphore)
{
    LONG previous = 0;
    if (!::ReleaseSemaphore(semaphore, 1, &previous))
        return -1;
    ::WaitForSingleObject(semaphore, 0);
    return previous;
}

TEST(DemoMainProgram, HoldsTheInstanceSemaphoreWhileItRuns)
{
    kv::unique_handle semaphore(::CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, kInstanceSemaphore));
    ASSERT_TRUE(semaphore);
    ASSERT_EQ(InstanceCount(semaphore.get()), 0) << "another process of the product is running";

    std::wstring commandLine = Quoted(testing_support::BuiltFile(L"TAVELO_DEMO_MAIN_PROGRAM"));
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    kv::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForInputIdle(process.hProcess, 10000);

    // The window shows once the unit is held.
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        ::Sleep(50);
        window = ::FindWindowW(L"TaveloDemoWindow", nullptr);
    }
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(InstanceCount(semaphore.get()), 1);

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(InstanceCount(semaphore.get()), 0) << "the unit is given back at the end";
}

TEST(DemoLanguageLibraries, ThirteenLibrariesWithResourcesOnly)
{
    const std::wstring folder = testing_support::BuiltFile(L"TAVELO_DEMO_LANGUAGES");
    const std::pair<const wchar_t*, const wchar_t*> languages[] = {
        {L"fr", L"Français"}, {L"de", L"Deutsch"}, {L"es", L"Español"}, {L"it", L"Italiano"},
        {L"pt", L"Português"}, {L"nl", L"Nederlands"}, {L"el", L"Ελληνικά"}, {L"tr", L"Türkçe"},
        {L"ro", L"Română"}, {L"zh", L"中文(简体)"}, {L"he", L"עברית"}, {L"vi", L"Tiếng Việt"},
        {L"hu", L"Magyar"}};
    for (const auto& [code, name] : languages) {
        const std::wstring path = folder + L"\\Tavelo." + code + L".dll";
        EXPECT_TRUE(testing_support::ImportedDlls(path).empty()) << kv::to_utf8(path) << " holds code";
        kv::unique_module module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module) << kv::to_utf8(path);
        wchar_t text[64] = {};
        ::LoadStringW(module.get(), 2, text, 64);
        EXPECT_STREQ(text, name);
    }
}

std::vector<DWORD> callbackReasons;

DWORD WINAPI RecordingCallback(DWORD reason, DWORD, LPSTR, LPSTR, void*)
{
    callbackReasons.push_back(reason);
    return IDOK;
}

TEST(DemoDirectXSetup, ReportsWhatTheEnvironmentSaysAndRecordsItsCalls)
{
    testing_support::TemporaryFolder folder;
    const std::wstring log = folder / L"dsetup.log";
    ::SetEnvironmentVariableW(L"TAVELO_DSETUP_LOG", log.c_str());
    ::SetEnvironmentVariableW(L"TAVELO_DSETUP_REVISION", L"902");
    ::SetEnvironmentVariableW(L"TAVELO_DSETUP_RESULT", L"1");

    kv::unique_module library(::LoadLibraryW(testing_support::BuiltFile(L"TAVELO_DEMO_DSETUP").c_str()));
    ASSERT_TRUE(library);
    using GetVersion = INT WINAPI(DWORD*, DWORD*);
    using Callback = DWORD WINAPI(DWORD, DWORD, LPSTR, LPSTR, void*);
    using SetCallback = INT WINAPI(Callback*);
    using Setup = INT WINAPI(HWND, LPWSTR, DWORD);
    auto* getVersion = reinterpret_cast<GetVersion*>(::GetProcAddress(library.get(), "DirectXSetupGetVersion"));
    auto* setCallback = reinterpret_cast<SetCallback*>(::GetProcAddress(library.get(), "DirectXSetupSetCallback"));
    auto* setup = reinterpret_cast<Setup*>(::GetProcAddress(library.get(), "DirectXSetupW"));
    ASSERT_TRUE(getVersion && setCallback && setup);

    DWORD version = 0, revision = 0;
    EXPECT_EQ(getVersion(&version, &revision), 1);
    EXPECT_EQ(version, 0x00040009u);
    EXPECT_EQ(revision, 902u);

    callbackReasons.clear();
    EXPECT_EQ(setCallback(RecordingCallback), 0);
    wchar_t setupFolder[] = L"C:\\users\\me\\Temp\\korvane_{x}";
    EXPECT_EQ(setup(reinterpret_cast<HWND>(0x1234), setupFolder, 0x00010018), 1);
    EXPECT_EQ(callbackReasons, (std::vector<DWORD>{18, 18, 18}));

    ::SetEnvironmentVariableW(L"TAVELO_DSETUP_LOG", nullptr);
    ::SetEnvironmentVariableW(L"TAVELO_DSETUP_REVISION", nullptr);
    ::SetEnvironmentVariableW(L"TAVELO_DSETUP_RESULT", nullptr);
    EXPECT_EQ(getVersion(&version, &revision), 1);
    EXPECT_EQ(revision, 904u) << "a revision the installer accepts, by default";

    EXPECT_EQ(testing_support::ReadFileText(log), "DirectXSetupGetVersion -> 1\n"
                             "DirectXSetupSetCallback callback\n"
                             "DirectXSetupW owner=0x00001234 folder=C:\\users\\me\\Temp\\korvane_{x} flags=0x00010018\n"
                             "callback reason=18 answer=1\n"
                             "callback reason=18 answer=1\n"
                             "callback reason=18 answer=1\n"
                             "DirectXSetupW -> 1\n");
}

} // namespace
