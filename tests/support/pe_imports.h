// Lists the DLLs that a Windows executable imports at load time, read from its file.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Names of the imported DLLs, in lower case, in the order of the import directory.
std::vector<std::string> ImportedDlls(const std::wstring& path);

} // namespace testing_support
