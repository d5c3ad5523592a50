#include "actionlog/folder_rights.h"

#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <vector>

namespace {

constexpr wchar_t kUsers[] = L"S-1-5-32-545";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kEveryone[] = L"S-1-1-0";
constexpr wchar_t kSystem[] = L"S-1-5-18";

std::wstring SidText(PSID sid)
{
    kv::unique_local_ptr<wchar_t> text;
    EXPECT_TRUE(::ConvertSidToStringSidW(sid, text.put()));
    return text.get();
}

// One access-control entry as the tests write and compare it.
struct Ace {
    std::wstring sid;
    DWORD mask;
    BYTE flags = 0;
    BYTE type = ACCESS_ALLOWED_ACE_TYPE;
    bool operator==(const Ace&) const = default;
};

void PrintTo(const Ace& ace, std::ostream* out)
{
    *out << kv::to_utf8(ace.sid) << " mask " << std::hex << ace.mask << " flags " << int(ace.flags) << " type "
         << int(ace.type);
}

// An absolute security descriptor built in memory, as GetFileSecurityW would give it.
class Descriptor {
public:
    // A descriptor whose list holds the entries; with present false, no list at all.
    explicit Descriptor(const std::vector<Ace>& entries, SECURITY_DESCRIPTOR_CONTROL control = 0, bool present = true)
        : acl_(4096)
    {
        EXPECT_TRUE(::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
        PACL acl = reinterpret_cast<PACL>(acl_.data());
        EXPECT_TRUE(::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION));
        for (const Ace& entry : entries) {
            kv::unique_local_ptr<void> sid;
            EXPECT_TRUE(::ConvertStringSidToSidW(entry.sid.c_str(), sid.put()));
            const BOOL added = entry.type == ACCESS_DENIED_ACE_TYPE
                                   ? ::AddAccessDeniedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sid.get())
                                   : ::AddAccessAllowedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sid.get());
            EXPECT_TRUE(added);
        }
        EXPECT_TRUE(::SetSecurityDescriptorDacl(&descriptor_, present, present ? acl : nullptr, FALSE));
        if (control) {
            EXPECT_TRUE(::SetSecurityDescriptorControl(&descriptor_, control, control));
        }
    }

    PSECURITY_DESCRIPTOR get() { return &descriptor_; }

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
};

std::vector<Ace> Entries(const ACL* acl)
{
    std::vector<Ace> entries;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        EXPECT_TRUE(::GetAce(const_cast<ACL*>(acl), i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        entries.push_back({SidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Mask, allowed->Header.AceFlags,
                           allowed->Header.AceType});
    }
    return entries;
}

SECURITY_DESCRIPTOR_CONTROL Control(PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    EXPECT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
    return control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ);
}

constexpr DWORD kFull = 0x1F01FF;
constexpr DWORD kModify = 0x13019F;
constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

TEST(WellKnownSid, BuildsEveryoneAdministratorsUsersAndSystem)
{
    EXPECT_EQ(SidText(WellKnownSid(SystemAccount).get()), L"S-1-5-18");
    EXPECT_EQ(SidText(WellKnownSid(EveryoneAccount).get()), kEveryone);
    EXPECT_EQ(SidText(WellKnownSid(AdministratorsAccount).get()), kAdministrators);
    EXPECT_EQ(SidText(WellKnownSid(UsersAccount).get()), kUsers);
}

TEST(UsersAccessDescriptor, OneUsersEntryAfterTheExplicitAndBeforeTheInheritedEntries)
{
    Descriptor old({{kAdministrators, kFull},
                    {kUsers, FILE_GENERIC_READ},
                    {kEveryone, FILE_WRITE_DATA, 0, ACCESS_DENIED_ACE_TYPE},
                    {kUsers, FILE_GENERIC_READ, INHERITED_ACE | kInherit},
                    {kSystem, kFull, INHERITED_ACE | kInherit},
                    {kUsers, kFull, INHERITED_ACE}});
    UsersAccessDescriptor rewritten(old.get(), kFull, kInherit);
    EXPECT_EQ(Entries(rewritten.acl()), (std::vector<Ace>{{kAdministrators, kFull},
                                                          {kEveryone, FILE_WRITE_DATA, 0, ACCESS_DENIED_ACE_TYPE},
                                                          {kUsers, kFull, kInherit},
                                                          {kSystem, kFull, INHERITED_ACE | kInherit}}));
}

TEST(UsersAccessDescriptor, FileThatInheritsEverythingGetsTheUsersEntryInFrontAndKeepsItsState)
{
    Descriptor old({{kAdministrators, kFull, INHERITED_ACE}, {kUsers, FILE_GENERIC_READ, INHERITED_ACE}},
                   SE_DACL_AUTO_INHERITED);
    UsersAccessDescriptor rewritten(old.get(), kModify, 0);
    EXPECT_EQ(Entries(rewritten.acl()), (std::vector<Ace>{{kUsers, kModify}, {kAdministrators, kFull, INHERITED_ACE}}));
    EXPECT_EQ(Control(rewritten.get()), SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ);
}

TEST(UsersAccessDescriptor, ProtectedListStaysProtected)
{
    Descriptor old({{kAdministrators, kFull}}, SE_DACL_PROTECTED);
    UsersAccessDescriptor rewritten(old.get(), kFull, kInherit);
    EXPECT_EQ(Control(rewritten.get()), SE_DACL_PROTECTED);
    EXPECT_EQ(Entries(rewritten.acl()), (std::vector<Ace>{{kAdministrators, kFull}, {kUsers, kFull, kInherit}}));

    // The usual form of a protected list on Windows ("D:PAI") is marked auto-inherited too.
    Descriptor protectedAndInherited({{kAdministrators, kFull}}, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED);
    UsersAccessDescriptor rewrittenBoth(protectedAndInherited.get(), kFull, kInherit);
    EXPECT_EQ(Control(rewrittenBoth.get()), SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ);
}

TEST(UsersAccessDescriptor, ListWithoutInheritanceStateGetsNone)
{
    Descriptor old({{kAdministrators, kFull}});
    UsersAccessDescriptor rewritten(old.get(), kFull, kInherit);
    EXPECT_EQ(Control(rewritten.get()), 0);
}

TEST(UsersAccessDescriptor, AbsentOrNullListBecomesTheSingleUsersEntry)
{
    Descriptor absent({}, 0, false);
    UsersAccessDescriptor fromAbsent(absent.get(), kModify, 0);
    EXPECT_EQ(Entries(fromAbsent.acl()), (std::vector<Ace>{{kUsers, kModify}}));

    // Marked present but null: a list that grants everyone everything.
    SECURITY_DESCRIPTOR nullList{};
    ASSERT_TRUE(::InitializeSecurityDescriptor(&nullList, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&nullList, TRUE, nullptr, FALSE));
    UsersAccessDescriptor fromNull(&nullList, kFull, kInherit);
    EXPECT_EQ(Entries(fromNull.acl()), (std::vector<Ace>{{kUsers, kFull, kInherit}}));

    Descriptor empty({});
    UsersAccessDescriptor fromEmpty(empty.get(), kFull, kInherit);
    EXPECT_EQ(Entries(fromEmpty.acl()), (std::vector<Ace>{{kUsers, kFull, kInherit}}));
}

TEST(UsersAccessDescriptor, GrantingTwiceGivesTheSameListAsGrantingOnce)
{
    Descriptor old({{kAdministrators, kFull}, {kUsers, FILE_GENERIC_READ}, {kSystem, kFull, INHERITED_ACE}},
                   SE_DACL_AUTO_INHERITED);
    UsersAccessDescriptor once(old.get(), kFull, kInherit);
    UsersAccessDescriptor twice(once.get(), kFull, kInherit);
    EXPECT_EQ(Entries(twice.acl()), Entries(once.acl()));
    EXPECT_EQ(Control(twice.get()), Control(once.get()));
}

TEST(AdministratorsOnlyDescriptor, OnlyAdministratorsAndSystemMayChangeTheFolderOrWhatItHolds)
{
    constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";
    constexpr wchar_t kOwnerRights[] = L"S-1-3-4";
    kv::unique_local_ptr<void> user;
    ASSERT_TRUE(::ConvertStringSidToSidW(kUser, user.put()));
    AdministratorsOnlyDescriptor descriptor(user.get());

    constexpr DWORD kRead = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    EXPECT_EQ(Entries(descriptor.acl()), (std::vector<Ace>{{kAdministrators, kFull, kInherit},
                                                           {kSystem, kFull, kInherit},
                                                           {kUser, kRead, kInherit},
                                                           {kOwnerRights, kRead, kInherit}}));
    // Nothing of the parent's list (the user's full control of their temporary folder).
    EXPECT_EQ(Control(descriptor.get()), SE_DACL_PROTECTED);
    // Reading grants no way to change, add, remove or rename anything, nor the list itself.
    EXPECT_EQ(kRead & (FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD
                       | DELETE | WRITE_DAC | WRITE_OWNER),
              0u);
    EXPECT_EQ(AdministratorsOnlyDescriptor::kReadAccess, kRead);
}

TEST(ProcessUserSid, IsTheUserOfTheProcessToken)
{
    kv::unique_handle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    std::vector<BYTE> buffer(256);
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, buffer.data(), 256, &size));
    std::vector<BYTE> sid = ProcessUserSid();
    EXPECT_EQ(SidText(sid.data()), SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid));
}

TEST(GrantUsersAccess, MissingFileRaisesTheHresultOfTheSystemError)
{
    testing_support::TemporaryFolder folder;
    try {
        GrantUsersAccess(folder / L"gone.kvl", kModify, 0);
        FAIL() << "granted access to a missing file";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().category(), std::system_category());
        EXPECT_EQ(static_cast<unsigned>(error.code().value()), 0x80070002u);   // ERROR_FILE_NOT_FOUND
    }
}

} // namespace
