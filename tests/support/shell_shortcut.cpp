#include "support/shell_shortcut.h"

#include "support/unique_resource.h"

#include <shlobj.h>

namespace testing_support {

ShortcutTarget ReadShortcut(const std::wstring& linkPath)
{
    const kv::com_initialization com;
    kv::com_ptr<IShellLinkW> link;
    kv::com_ptr<IPersistFile> file;
    ShortcutTarget target;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))
        || FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))
        || FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        return target;
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH)))
        target.path = buffer;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH)))
        target.workingFolder = buffer;
    return target;
}

} // namespace testing_support
