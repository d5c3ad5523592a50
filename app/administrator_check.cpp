#include "app/administrator_check.h"

#include "actionlog/folder_rights.h"
#include "support/security_api.h"
#include "support/unique_resource.h"

#include <windows.h>

#include <system_error>
#include <vector>

namespace sec = kv::security;

namespace {

// Undoes ImpersonateSelf when it goes.
class SelfImpersonation {
public:
    SelfImpersonation() : active_(::ImpersonateSelf(SecurityImpersonation) != FALSE) {}
    ~SelfImpersonation()
    {
        if (active_)
            ::RevertToSelf();
    }
    SelfImpersonation(const SelfImpersonation&) = delete;
    SelfImpersonation& operator=(const SelfImpersonation&) = delete;

private:
    bool active_;
};

} // namespace

bool PassesAdministratorsAccessCheck(HANDLE impersonationToken)
{
    const kv::unique_sid administrators = WellKnownSid(AdministratorsAccount);
    constexpr DWORD kAccessRead = 1, kAccessWrite = 2, kAccessAll = kAccessRead | kAccessWrite;
    std::vector<BYTE> acl(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + sec::GetLengthSid()(administrators.get()));
    auto* list = reinterpret_cast<ACL*>(acl.data());
    sec::check(sec::InitializeAcl()(list, static_cast<DWORD>(acl.size()), ACL_REVISION2));
    sec::check(sec::AddAccessAllowedAce()(list, ACL_REVISION2, kAccessAll, administrators.get()));

    SECURITY_DESCRIPTOR descriptor{};
    sec::check(sec::InitializeSecurityDescriptor()(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    sec::check(sec::SetSecurityDescriptorDacl()(&descriptor, TRUE, list, FALSE));
    sec::check(sec::SetSecurityDescriptorOwner()(&descriptor, administrators.get(), FALSE));
    sec::check(sec::SetSecurityDescriptorGroup()(&descriptor, administrators.get(), FALSE));
    if (!::IsValidSecurityDescriptor(&descriptor))
        return false;

    GENERIC_MAPPING mapping{kAccessRead, kAccessWrite, 0, kAccessAll};
    BYTE privileges[20] = {};
    DWORD privilegesLength = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    sec::check(sec::AccessCheck()(&descriptor, impersonationToken, kAccessRead, &mapping,
                                  reinterpret_cast<PRIVILEGE_SET*>(privileges), &privilegesLength, &granted, &status));
    return status != FALSE;
}

bool IsUserAdministratorByAccessCheck()
{
    try {
        SelfImpersonation impersonation;
        // AccessCheck needs an impersonation token: the thread's, else a copy of the process's.
        kv::unique_handle token;
        if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
            kv::unique_handle primary;
            sec::check(sec::OpenProcessToken()(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, primary.put()));
            sec::check(sec::DuplicateToken()(primary.get(), SecurityImpersonation, token.put()));
        }
        return PassesAdministratorsAccessCheck(token.get());
    } catch (const std::system_error&) {
        return false;
    }
}

bool IsUserAdministrator()
{
    try {
        const kv::unique_sid administrators = WellKnownSid(AdministratorsAccount);
        BOOL member = FALSE;
        if (sec::CheckTokenMembership()(nullptr, administrators.get(), &member))
            return member != FALSE;
    } catch (const std::system_error&) {
        // No membership test available: the access check answers instead.
    }
    return IsUserAdministratorByAccessCheck();
}
