// The maker's data folders, computed once for the process at start-up.
#pragma once

#include <string>

struct MakerFolders {
    std::wstring commonData;   // the all-users application-data folder + "\Korvane"
    std::wstring userData;     // the user's roaming application-data folder + "\Korvane"
    std::wstring documents;    // the user's documents folder
};

// The maker folders, read on the first call and kept for the process. A folder the
// system cannot name raises a std::system_error with the HRESULT of the failed call in
// the system category; the next call tries again.
const MakerFolders& GetMakerFolders();
