#include "install/existing_installation.h"

#include "actionlog/previous_installation.h"
#include "product/product_identity.h"
#include "product/version_info.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

PreviousInstallStatus CompareInstalledVersion(bool hasFixedVersion, std::uint64_t installedVersion)
{
    if (!hasFixedVersion || installedVersion == product::kFileVersion)
        return PreviousInstallStatus::SameVersion;
    return installedVersion > product::kFileVersion ? PreviousInstallStatus::NewerVersion
                                                    : PreviousInstallStatus::OlderVersion;
}

void ClassifyExistingInstallation(InstallState& state, const std::wstring& program)
{
    if (program.empty()) {
        state.previousStatus = PreviousInstallStatus::NotInstalled;
    } else {
        const VersionInfo version(program);
        state.previousStatus = CompareInstalledVersion(version.HasFixedInfo(), version.FileVersion());
        if (state.previousStatus == PreviousInstallStatus::OlderVersion
            || state.previousStatus == PreviousInstallStatus::NewerVersion)
            state.previousVersionText = version.ProductNameWithVersion();
    }

    if (state.previousStatus == PreviousInstallStatus::SameVersion
        || state.previousStatus == PreviousInstallStatus::OlderVersion) {
        const std::wstring log = FindPreviousLog();
        if (!log.empty()) {
            state.actionLog.Read(log);
            state.installFolder = state.actionLog.previousInstallPath;
            state.startMenuFolder = state.actionLog.previousShortcutPath;
        }
    } else {
        state.actionLog.Read(std::nullopt);
    }
}

namespace {

std::wstring MakerFolderBelow(int csidl, int fallback)
{
    wchar_t path[MAX_PATH + 1] = L"";
    if (!::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) && fallback >= 0)
        ::SHGetSpecialFolderPathW(nullptr, path, fallback, FALSE);
    ::PathAppendW(path, product::kMakerName);
    ::PathAppendW(path, ProductRegistryName().c_str());
    return path;
}

} // namespace

void SetDefaultFolders(InstallState& state)
{
    if (state.installFolder.empty())
        state.installFolder = MakerFolderBelow(CSIDL_PROGRAM_FILES, -1);
    if (state.startMenuFolder.empty())
        state.startMenuFolder = MakerFolderBelow(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS);
}

void PrepareStartupState(InstallState& state, const std::wstring& installedProgram)
{
    ClassifyExistingInstallation(state, installedProgram);
    SetDefaultFolders(state);
    state.createMenuShortcuts = true;
    state.createDesktopShortcut = true;
    state.advancedMode = false;
}
