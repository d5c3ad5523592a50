#include "actionlog/shortcuts.h"

#include "install/install_state.h"
#include "product/product_identity.h"
#include "product/texts.h"
#include "support/unique_resource.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

// The desktop of all users, else the user's own; empty when the shell names neither.
std::wstring DesktopFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE)
        || ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_DESKTOPDIRECTORY, FALSE))
        return folder;
    return {};
}

// Announces the shortcut, makes it and completes its record with the ".lnk" path.
bool RecordedShortcut(ActionLog& log, ShortcutKind shortcut, const std::wstring& folder, const std::wstring& target,
                      const std::wstring& name)
{
    log.AddShortcut(shortcut, folder, ShortcutPath(target, folder, name).value_or(std::wstring()));
    std::wstring linkPath;
    if (!CreateShortcut(target, folder, name, &linkPath)) {
        log.Complete(false);
        return false;
    }
    log.Complete(true, linkPath);
    return true;
}

} // namespace

std::optional<std::wstring> ShortcutPath(const std::wstring& target, const std::wstring& folder,
                                         const std::optional<std::wstring>& name)
{
    std::wstring fileName;
    if (name) {
        fileName = *name;
    } else {
        wchar_t targetName[MAX_PATH];
        ::lstrcpynW(targetName, ::PathFindFileNameW(target.c_str()), MAX_PATH);
        ::PathRemoveExtensionW(targetName);
        fileName = targetName;
    }
    wchar_t shortcutPath[MAX_PATH];
    ::lstrcpynW(shortcutPath, folder.c_str(), MAX_PATH);
    if (!::PathAppendW(shortcutPath, fileName.c_str()))
        return std::nullopt;
    const std::wstring path = std::wstring(shortcutPath) + L".lnk";
    if (path.size() >= MAX_PATH)
        return std::nullopt;
    return path;
}

bool CreateShortcut(const std::wstring& target, const std::wstring& folder, const std::optional<std::wstring>& name,
                    std::wstring* linkPath)
{
    // A folder that is not there would let the shortcut land relative to the current folder.
    if (folder.empty() || !::PathIsDirectoryW(folder.c_str()))
        return false;

    wchar_t workingFolder[MAX_PATH];
    ::lstrcpynW(workingFolder, target.c_str(), MAX_PATH);
    if (!::PathRemoveFileSpecW(workingFolder))
        return false;

    const std::optional<std::wstring> shortcutPath = ShortcutPath(target, folder, name);
    if (!shortcutPath)
        return false;
    const std::wstring& path = *shortcutPath;

    HRESULT result;
    {
        const kv::com_initialization com;
        if (com.result() != S_OK && com.result() != S_FALSE)
            return false;
        kv::com_ptr<IShellLinkW> link;
        result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
        if (SUCCEEDED(result)) {
            link->SetPath(target.c_str());
            link->SetWorkingDirectory(workingFolder);
            kv::com_ptr<IPersistFile> file;
            result = link->QueryInterface(IID_IPersistFile, file.put_void());
            if (SUCCEEDED(result))
                result = file->Save(path.c_str(), TRUE);
        }
    }   // the interfaces are released before COM is uninitialised
    if (FAILED(result))
        return false;
    if (linkPath)
        *linkPath = path;
    return true;
}

bool CreateProductShortcuts(InstallState& state, const std::wstring& mainProgram, const std::wstring& uninstaller)
{
    ActionLog& log = state.actionLog;
    const std::wstring programName = ProductDisplayName(true);
    bool allCreated = true;
    if (state.createMenuShortcuts) {
        allCreated &= RecordedShortcut(log, ShortcutKind::Program, state.startMenuFolder, mainProgram, programName);
        const std::wstring uninstallName = FormatText(LoadText(kTextUninstallShortcut), ProductDisplayName(false));
        allCreated &= RecordedShortcut(log, ShortcutKind::Uninstaller, state.startMenuFolder, uninstaller, uninstallName);
    }
    if (state.createDesktopShortcut)
        allCreated &= RecordedShortcut(log, ShortcutKind::Desktop, DesktopFolder(), mainProgram, programName);
    return allCreated;
}
