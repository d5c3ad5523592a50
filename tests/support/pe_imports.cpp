#include "support/pe_imports.h"

#include "support/test_support.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

template <class T>
T At(const std::vector<std::uint8_t>& file, std::size_t offset)
{
    if (offset + sizeof(T) > file.size())
        throw std::runtime_error("truncated executable");
    T value;
    std::memcpy(&value, file.data() + offset, sizeof(T));
    return value;
}

} // namespace

std::vector<std::string> ImportedDlls(const std::wstring& path)
{
    const std::vector<std::uint8_t> file = ReadFileBytes(path);
    const auto dos = At<IMAGE_DOS_HEADER>(file, 0);
    const std::size_t nt = static_cast<std::size_t>(dos.e_lfanew);
    const auto fileHeader = At<IMAGE_FILE_HEADER>(file, nt + 4);
    const std::size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    const WORD magic = At<WORD>(file, optional);

    IMAGE_DATA_DIRECTORY imports{};
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        imports = At<IMAGE_OPTIONAL_HEADER64>(file, optional).DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    else
        imports = At<IMAGE_OPTIONAL_HEADER32>(file, optional).DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];

    const std::size_t sections = optional + fileHeader.SizeOfOptionalHeader;
    auto toOffset = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < fileHeader.NumberOfSections; ++i) {
            const auto section = At<IMAGE_SECTION_HEADER>(file, sections + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        throw std::runtime_error("import address outside every section");
    };

    std::vector<std::string> names;
    if (imports.VirtualAddress == 0)
        return names;
    for (std::size_t entry = toOffset(imports.VirtualAddress);; entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(file, entry);
        if (descriptor.Name == 0)
            break;
        std::string name;
        for (std::size_t at = toOffset(descriptor.Name); At<char>(file, at) != '\0'; ++at)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(At<char>(file, at))));
        names.push_back(name);
    }
    return names;
}

} // namespace testing_support
