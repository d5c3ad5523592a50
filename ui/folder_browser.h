// The shell's folder dialog as the folder and shortcut pages use it: it keeps the product's
// folder name at the end of whatever folder the user picks, and checks a typed path before
// it accepts it.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>

// The number of components of tail when they are the last components of path (compared
// without regard to case, a trailing backslash ignored) and path has at least one component
// more in front of them; 0 otherwise, also when either text does not fit into 260 characters.
int TrailingMatch(const std::wstring& path, const std::wstring& tail);

// folder relative to the folder base ("Programs\Korvane" below "...\Start Menu"; the empty
// text for base itself; ".." steps for a folder outside base); nothing when there is no
// relative path (another drive).
std::optional<std::wstring> RelativeFolderPath(const std::wstring& base, const std::wstring& folder);

// One run of the folder dialog.
class FolderBrowser {
public:
    enum Flag : unsigned {
        kComInitialized = 1,       // this object initialised COM and releases it
        kDialogInitialized = 2,    // the dialog has finished initialising
        kTypedPathAccepted = 4,    // the result is a typed path
    };

    // title: the text above the folder tree (none when empty). rootFolder: the CSIDL of the
    // folder at the top of the tree, or -1 for the whole shell namespace.
    explicit FolderBrowser(std::wstring title, int rootFolder = -1);
    ~FolderBrowser();
    FolderBrowser(const FolderBrowser&) = delete;
    FolderBrowser& operator=(const FolderBrowser&) = delete;

    // Shows the dialog proposing initialPath with suffix (the folder name kept at the end of
    // a picked folder; none when empty); true when the user accepted a folder, which is then
    // in Path().
    bool Run(const std::wstring& initialPath, const std::wstring& suffix);

    // The proposed folder; while the dialog is open and there is a root, relative to the
    // root's parent folder.
    const std::wstring& Path() const { return path_; }
    // Path() relative to the root's parent folder; Path() itself without a root.
    std::wstring RelativePath() const;
    // The root's folder with its last component removed; empty without a root.
    const std::wstring& RootParentPath() const { return rootParentPath_; }
    unsigned Flags() const { return flags_; }

    // The steps of a run, each of which the dialog callback or Run takes:
    // The proposal before the dialog opens: initialPath (a relative one is dropped), else
    // the root's folder, else the user's Documents; a bare drive gets its backslash; the
    // suffix is kept only when it is made of valid path characters without wildcards.
    void SetStart(const std::wstring& initialPath, const std::wstring& suffix);
    // Appends the part of the suffix that Path() does not already end with, then makes the
    // path relative to the root's parent folder when there is a root.
    void ApplySuffix();
    // A path typed into the dialog's edit box: qualified to a full path (below the root's
    // parent folder when there is a root) and, when valid, taken as the result without the
    // suffix. Otherwise an error box owned by dialog tells why, and the dialog stays open.
    bool AcceptTypedPath(HWND dialog, const std::wstring& text);

    // The folder dialog's callback; data is the FolderBrowser.
    static int CALLBACK Callback(HWND dialog, UINT message, LPARAM parameter, LPARAM data);

private:
    void OnInitialized(HWND dialog);
    void OnSelectionChanged(HWND dialog, LPCITEMIDLIST item);
    void ShowPathInEditBox() const;

    std::wstring path_;
    std::wstring suffix_;
    std::wstring title_;
    kv::unique_cotask_ptr<ITEMIDLIST> root_;
    std::wstring rootParentPath_;
    unsigned flags_ = 0;
    HWND editBox_ = nullptr;
};

// The folder page's Browse: the chosen installation folder, or the empty text when the user
// cancelled.
std::wstring BrowseInstallFolder(const std::wstring& initialFolder, const std::wstring& suffix,
                                 const std::wstring& title);

// The shortcut page's Browse, below all users' Start-menu programs: the chosen folder and
// its form relative to the Start-menu folder, or two empty texts when the user cancelled.
struct StartMenuChoice {
    std::wstring folder;
    std::wstring relative;
};
StartMenuChoice BrowseStartMenuFolder(const std::wstring& initialFolder, const std::wstring& suffix,
                                      const std::wstring& title);
