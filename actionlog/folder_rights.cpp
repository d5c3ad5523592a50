#include "actionlog/folder_rights.h"

#include "support/security_api.h"

#include <new>
#include <utility>
#include <system_error>

namespace sec = kv::security;

namespace {

constexpr DWORD kEmptyAclBytes = sizeof(ACL);
// An access-allowed entry without its SID: header and mask.
constexpr DWORD kAceWithoutSidBytes = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);

// Whether an entry names the given SID. Every entry kind that a file's list holds keeps
// its SID right after the header and the mask; an entry too short to hold a SID there
// names none.
bool AceNamesSid(const ACE_HEADER* ace, PSID sid)
{
    if (ace->AceSize < kAceWithoutSidBytes + 8)
        return false;
    const BYTE* aceSid = reinterpret_cast<const BYTE*>(ace) + kAceWithoutSidBytes;
    const DWORD sidBytes = 8 + 4u * aceSid[1];   // revision, count, authority, sub-authorities
    if (kAceWithoutSidBytes + sidBytes > ace->AceSize)
        return false;
    return sec::EqualSid()(const_cast<BYTE*>(aceSid), sid) != FALSE;
}

// Appends the entries first..last-1 of the old list, leaving out those of sid.
void CopyEntries(PACL from, DWORD first, DWORD last, PACL to, PSID sid)
{
    for (DWORD i = first; i < last; ++i) {
        void* ace = nullptr;
        sec::check(sec::GetAce()(from, i, &ace));
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (AceNamesSid(header, sid))
            continue;
        sec::check(sec::AddAce()(to, ACL_REVISION, MAXDWORD, ace, header->AceSize));
    }
}

} // namespace

kv::unique_sid WellKnownSid(WellKnownAccount account)
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    kv::unique_sid sid;
    switch (account) {
    case EveryoneAccount:
        sec::check(sec::AllocateAndInitializeSid()(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, sid.put()));
        break;
    case AdministratorsAccount:
        sec::check(sec::AllocateAndInitializeSid()(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                                   0, 0, 0, 0, 0, sid.put()));
        break;
    case UsersAccount:
        sec::check(sec::AllocateAndInitializeSid()(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0,
                                                   0, 0, 0, 0, 0, sid.put()));
        break;
    case SystemAccount:
        sec::check(sec::AllocateAndInitializeSid()(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, sid.put()));
        break;
    default:
        throw sec::make_error(ERROR_INVALID_PARAMETER);
    }
    return sid;
}

UsersAccessDescriptor::UsersAccessDescriptor(PSECURITY_DESCRIPTOR old, DWORD accessMask, BYTE aceFlags)
{
    const kv::unique_sid users = WellKnownSid(UsersAccount);

    BOOL present = FALSE, defaulted = FALSE;
    PACL oldAcl = nullptr;
    sec::check(sec::GetSecurityDescriptorDacl()(old, &present, &oldAcl, &defaulted));
    if (!present)
        oldAcl = nullptr;   // a list marked present but null counts as absent too

    ACL_SIZE_INFORMATION sizes{0, kEmptyAclBytes, 0};
    if (oldAcl)
        sec::check(sec::GetAclInformation()(oldAcl, &sizes, sizeof sizes, AclSizeInformation));

    const DWORD newSize = sizes.AclBytesInUse + sec::GetLengthSid()(users.get()) + kAceWithoutSidBytes;
    try {
        acl_.assign(newSize, 0);
    } catch (const std::bad_alloc&) {
        throw std::system_error(sec::hresult_code(E_OUTOFMEMORY));
    }
    const PACL acl = reinterpret_cast<PACL>(acl_.data());
    sec::check(sec::InitializeAcl()(acl, newSize, ACL_REVISION));

    // Windows expects explicit entries before inherited ones; the new entry is explicit.
    DWORD firstInherited = sizes.AceCount;
    for (DWORD i = 0; i < sizes.AceCount; ++i) {
        void* ace = nullptr;
        sec::check(sec::GetAce()(oldAcl, i, &ace));
        if (static_cast<const ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE) {
            firstInherited = i;
            break;
        }
    }
    if (oldAcl)
        CopyEntries(oldAcl, 0, firstInherited, acl, users.get());

    const FARPROC addEx = sec::find("AddAccessAllowedAceEx");
    if (aceFlags != 0 && addEx)
        sec::check(sec::AddAccessAllowedAceEx()(acl, ACL_REVISION, aceFlags, accessMask, users.get()));
    else
        sec::check(sec::AddAccessAllowedAce()(acl, ACL_REVISION, accessMask, users.get()));

    if (oldAcl)
        CopyEntries(oldAcl, firstInherited, sizes.AceCount, acl, users.get());

    sec::check(sec::InitializeSecurityDescriptor()(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
    sec::check(sec::SetSecurityDescriptorDacl()(&descriptor_, TRUE, acl, FALSE));

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    sec::check(sec::GetSecurityDescriptorControl()(old, &control, &revision));
    // A protected list usually carries the auto-inherited mark too ("D:PAI"): both are kept,
    // so that the object never starts inheriting from its parent.
    SECURITY_DESCRIPTOR_CONTROL carried = 0;
    if (control & SE_DACL_AUTO_INHERITED)
        carried |= SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    if (control & SE_DACL_PROTECTED)
        carried |= SE_DACL_PROTECTED;
    if (carried)
        sec::check(sec::SetSecurityDescriptorControl()(&descriptor_, carried, carried));
}

AdministratorsOnlyDescriptor::AdministratorsOnlyDescriptor(PSID user)
{
    const kv::unique_sid administrators = WellKnownSid(AdministratorsAccount);
    const kv::unique_sid system = WellKnownSid(SystemAccount);
    // OWNER RIGHTS: takes the place of the rights an owner has implicitly (changing the
    // list), so that owning the folder gives no more than reading it.
    SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    kv::unique_sid ownerRights;
    sec::check(sec::AllocateAndInitializeSid()(&creator, 1, SECURITY_CREATOR_OWNER_RIGHTS_RID, 0, 0, 0, 0, 0, 0, 0,
                                               ownerRights.put()));
    const std::pair<PSID, DWORD> entries[] = {
        {administrators.get(), kFolderFullAccess},
        {system.get(), kFolderFullAccess},
        {user, kReadAccess},
        {ownerRights.get(), kReadAccess},
    };
    DWORD size = sizeof(ACL);
    for (const auto& [sid, mask] : entries)
        size += kAceWithoutSidBytes + sec::GetLengthSid()(sid);
    acl_.assign(size, 0);
    const PACL acl = reinterpret_cast<PACL>(acl_.data());
    sec::check(sec::InitializeAcl()(acl, size, ACL_REVISION));
    for (const auto& [sid, mask] : entries)
        sec::check(sec::AddAccessAllowedAceEx()(acl, ACL_REVISION, kFolderInheritance, mask, sid));
    sec::check(sec::InitializeSecurityDescriptor()(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
    sec::check(sec::SetSecurityDescriptorDacl()(&descriptor_, TRUE, acl, FALSE));
    sec::check(sec::SetSecurityDescriptorControl()(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
}

std::vector<BYTE> ProcessUserSid()
{
    kv::unique_handle token;
    sec::check(sec::OpenProcessToken()(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    DWORD size = 0;
    if (!sec::GetTokenInformation()(token.get(), TokenUser, nullptr, 0, &size)
        && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        sec::throw_last_error();
    std::vector<BYTE> buffer(size);
    sec::check(sec::GetTokenInformation()(token.get(), TokenUser, buffer.data(), size, &size));
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    const auto* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + sec::GetLengthSid()(sid));
}

bool GrantUsersAccess(const std::wstring& path, DWORD accessMask, BYTE aceFlags)
{
    DWORD needed = 0;
    if (!sec::GetFileSecurityW()(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER)
            throw sec::make_error(error);
    }
    if (needed < sizeof(SECURITY_DESCRIPTOR_RELATIVE))
        throw sec::make_error(ERROR_INVALID_SECURITY_DESCR);
    std::vector<BYTE> old;
    try {
        old.assign(needed, 0);
    } catch (const std::bad_alloc&) {
        throw std::system_error(sec::hresult_code(E_OUTOFMEMORY));
    }
    sec::check(sec::GetFileSecurityW()(path.c_str(), DACL_SECURITY_INFORMATION, old.data(), needed, &needed));

    UsersAccessDescriptor descriptor(old.data(), accessMask, aceFlags);
    sec::check(sec::SetFileSecurityW()(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.get()));
    return true;
}
