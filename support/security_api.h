// The security functions of advapi32, bound by name on first use and kept for the run.
// Each accessor returns the function pointer or throws a std::system_error whose code is
// an HRESULT in the system category: E_UNEXPECTED when advapi32 cannot be loaded,
// E_NOTIMPL when it lacks the function.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>
#include <aclapi.h>

#include <system_error>

#define KV_SECURITY_FUNCTIONS(X)                                                      \
    X(OpenProcessToken) X(LookupPrivilegeValueW) X(AdjustTokenPrivileges)            \
    X(AllocateAndInitializeSid) X(EqualSid) X(GetLengthSid) X(CheckTokenMembership)  \
    X(GetFileSecurityW) X(SetFileSecurityW) X(GetSecurityDescriptorDacl)             \
    X(GetSecurityDescriptorControl) X(SetSecurityDescriptorControl)                  \
    X(InitializeSecurityDescriptor) X(SetSecurityDescriptorDacl) X(InitializeAcl)    \
    X(GetAclInformation) X(GetAce) X(AddAce) X(AddAccessAllowedAce)                  \
    X(AddAccessAllowedAceEx) X(DuplicateToken) X(AccessCheck) X(MapGenericMask)      \
    X(SetSecurityDescriptorOwner) X(SetSecurityDescriptorGroup) X(GetTokenInformation) \
    X(GetKernelObjectSecurity) X(GetSecurityDescriptorOwner)

namespace kv::security {

// The error of a failed security call: HRESULT_FROM_WIN32(code) in the system category.
std::system_error make_error(DWORD code);
// Throws make_error(GetLastError()).
[[noreturn]] void throw_last_error();
// Throws the last error unless ok.
inline void check(BOOL ok)
{
    if (!ok)
        throw_last_error();
}
// An HRESULT as an error code of the system category.
inline std::error_code hresult_code(HRESULT hr) { return {static_cast<int>(hr), std::system_category()}; }

// The advapi32 entry point of that name, or null when it has none. Throws E_UNEXPECTED
// when the module cannot be loaded.
FARPROC find(const char* name);

namespace detail {
FARPROC bind(const char* name);   // find(), or throws E_NOTIMPL
}

#define KV_DECLARE_SECURITY_FUNCTION(name)                                               \
    inline decltype(&::name) name()                                                    \
    {                                                                                  \
        static const auto bound = reinterpret_cast<decltype(&::name)>(detail::bind(#name)); \
        return bound;                                                                  \
    }
KV_SECURITY_FUNCTIONS(KV_DECLARE_SECURITY_FUNCTION)
#undef KV_DECLARE_SECURITY_FUNCTION

// Switches a privilege of the process's access token ("SeBackupPrivilege") on for the
// object's life and then puts back the state it found. Never throws: when the token does
// not hold the privilege, or a security call fails, it changes nothing and reads false.
class scoped_privilege {
public:
    explicit scoped_privilege(const wchar_t* name) noexcept;
    ~scoped_privilege();
    scoped_privilege(const scoped_privilege&) = delete;
    scoped_privilege& operator=(const scoped_privilege&) = delete;

    explicit operator bool() const noexcept { return enabled_; }

private:
    unique_handle token_;
    TOKEN_PRIVILEGES previous_{};   // the privilege's state before, as the token reported it
    bool enabled_ = false;
};

} // namespace kv::security
