#include "actionlog/paths_equivalent.h"

#include "actionlog/file_identity.h"

#include <windows.h>
#include <shlwapi.h>

#include <boost/filesystem.hpp>

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace fs = boost::filesystem;

namespace {

fs::path CurrentFolder()
{
    boost::system::error_code error;
    return fs::current_path(error);
}

// Case-insensitive comparison by the rules of the user's locale; elements of different
// lengths never match.
bool ElementsEqualIgnoringCase(const fs::path& a, const fs::path& b)
{
    const std::wstring& x = a.native();
    const std::wstring& y = b.native();
    return x.size() == y.size() && ::StrIsIntlEqualW(FALSE, x.c_str(), y.c_str(), static_cast<int>(x.size()));
}

bool AbsolutePathsEqualIgnoringCase(const fs::path& x, const fs::path& y)
{
    auto i = x.begin(), j = y.begin();
    for (; i != x.end() && j != y.end(); ++i, ++j)
        if (!ElementsEqualIgnoringCase(*i, *j))
            return false;
    return i == x.end() && j == y.end();
}

// A key that is the same for two elements whenever ElementsEqualIgnoringCase holds for them:
// the element's length and its case-insensitive sort key in the locale that StrIsIntlEqualW
// compares with (the thread's). Equal sort keys are what CompareStringW calls equal.
void AppendFoldedElement(std::string& key, const std::wstring& element)
{
    const auto length = static_cast<std::uint32_t>(element.size());
    key.append(reinterpret_cast<const char*>(&length), sizeof length);
    if (element.empty())
        return;
    const LCID locale = ::GetThreadLocale();
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int size = ::LCMapStringW(locale, flags, element.data(), static_cast<int>(element.size()), nullptr, 0);
    if (size <= 0)
        return;   // the key only gets coarser; every candidate is compared exactly anyway
    const std::size_t start = key.size();
    key.resize(start + static_cast<std::size_t>(size));
    // With LCMAP_SORTKEY the destination is a byte array and its size is counted in bytes.
    const int written = ::LCMapStringW(locale, flags, element.data(), static_cast<int>(element.size()),
                                       reinterpret_cast<LPWSTR>(key.data() + start), size);
    key.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
}

// One path as PathsEquivalent looks at it. What the file system and the locale say about it
// is asked on first need and kept, so that one path can be compared with many. Without an
// identifier the path is opened to identify it.
class PathFacts {
public:
    PathFacts(const std::wstring& text, const fs::path& currentFolder, FolderListingIdentifier* identifier = nullptr)
        : path_(text), currentFolder_(&currentFolder), identifier_(identifier)
    {
    }

    const fs::path& path() const { return path_; }

    Presence presence()
    {
        Identify();
        return found_.presence;
    }

    // Volume and file index only: enough to find the names that may share the file.
    FileKey key()
    {
        Identify();
        return KeyOf(found_.identity);
    }

    // Paths found as one entry of a folder listing name one file.
    bool SameListedFile(PathFacts& other)
    {
        Identify();
        other.Identify();
        return found_.listedEntry && found_.listedEntry == other.found_.listedEntry;
    }

    const FileIdentity& identity()
    {
        Identify();
        if (!found_.complete)
            identifier_->Complete(path_.native(), found_);
        return found_.identity;
    }

    // A relative path is taken against the current folder.
    const fs::path& absolute()
    {
        if (!absolute_)
            absolute_ = fs::absolute(path_, *currentFolder_);
        return *absolute_;
    }

    const std::string& foldedKey()
    {
        if (!foldedKey_) {
            std::string key;
            for (const fs::path& element : absolute())
                AppendFoldedElement(key, element.native());
            foldedKey_ = std::move(key);
        }
        return *foldedKey_;
    }

private:
    void Identify()
    {
        if (identified_)
            return;
        identified_ = true;
        found_ = identifier_ ? identifier_->Identify(path_.native()) : IdentifyPath(path_.native());
    }

    fs::path path_;
    const fs::path* currentFolder_;
    FolderListingIdentifier* identifier_;
    bool identified_ = false;
    PathIdentity found_;
    std::optional<fs::path> absolute_;
    std::optional<std::string> foldedKey_;
};

// Equal element by element; else, when both can be opened and identified, the same file;
// when only one can be opened, different; else (neither opens, or one gives no identity)
// the absolute paths compared ignoring letter case.
bool Equivalent(PathFacts& a, PathFacts& b)
{
    if (a.path() == b.path())
        return true;
    const Presence x = a.presence(), y = b.presence();
    if (x == Presence::Missing || y == Presence::Missing) {
        if (x != y)
            return false;
    } else if (x == Presence::Identified && y == Presence::Identified) {
        return a.SameListedFile(b) || a.identity() == b.identity();
    }
    return AbsolutePathsEqualIgnoringCase(a.absolute(), b.absolute());
}

} // namespace

bool PathsEquivalent(const std::wstring& a, const std::wstring& b)
{
    const fs::path currentFolder = CurrentFolder();
    PathFacts x(a, currentFolder), y(b, currentFolder);
    return Equivalent(x, y);
}

// Members are indexed by their exact text from the start. The file system is asked about
// them only when a path that is not a member's exact text is looked up; from then on every
// member is indexed by its volume and file index (identified members) or by its folded
// absolute path (missing members). Folded keys of members that exist are needed only when
// some path opens without an identity, which is rare enough to index them only then.
struct EquivalentPathSet::Index {
    const fs::path currentFolder = CurrentFolder();
    FolderListingIdentifier identifier;
    std::vector<PathFacts> members;
    std::unordered_set<std::wstring> texts;

    bool identified = false;
    std::unordered_multimap<FileKey, std::size_t, FileKeyHash> byFileKey;
    std::unordered_multimap<std::string, std::size_t> missingByKey;
    std::size_t unidentifiedCount = 0;

    bool presentKeysIndexed = false;
    std::size_t presentKeysCovered = 0;   // members below this index are in presentByKey
    std::unordered_multimap<std::string, std::size_t> presentByKey;

    void IndexPresentKeys()
    {
        if (presentKeysIndexed)
            return;
        presentKeysIndexed = true;
        for (std::size_t i = 0; i < members.size(); ++i)
            if (members[i].presence() != Presence::Missing)
                presentByKey.emplace(members[i].foldedKey(), i);
        presentKeysCovered = members.size();
    }

    void IndexMember(std::size_t i)
    {
        PathFacts& member = members[i];
        switch (member.presence()) {
        case Presence::Identified:
            byFileKey.emplace(member.key(), i);
            break;
        case Presence::Missing:
            missingByKey.emplace(member.foldedKey(), i);
            return;
        case Presence::Unidentified:
            ++unidentifiedCount;
            IndexPresentKeys();
            break;
        }
        if (presentKeysIndexed && i >= presentKeysCovered)
            presentByKey.emplace(member.foldedKey(), i);
    }

    void Identify()
    {
        if (identified)
            return;
        identified = true;
        for (std::size_t i = 0; i < members.size(); ++i)
            IndexMember(i);
    }

    bool AnyEquivalent(const std::unordered_multimap<std::string, std::size_t>& byKey, PathFacts& facts)
    {
        const auto [first, last] = byKey.equal_range(facts.foldedKey());
        for (auto it = first; it != last; ++it)
            if (Equivalent(facts, members[it->second]))
                return true;
        return false;
    }

    // Whether a member is equivalent to a path that is no member's exact text.
    bool Find(PathFacts& facts)
    {
        Identify();
        switch (facts.presence()) {
        case Presence::Missing:
            return AnyEquivalent(missingByKey, facts);
        case Presence::Identified: {
            const auto [first, last] = byFileKey.equal_range(facts.key());
            for (auto it = first; it != last; ++it)
                if (Equivalent(facts, members[it->second]))
                    return true;
            return unidentifiedCount > 0 && AnyEquivalent(presentByKey, facts);
        }
        case Presence::Unidentified:
            IndexPresentKeys();
            return AnyEquivalent(presentByKey, facts);
        }
        return false;
    }

    void Add(PathFacts facts)
    {
        texts.insert(facts.path().native());
        members.push_back(std::move(facts));
        if (identified)
            IndexMember(members.size() - 1);
    }
};

EquivalentPathSet::EquivalentPathSet() : index_(std::make_unique<Index>()) {}

EquivalentPathSet::~EquivalentPathSet() = default;

void EquivalentPathSet::Insert(const std::wstring& path)
{
    index_->Add(PathFacts(path, index_->currentFolder, &index_->identifier));
}

bool EquivalentPathSet::InsertUnlessContained(const std::wstring& path)
{
    if (index_->texts.count(path))
        return false;
    PathFacts facts(path, index_->currentFolder, &index_->identifier);
    if (index_->Find(facts))
        return false;
    index_->Add(std::move(facts));
    return true;
}

bool EquivalentPathSet::Contains(const std::wstring& path)
{
    if (index_->texts.count(path))
        return true;
    PathFacts facts(path, index_->currentFolder, &index_->identifier);
    return index_->Find(facts);
}
