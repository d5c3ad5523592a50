#include "actionlog/paths_equivalent.h"

#include <windows.h>
#include <shlwapi.h>

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace {

// Case-insensitive comparison by the rules of the user's locale; elements of different
// lengths never match.
bool ElementsEqualIgnoringCase(const fs::path& a, const fs::path& b)
{
    const std::wstring& x = a.native();
    const std::wstring& y = b.native();
    return x.size() == y.size() && ::StrIsIntlEqualW(FALSE, x.c_str(), y.c_str(), static_cast<int>(x.size()));
}

bool AbsolutePathsEqualIgnoringCase(const fs::path& a, const fs::path& b)
{
    boost::system::error_code error;
    const fs::path x = fs::absolute(a, fs::current_path(error));
    const fs::path y = fs::absolute(b, fs::current_path(error));
    auto i = x.begin(), j = y.begin();
    for (; i != x.end() && j != y.end(); ++i, ++j)
        if (!ElementsEqualIgnoringCase(*i, *j))
            return false;
    return i == x.end() && j == y.end();
}

} // namespace

bool PathsEquivalent(const std::wstring& a, const std::wstring& b)
{
    const fs::path x(a), y(b);
    if (x == y)
        return true;
    boost::system::error_code error;
    const bool same = fs::equivalent(x, y, error);
    if (!error)
        return same;
    return AbsolutePathsEqualIgnoringCase(x, y);
}
