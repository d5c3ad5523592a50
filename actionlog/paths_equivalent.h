// Whether two paths name the same file or folder.
#pragma once

#include <memory>
#include <string>

// Equal element by element; else the same existing file or folder for the file system;
// else, when the file system cannot tell, equal absolute paths ignoring letter case.
bool PathsEquivalent(const std::wstring& a, const std::wstring& b);

// A growing set of paths that tells whether it holds one equivalent to a given path, with
// exactly the answers of PathsEquivalent but without comparing the path with every member:
// exact texts are looked up first, then the file system's identity (found once per path,
// mostly from folder listings), then the absolute path with letter case folded by the
// user's locale.
class EquivalentPathSet {
public:
    EquivalentPathSet();
    ~EquivalentPathSet();
    EquivalentPathSet(const EquivalentPathSet&) = delete;
    EquivalentPathSet& operator=(const EquivalentPathSet&) = delete;

    // Adds path even when an equivalent one is already there.
    void Insert(const std::wstring& path);
    // Adds path unless the set holds an equivalent one; true when it was added.
    bool InsertUnlessContained(const std::wstring& path);
    bool Contains(const std::wstring& path);

private:
    struct Index;
    std::unique_ptr<Index> index_;
};
