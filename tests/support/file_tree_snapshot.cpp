#include "support/file_tree_snapshot.h"

#include "support/test_support.h"
#include "support/unique_resource.h"

namespace testing_support {

namespace {

void SnapshotFolder(const std::wstring& root, const std::wstring& relative, FileTreeSnapshot& snapshot)
{
    WIN32_FIND_DATAW data;
    const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    kv::unique_find_handle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        FileTreeEntry& entry = snapshot[path];
        entry.attributes = data.dwFileAttributes;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            SnapshotFolder(root, path, snapshot);
        else
            entry.bytes = ReadFileBytes(root + L"\\" + path);
    } while (::FindNextFileW(find.get(), &data));
}

} // namespace

FileTreeSnapshot SnapshotFileTree(const std::wstring& root)
{
    FileTreeSnapshot snapshot;
    SnapshotFolder(root, {}, snapshot);
    return snapshot;
}

void PrintTo(const FileTreeEntry& entry, std::ostream* out)
{
    *out << "attributes 0x" << std::hex << entry.attributes << std::dec << ", " << entry.bytes.size() << " bytes";
}

} // namespace testing_support
