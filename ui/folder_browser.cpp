#include "ui/folder_browser.h"

#include "ui/messages.h"

#include <shlwapi.h>

#include <vector>

namespace {

// The components of a path, without the empty ones that doubled or trailing backslashes
// leave ("C:", "Program Files", "Tavelo 7").
std::vector<std::wstring> Components(const wchar_t* path)
{
    std::vector<std::wstring> components;
    std::wstring current;
    for (const wchar_t* c = path; *c; ++c) {
        if (*c == L'\\') {
            if (!current.empty())
                components.push_back(std::move(current));
            current.clear();
        } else {
            current += *c;
        }
    }
    if (!current.empty())
        components.push_back(std::move(current));
    return components;
}

// Copies text into a buffer of MAX_PATH characters; false when it does not fit.
bool CopyPath(wchar_t (&buffer)[MAX_PATH], const std::wstring& text)
{
    if (text.size() >= MAX_PATH)
        return false;
    ::lstrcpynW(buffer, text.c_str(), MAX_PATH);
    return true;
}

// Only characters that may stand in a path, and no wildcard.
bool IsValidPathText(const std::wstring& text)
{
    for (const wchar_t c : text) {
        const UINT type = ::PathGetCharTypeW(c);
        if (type == GCT_INVALID || (type & GCT_WILD))
            return false;
    }
    return true;
}

BOOL CALLBACK FindEditBox(HWND window, LPARAM found)
{
    wchar_t className[16] = L"";
    if (::GetClassNameW(window, className, 16) && ::lstrcmpiW(className, L"Edit") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring DocumentsFolder()
{
    kv::unique_cotask_ptr<wchar_t> path;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, path.put())))
        return {};
    return path.get();
}

// Makes the folder current for the life of the object, and the earlier one current again.
class CurrentFolderScope {
public:
    CurrentFolderScope() = default;
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;
    ~CurrentFolderScope()
    {
        if (!previous_.empty())
            ::SetCurrentDirectoryW(previous_.c_str());
    }

    // 0, or the error of the call that failed.
    DWORD Enter(const std::wstring& folder)
    {
        wchar_t previous[MAX_PATH] = L"";
        const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, previous);
        if (length == 0 || length >= MAX_PATH)
            return ::GetLastError();
        if (!::SetCurrentDirectoryW(folder.c_str()))
            return ::GetLastError();
        previous_ = previous;
        return 0;
    }

private:
    std::wstring previous_;
};

} // namespace

int TrailingMatch(const std::wstring& path, const std::wstring& tail)
{
    wchar_t pathBuffer[MAX_PATH];
    wchar_t tailBuffer[MAX_PATH];
    if (!CopyPath(pathBuffer, path) || !CopyPath(tailBuffer, tail))
        return 0;
    ::PathRemoveBackslashW(pathBuffer);
    ::PathRemoveBackslashW(tailBuffer);

    const std::vector<std::wstring> pathParts = Components(pathBuffer);
    const std::vector<std::wstring> tailParts = Components(tailBuffer);
    if (tailParts.empty() || pathParts.size() <= tailParts.size())
        return 0;
    for (std::size_t i = 1; i <= tailParts.size(); ++i)
        if (::lstrcmpiW(pathParts[pathParts.size() - i].c_str(), tailParts[tailParts.size() - i].c_str()) != 0)
            return 0;
    return static_cast<int>(tailParts.size());
}

std::optional<std::wstring> RelativeFolderPath(const std::wstring& base, const std::wstring& folder)
{
    wchar_t relative[MAX_PATH] = L"";
    if (!::PathRelativePathToW(relative, base.c_str(), FILE_ATTRIBUTE_DIRECTORY, folder.c_str(),
                               FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    std::wstring result = relative;
    if (result == L".")
        return std::wstring();
    // Only the leading ".\" goes: the system's canonical form would also drop leading ".."
    // steps and so name another folder.
    if (result.rfind(L".\\", 0) == 0)
        result.erase(0, 2);
    return result;
}

FolderBrowser::FolderBrowser(std::wstring title, int rootFolder) : title_(std::move(title))
{
    // Without its root (a failure leaves none) the dialog shows the whole namespace.
    if (rootFolder >= 0)
        ::SHGetSpecialFolderLocation(nullptr, rootFolder, root_.put());
    wchar_t path[MAX_PATH] = L"";
    if (root_ && ::SHGetPathFromIDListW(root_.get(), path) && ::PathRemoveFileSpecW(path))
        rootParentPath_ = path;
}

FolderBrowser::~FolderBrowser()
{
    if (flags_ & kComInitialized)
        ::CoUninitialize();
}

std::wstring FolderBrowser::RelativePath() const
{
    if (rootParentPath_.empty())
        return path_;
    return RelativeFolderPath(rootParentPath_, path_).value_or(path_);
}

void FolderBrowser::SetStart(const std::wstring& initialPath, const std::wstring& suffix)
{
    path_ = ::PathIsRelativeW(initialPath.c_str()) ? std::wstring() : initialPath;
    if (path_.empty() && root_) {
        wchar_t rootPath[MAX_PATH] = L"";
        if (::SHGetPathFromIDListW(root_.get(), rootPath))
            path_ = rootPath;
    }
    if (path_.empty())
        path_ = DocumentsFolder();
    if (!path_.empty() && path_.back() == L':')
        path_ += L'\\';
    suffix_ = IsValidPathText(suffix) ? suffix : std::wstring();
    ApplySuffix();
}

void FolderBrowser::ApplySuffix()
{
    if (!suffix_.empty() && TrailingMatch(path_, suffix_) == 0) {
        // A path that ends with the first components of the suffix gets only the rest.
        std::wstring rest = suffix_;
        wchar_t shortened[MAX_PATH];
        if (CopyPath(shortened, suffix_)) {
            while (::PathRemoveFileSpecW(shortened) && *shortened) {
                if (const int matched = TrailingMatch(path_, shortened)) {
                    const wchar_t* remaining = rest.c_str();
                    for (int i = 0; i < matched && remaining; ++i)
                        remaining = ::PathFindNextComponentW(remaining);
                    rest = remaining ? remaining : L"";
                    break;
                }
            }
        }
        wchar_t joined[MAX_PATH];
        if (CopyPath(joined, path_) && ::PathAppendW(joined, rest.c_str()))
            path_ = joined;
    }
    if (!rootParentPath_.empty()) {
        if (std::optional<std::wstring> relative = RelativeFolderPath(rootParentPath_, path_))
            path_ = *relative;
    }
}

bool FolderBrowser::AcceptTypedPath(HWND dialog, const std::wstring& text)
{
    DWORD error = ERROR_BAD_PATHNAME;
    wchar_t full[MAX_PATH] = L"";
    const bool qualified = [&] {
        wchar_t typed[MAX_PATH];
        if (!CopyPath(typed, text)) {
            error = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        ::PathRemoveBlanksW(typed);
        ::PathRemoveBackslashW(typed);
        if (::lstrlenW(typed) == 2 && typed[1] == L':')
            ::lstrcatW(typed, L"\\");
        if (!*typed) {
            const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, typed);
            if (length == 0 || length >= MAX_PATH) {
                if (const DWORD failed = ::GetLastError())
                    error = failed;
                return false;
            }
        }
        // A path typed below the root is relative to the root's parent folder.
        CurrentFolderScope current;
        if (!rootParentPath_.empty()) {
            if (const DWORD failed = current.Enter(rootParentPath_)) {
                error = failed;
                return false;
            }
        }
        return ::PathSearchAndQualifyW(typed, full, MAX_PATH) != FALSE;
    }();

    bool acceptable = qualified && IsValidPathText(full);
    if (acceptable && !rootParentPath_.empty()) {
        wchar_t common[MAX_PATH] = L"";
        const int length = ::PathCommonPrefixW(full, rootParentPath_.c_str(), common);
        acceptable = length == static_cast<int>(rootParentPath_.size());
    }
    if (!acceptable) {
        ShowBrowserError(dialog, error);
        return false;
    }
    path_ = full;
    flags_ |= kTypedPathAccepted;
    return true;
}

bool FolderBrowser::Run(const std::wstring& initialPath, const std::wstring& suffix)
{
    const HWND owner = FindOwnerWindow();
    if (!(flags_ & kComInitialized)) {
        const HRESULT result = ::CoInitialize(nullptr);
        if (FAILED(result)) {
            ShowBrowserError(owner, static_cast<DWORD>(result));
            return false;
        }
        flags_ |= kComInitialized;
    }
    flags_ &= ~(kDialogInitialized | kTypedPathAccepted);
    SetStart(initialPath, suffix);

    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = root_.get();
    info.lpszTitle = title_.empty() ? nullptr : title_.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
    if (!suffix_.empty())
        info.ulFlags |= BIF_EDITBOX | BIF_VALIDATE;
    info.lpfn = Callback;
    info.lParam = reinterpret_cast<LPARAM>(this);

    kv::unique_cotask_ptr<ITEMIDLIST> chosen;
    *chosen.put() = ::SHBrowseForFolderW(&info);
    if (!chosen)
        return false;
    wchar_t selected[MAX_PATH] = L"";
    const bool taken = ::SHGetPathFromIDListW(chosen.get(), selected) != FALSE;
    if (taken && !(flags_ & kTypedPathAccepted))
        path_ = selected;
    return taken;
}

int CALLBACK FolderBrowser::Callback(HWND dialog, UINT message, LPARAM parameter, LPARAM data)
{
    auto* browser = reinterpret_cast<FolderBrowser*>(data);
    switch (message) {
    case BFFM_INITIALIZED:
        browser->OnInitialized(dialog);
        break;
    case BFFM_SELCHANGED:
        if (browser->flags_ & kDialogInitialized)
            browser->OnSelectionChanged(dialog, reinterpret_cast<LPCITEMIDLIST>(parameter));
        break;
    case BFFM_VALIDATEFAILEDW:
        // 0 closes the dialog with the typed path, 1 keeps it open.
        return browser->AcceptTypedPath(dialog, reinterpret_cast<const wchar_t*>(parameter)) ? 0 : 1;
    }
    return 0;
}

void FolderBrowser::OnInitialized(HWND dialog)
{
    flags_ |= kDialogInitialized;

    // The proposal usually does not exist yet: the dialog opens at its nearest existing folder.
    wchar_t start[MAX_PATH] = L"";
    if (!rootParentPath_.empty()) {
        CopyPath(start, rootParentPath_);
        ::PathAppendW(start, path_.c_str());
    } else {
        CopyPath(start, path_);
    }
    bool exists = false;
    for (;;) {
        if (*start && ::PathIsDirectoryW(start)) {
            exists = true;
            break;
        }
        if (!::PathRemoveFileSpecW(start) || !*start)
            break;
    }
    if (exists) {
        ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start));
        ::SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(start));
    }

    if (!suffix_.empty())
        ::EnumChildWindows(dialog, FindEditBox, reinterpret_cast<LPARAM>(&editBox_));
    if (exists && editBox_)
        ShowPathInEditBox();
}

void FolderBrowser::OnSelectionChanged(HWND dialog, LPCITEMIDLIST item)
{
    wchar_t selected[MAX_PATH] = L"";
    const bool hasPath = item && ::SHGetPathFromIDListW(item, selected);
    if (hasPath) {
        path_ = selected;
        ApplySuffix();
    }
    if (editBox_)
        ShowPathInEditBox();
    if (suffix_.empty())
        ::SendMessageW(dialog, BFFM_ENABLEOK, 0, hasPath);
}

void FolderBrowser::ShowPathInEditBox() const
{
    ::SetWindowTextW(editBox_, path_.c_str());
    ::SendMessageW(editBox_, EM_SETSEL, 0, -1);
}

std::wstring BrowseInstallFolder(const std::wstring& initialFolder, const std::wstring& suffix,
                                 const std::wstring& title)
{
    FolderBrowser browser(title);
    return browser.Run(initialFolder, suffix) ? browser.Path() : std::wstring();
}

StartMenuChoice BrowseStartMenuFolder(const std::wstring& initialFolder, const std::wstring& suffix,
                                      const std::wstring& title)
{
    FolderBrowser browser(title, CSIDL_COMMON_PROGRAMS);
    if (!browser.Run(initialFolder, suffix))
        return {};
    return {browser.Path(), browser.RelativePath()};
}
