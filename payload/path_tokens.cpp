#include "payload/path_tokens.h"

#include "actionlog/paths_equivalent.h"
#include "app/install_state.h"
#include "payload/compress_error.h"
#include "support/strings.h"
#include "support/system_library.h"

#include <windows.h>
#include <bcrypt.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <boost/filesystem/operations.hpp>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Tokens that stand for a shell folder.
struct ShellFolderToken {
    const wchar_t* text;
    int csidl;
    int fallbackCsidl;   // 0: none
    bool registersRights;
};

constexpr ShellFolderToken kShellFolderTokens[] = {
    {L"<ProgramFiles>", CSIDL_PROGRAM_FILES, 0, false},
    {L"<ProgramCommon>", CSIDL_PROGRAM_FILES_COMMON, 0, false},
    {L"<CommonData>", CSIDL_COMMON_APPDATA, CSIDL_APPDATA, true},
    {L"<UserData>", CSIDL_APPDATA, 0, false},
    {L"<CommonDocuments>", CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL, true},
    {L"<Documents>", CSIDL_PERSONAL, 0, false},
    {L"<CommonDesktop>", CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true},
    {L"<Desktop>", CSIDL_DESKTOPDIRECTORY, 0, false},
    {L"<WinDir>", CSIDL_WINDOWS, 0, false},
    {L"<System>", CSIDL_SYSTEM, 0, false},
};

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// The elements of a relative path; doubled and trailing separators make no element.
std::vector<std::wstring> PathElements(const std::wstring& folder)
{
    std::vector<std::wstring> elements;
    std::size_t start = 0;
    while (start < folder.size()) {
        std::size_t end = start;
        while (end < folder.size() && !IsSeparator(folder[end]))
            ++end;
        if (end > start)
            elements.push_back(folder.substr(start, end - start));
        start = end + 1;
    }
    return elements;
}

BOOL CALLBACK TakeFirstWindow(HWND found, LPARAM result)
{
    *reinterpret_cast<HWND*>(result) = found;
    return FALSE;
}

// The installer's current top-level window: the last active pop-up of the root owner of
// the active window, or of a window of this thread when none is active.
HWND OwnerWindow()
{
    HWND window = ::GetActiveWindow();
    if (!window) {
        ::EnumThreadWindows(::GetCurrentThreadId(), TakeFirstWindow, reinterpret_cast<LPARAM>(&window));
    }
    if (!window)
        return nullptr;
    const HWND root = ::GetAncestor(window, GA_ROOTOWNER);
    return ::GetLastActivePopup(root ? root : window);
}

bool IsAbsolute(const std::wstring& path)
{
    const boost::filesystem::path p(path);
    return p.has_root_name() && p.has_root_directory();
}

// 16 bytes from the system's cryptographic random generator. bcrypt.dll is bound at run
// time; should it be unusable, the CryptoAPI generator takes its place.
std::array<unsigned char, 16> RandomBytes()
{
    std::array<unsigned char, 16> bytes{};
    using GenRandom = NTSTATUS WINAPI(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    static GenRandom* const genRandom = kv::system_function<GenRandom>(L"bcrypt.dll", "BCryptGenRandom");
    if (genRandom
        && genRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
        return bytes;
    const boost::uuids::uuid fallback = boost::uuids::random_generator()();
    std::memcpy(bytes.data(), fallback.data, bytes.size());
    return bytes;
}

// A random version-4 UUID in lower case, 8-4-4-4-12 hexadecimal digits.
std::wstring NewUuidText()
{
    std::array<unsigned char, 16> bytes = RandomBytes();
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);   // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);   // RFC 4122 variant
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += L'-';
        text += kv::format(L"%02x", bytes[i]);
    }
    return text;
}

} // namespace

void RegisterRightsFolder(RightsFolders& folders, const std::wstring& path)
{
    // The same text first: it is what most entries name, and it needs no file-system query.
    for (const RightsFolder& folder : folders)
        if (folder.path == path)
            return;
    for (const RightsFolder& folder : folders)
        if (PathsEquivalent(folder.path, path))
            return;
    folders.push_back({path, false});
}

std::wstring ShellFolderPath(int csidl)
{
    wchar_t buffer[MAX_PATH] = {};
    // The status is not looked at: a folder is found when the buffer holds a path.
    ::SHGetFolderPathW(OwnerWindow(), csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return buffer;
}

std::wstring KnownFolder(int csidl, int fallbackCsidl, bool useFallback, const ShellFolderLookup& lookup)
{
    std::wstring path = lookup(csidl);
    if (path.empty() && useFallback)
        path = lookup(fallbackCsidl);
    if (path.empty())
        throw_compress_error(compress_errc::unexpected);
    return path;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty())
        return name;
    const wchar_t last = folder.back();
    if (IsSeparator(last) || last == L':' || (!name.empty() && IsSeparator(name.front())))
        return folder + name;
    return folder + L'\\' + name;
}

std::wstring ExpandDestination(DestinationContext& context, const std::wstring& folder)
{
    // An absolute path, a plain relative path or an empty text cannot start with a token.
    if (folder.empty() || folder.front() != L'<')
        return folder;
    const std::vector<std::wstring> elements = PathElements(folder);
    const std::wstring& first = elements.front();
    if (first.back() != L'>')
        return folder;

    std::wstring result;
    bool registersRights = false;
    if (first == L"<InstallPath>") {
        result = context.installFolder;
    } else if (first == L"<SamplePath>") {
        if (context.samplesFolder.empty()) {
            result = KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true, context.shellFolder);
        } else if (IsAbsolute(context.samplesFolder)) {
            result = context.samplesFolder;
        } else {
            result = JoinPath(
                KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true, context.shellFolder),
                context.samplesFolder);
            RegisterRightsFolder(context.rightsFolders, result);
        }
    } else if (first == L"<Temporary>") {
        result = context.temporaryFolder.empty() ? context.installFolder : context.temporaryFolder;
    } else {
        const auto token = std::find_if(std::begin(kShellFolderTokens), std::end(kShellFolderTokens),
                                        [&](const ShellFolderToken& t) { return first == t.text; });
        if (token != std::end(kShellFolderTokens)) {
            result = KnownFolder(token->csidl, token->fallbackCsidl, token->fallbackCsidl != 0, context.shellFolder);
            registersRights = token->registersRights;
        }
        // Any other name in angle brackets expands to nothing.
    }

    for (std::size_t i = 1; i < elements.size(); ++i) {
        result = JoinPath(result, elements[i]);
        if (registersRights)
            RegisterRightsFolder(context.rightsFolders, result);
    }
    return result;
}

bool MakeTemporaryFolderPath(InstallState& state, std::wstring& errorText)
{
    wchar_t buffer[MAX_PATH] = {};
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    // Up to 246 code units leave room for the folder name within MAX_PATH.
    if (length == 0 || length > 246) {
        DWORD error = ::GetLastError();
        if (error == ERROR_SUCCESS)
            error = ERROR_INSUFFICIENT_BUFFER;   // too long a path fails without an error of its own
        errorText = kv::format(L"%08x (%ls)", error, L"GetTempPath");
        return false;
    }
    const std::wstring name = L"korvane_{" + NewUuidText() + L"}";
    if (!::PathAppendW(buffer, name.c_str())) {
        errorText = kv::format(L"%08x (%ls)", static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), L"PathAppend");
        return false;
    }
    state.temporaryFolder = buffer;
    return true;
}

namespace {
TemporaryFiles* currentTemporaryFiles = nullptr;
}

TemporaryFiles::TemporaryFiles(std::wstring folder) : folder_(std::move(folder))
{
    currentTemporaryFiles = this;
}

TemporaryFiles::~TemporaryFiles()
{
    if (currentTemporaryFiles == this)
        currentTemporaryFiles = nullptr;
    boost::system::error_code ignored;
    for (const std::wstring& file : files_)
        boost::filesystem::remove(file, ignored);
    // Succeeds only when the folder is empty.
    boost::filesystem::remove(folder_, ignored);
}

TemporaryFiles* TemporaryFiles::Current()
{
    return currentTemporaryFiles;
}
