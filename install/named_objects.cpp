#include "install/named_objects.h"

#include "actionlog/folder_rights.h"
#include "support/security_api.h"

#include <system_error>
#include <vector>

namespace {

// Security attributes whose access list holds one entry: Everyone with the given access.
class EveryoneAccess {
public:
    explicit EveryoneAccess(DWORD access) : sid_(WellKnownSid(EveryoneAccount))
    {
        namespace sec = kv::security;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + sec::GetLengthSid()(sid_.get()));
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        sec::check(sec::InitializeAcl()(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION));
        sec::check(sec::AddAccessAllowedAce()(acl, ACL_REVISION, access, sid_.get()));
        sec::check(sec::InitializeSecurityDescriptor()(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
        sec::check(sec::SetSecurityDescriptorDacl()(&descriptor_, TRUE, acl, FALSE));
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    SECURITY_ATTRIBUTES* get() { return &attributes_; }

private:
    kv::unique_sid sid_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

constexpr DWORD kSemaphoreAllAccess = 0x1F0003;
constexpr DWORD kMutexAllAccess = 0x1F0001;

} // namespace

std::wstring InstanceCounter::ObjectName(const std::wstring& applicationName)
{
    return L"Global\\" + applicationName + L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
}

InstanceCounter::InstanceCounter(const std::wstring& applicationName)
{
    EveryoneAccess access(kSemaphoreAllAccess);
    semaphore_.reset(::CreateSemaphoreW(access.get(), 0, 0x7FFFFFFF, ObjectName(applicationName).c_str()));
    if (!semaphore_)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "instance counter");
    if (::ReleaseSemaphore(semaphore_.get(), 1, nullptr))
        held_ = 1;
}

InstanceCounter::~InstanceCounter()
{
    for (; held_ > 0; --held_)
        ::WaitForSingleObject(semaphore_.get(), 0);
    if (held_ < 0)
        ::ReleaseSemaphore(semaphore_.get(), -held_, nullptr);
}

long InstanceCounter::Count() const
{
    LONG previous = 0;
    if (!::ReleaseSemaphore(semaphore_.get(), 1, &previous))
        return 0;
    ::WaitForSingleObject(semaphore_.get(), 0);
    return previous;
}

std::wstring ApplicationMutex::ObjectName(const std::wstring& applicationName)
{
    return L"Global\\" + applicationName + L".{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
}

ApplicationMutex::ApplicationMutex(const std::wstring& applicationName)
{
    try {
        EveryoneAccess access(kMutexAllAccess);
        mutex_.reset(::CreateMutexW(access.get(), FALSE, ObjectName(applicationName).c_str()));
    } catch (const std::system_error&) {
        // Without the mutex no installer can start: try_lock fails and the user is told
        // that another installation is running.
    }
}

ApplicationMutex::~ApplicationMutex()
{
    if (owned_)
        ::ReleaseMutex(mutex_.get());
}

bool ApplicationMutex::try_lock()
{
    const DWORD result = mutex_ ? ::WaitForSingleObject(mutex_.get(), 0) : WAIT_FAILED;
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return owned_;
}

void ApplicationMutex::unlock()
{
    ::ReleaseMutex(mutex_.get());
    owned_ = false;
}
