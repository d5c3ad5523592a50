#include "payload/path_tokens.h"

#include "actionlog/folder_rights.h"
#include "actionlog/paths_equivalent.h"
#include "install/install_state.h"
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
#include <system_error>
#include <cwchar>
#include <cwctype>

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

bool IsDeviceName(const std::wstring& element)
{
    // Windows takes the name before the first dot, without trailing spaces, for the device.
    std::wstring base = element.substr(0, element.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (wchar_t& c : base)
        c = static_cast<wchar_t>(::towupper(c));
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$"
        || base == L"CONOUT$")
        return true;
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) && base[3] >= L'1'
           && base[3] <= L'9';
}

} // namespace

const char* DestinationFault(const std::wstring& path)
{
    if (path.size() >= MAX_PATH)
        return "makes a path of 260 characters or more";
    std::size_t start = 0;
    if (path.size() >= 3 && ::iswalpha(path[0]) && path[1] == L':' && IsSeparator(path[2]))
        start = 3;
    else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        start = 2;   // \\server\share: both must be plain names
    else
        return "is not an absolute path";
    const std::vector<std::wstring> elements = PathElements(path.substr(start));
    if (start == 2 && elements.size() < 3)
        return "is not an absolute path";
    if (elements.empty())
        return "names no file";
    for (const std::wstring& element : elements) {
        if (element.find_first_not_of(L". ") == std::wstring::npos)
            return "holds a \".\" or \"..\" element";
        for (const wchar_t c : element)
            if (c < 0x20 || std::wcschr(L"<>:\"|?*", c))
                return "holds a character that Windows refuses in names";
        if (IsDeviceName(element))
            return "names a device";
    }
    return nullptr;
}

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

kv::unique_file CreateTemporaryFolder(const std::wstring& folder)
{
    std::vector<BYTE> user = ProcessUserSid();
    AdministratorsOnlyDescriptor descriptor(user.data());
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!::CreateDirectoryW(folder.c_str(), &attributes))
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateDirectory");
    kv::unique_file handle(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        ::RemoveDirectoryW(folder.c_str());
        throw std::system_error(static_cast<int>(error), std::system_category(), "CreateFile");
    }
    return handle;
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
