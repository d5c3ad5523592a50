// Pointing GetTempPathW at another folder for a while, to make backups fail or land elsewhere.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Points TMP and TEMP, which GetTempPathW reads, at another folder for the life of the
// object.
class TemporaryFolderOverride {
public:
    explicit TemporaryFolderOverride(const std::wstring& folder);
    ~TemporaryFolderOverride();
    TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
    TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

private:
    std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> saved_;
};

} // namespace testing_support
