// Opening files and folders to the local Users group, and the well-known accounts the
// installer's security routines build.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>

#include <string>
#include <vector>

// Well-known accounts by number.
enum WellKnownAccount : int {
    EveryoneAccount = 0,         // S-1-1-0
    AdministratorsAccount = 1,   // S-1-5-32-544
    UsersAccount = 2,            // S-1-5-32-545
    SystemAccount = 3,           // S-1-5-18
};

// The SID of a well-known account. Throws the HRESULT of a failed security call.
kv::unique_sid WellKnownSid(WellKnownAccount account);

// Access masks and entry flags of the two grants an installation makes.
inline constexpr DWORD kFolderFullAccess = 0x1F01FF;      // FILE_ALL_ACCESS
inline constexpr BYTE kFolderInheritance = 0x3;           // OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE
inline constexpr DWORD kSharedFileModifyAccess = 0x13019F; // FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE

// A new absolute security descriptor made from an object's current one: its access list
// holds the explicit entries of the old list, then one access-allowed entry for Users,
// then the inherited entries; every earlier entry for Users is dropped. The old
// descriptor's inheritance state (auto-inherited, protected, or both) is carried over.
// Throws the HRESULT of a failed security call, E_OUTOFMEMORY when memory runs out.
class UsersAccessDescriptor {
public:
    UsersAccessDescriptor(PSECURITY_DESCRIPTOR old, DWORD accessMask, BYTE aceFlags);
    UsersAccessDescriptor(const UsersAccessDescriptor&) = delete;
    UsersAccessDescriptor& operator=(const UsersAccessDescriptor&) = delete;

    PSECURITY_DESCRIPTOR get() { return &descriptor_; }
    const ACL* acl() const { return reinterpret_cast<const ACL*>(acl_.data()); }

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
};

// The security descriptor of what only administrators may change: the installation's own
// temporary folder, from which the DirectX setup library is loaded with administrator
// rights, and the installation's journal, which the next start undoes. Administrators and SYSTEM
// have full control; user (the installing user) and the folder's owner, whoever that is,
// may only read and traverse; every entry is inherited by what is created inside. The
// list is protected: nothing of the parent's list (the user's full control of their own
// temporary folder) is inherited. Throws the HRESULT of a failed security call.
class AdministratorsOnlyDescriptor {
public:
    explicit AdministratorsOnlyDescriptor(PSID user);
    AdministratorsOnlyDescriptor(const AdministratorsOnlyDescriptor&) = delete;
    AdministratorsOnlyDescriptor& operator=(const AdministratorsOnlyDescriptor&) = delete;

    PSECURITY_DESCRIPTOR get() { return &descriptor_; }
    const ACL* acl() const { return reinterpret_cast<const ACL*>(acl_.data()); }

    static constexpr DWORD kReadAccess = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
};

// The SID of the user this process runs as, copied out of its access token. Throws the
// HRESULT of a failed security call.
std::vector<BYTE> ProcessUserSid();

// Gives Users an access-allowed entry with accessMask and aceFlags on the file or folder
// at path, replacing any entry Users had. Returns true; every failure raises the HRESULT
// of the failing call as a std::system_error of the system category, and leaves the
// object's old access list in place.
bool GrantUsersAccess(const std::wstring& path, DWORD accessMask, BYTE aceFlags);
