#include "product/maker_folders.h"

#include "product/product_identity.h"
#include "support/unique_resource.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <system_error>

namespace {

// KF_FLAG_DONT_VERIFY: the path is returned even when the folder does not exist (yet).
std::wstring KnownFolderPath(REFKNOWNFOLDERID id)
{
    kv::unique_cotask_ptr<wchar_t> path;
    const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, path.put());
    if (FAILED(result))
        throw std::system_error(static_cast<int>(result), std::system_category());
    return path.get();
}

MakerFolders ReadMakerFolders()
{
    const std::wstring maker = std::wstring(L"\\") + product::kMakerName;
    return {KnownFolderPath(FOLDERID_ProgramData) + maker, KnownFolderPath(FOLDERID_RoamingAppData) + maker,
            KnownFolderPath(FOLDERID_Documents)};
}

} // namespace

const MakerFolders& GetMakerFolders()
{
    static const MakerFolders folders = ReadMakerFolders();
    return folders;
}
