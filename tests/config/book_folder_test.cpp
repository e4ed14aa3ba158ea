#include "config/book_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/files.h"
#include "common/process_state.h"
#include "common/unique_handle.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::TempFolder;
using testing::WriteTextFile;

TEST(BookFolder, IsUnderTheSystemDriveAndIsCreated) {
  std::wstring root = WindowsFolder().substr(0, 3);
  std::wstring key = L"test-book-folder\\nested";
  DeleteTree(root + L"Brennoak\\Vosmir\\test-book-folder");
  std::wstring folder = BookFolder(key);
  EXPECT_EQ(folder, root + L"Brennoak\\Vosmir\\test-book-folder\\nested\\");
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_EQ(BookFolder(L""), root + L"Brennoak\\Vosmir\\");  // no key: the shared folder itself
  DeleteTree(root + L"Brennoak\\Vosmir\\test-book-folder");
}

// One allow entry of a folder's access list, its account as SID text.
struct Grant {
  std::wstring sid;
  ACCESS_MASK rights;
  BYTE flags;
};

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return std::wstring();
  unique_hlocal owned(text);
  return text;
}

std::wstring CurrentUserSid() {
  unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::wstring();
  std::vector<BYTE> buffer(256);
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), buffer.size(), &size)) return std::wstring();
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

std::vector<Grant> AllowEntries(PACL dacl) {
  std::vector<Grant> grants;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    grants.push_back({SidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Mask, allowed->Header.AceFlags});
  }
  return grants;
}

// Everyone, Users, Authenticated Users, Interactive: the other people on the machine.
const wchar_t* const kOtherPeople[] = {L"S-1-1-0", L"S-1-5-32-545", L"S-1-5-11", L"S-1-5-4"};
constexpr wchar_t kEveryone[] = L"S-1-1-0";
constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";

// Any right that changes a folder or what is in it. FILE_APPEND_DATA is also
// FILE_ADD_SUBDIRECTORY, which the shared levels grant on purpose.
constexpr ACCESS_MASK kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                 FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                 GENERIC_ALL;

bool IsOtherPeople(const std::wstring& sid) {
  for (const wchar_t* other : kOtherPeople) {
    if (sid == other) return true;
  }
  return false;
}

ACCESS_MASK RightsOf(const std::vector<Grant>& grants, const std::wstring& sid) {
  ACCESS_MASK rights = 0;
  for (const Grant& grant : grants) {
    if (grant.sid == sid && !(grant.flags & INHERIT_ONLY_ACE)) rights |= grant.rights;
  }
  return rights;
}

// The rules as the system reads them: the descriptor made from the text.
struct ParsedRules {
  unique_hlocal descriptor;
  std::vector<Grant> grants;
  bool is_protected = false;
  explicit ParsedRules(const std::wstring& rules) {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(rules.c_str(), SDDL_REVISION_1, &made, nullptr)) return;
    descriptor.reset(made);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(made, &present, &dacl, &defaulted);
    grants = AllowEntries(dacl);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(made, &control, &revision);
    is_protected = (control & SE_DACL_PROTECTED) != 0;
  }
};

TEST(BookFolderAccess, OnlyTheReaderAndTheSystemMayChangeTheBookFolder) {
  const std::wstring user = CurrentUserSid();
  ASSERT_FALSE(user.empty());
  const ParsedRules book(BookFolderAccessRules(user));
  ASSERT_TRUE(book.descriptor);
  // Protected: nothing the drive's root hands down (it lets every user change
  // what is created there) reaches the folder.
  EXPECT_TRUE(book.is_protected);
  for (const std::wstring& full : {user, std::wstring(kSystem), std::wstring(kAdministrators)}) {
    EXPECT_EQ(RightsOf(book.grants, full) & FILE_ALL_ACCESS, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS)) << full;
  }
  EXPECT_EQ(RightsOf(book.grants, L"S-1-5-32-545") & FILE_GENERIC_READ, static_cast<ACCESS_MASK>(FILE_GENERIC_READ));
  for (const Grant& grant : book.grants) {
    if (!IsOtherPeople(grant.sid)) continue;
    EXPECT_EQ(grant.rights & kChanges, 0u) << grant.sid;
  }

  // The levels above are shared by every book and user: anyone may add a
  // folder there, nobody but the system may change or remove one.
  const ParsedRules shared(SharedFolderAccessRules());
  ASSERT_TRUE(shared.descriptor);
  EXPECT_TRUE(shared.is_protected);
  for (const Grant& grant : shared.grants) {
    if (IsOtherPeople(grant.sid) || grant.sid == user) {
      EXPECT_EQ(grant.rights & kChanges & ~FILE_ADD_SUBDIRECTORY, 0u) << grant.sid;
    }
  }
  EXPECT_NE(RightsOf(shared.grants, L"S-1-5-32-545") & FILE_ADD_SUBDIRECTORY, 0u);
}

// Wine runs these tests as root and maps access checks onto Unix ones, so a
// refused write cannot be seen here; what is checked is the access list the
// system reports for the folders made. Wine keeps no access list of its own:
// it turns the one given into Unix permissions and reports one made back from
// them (the owner, SYSTEM, and Everyone for what all Unix users may do). Both
// there and on Windows the reader keeps full access and nobody else may change
// anything, and Everyone is given nothing at all, where a folder made without
// rules would give Everyone read access under Wine and let every user change
// it on Windows.
TEST(BookFolderAccess, FoldersAreMadeWithTheirRules) {
  const std::wstring root = WindowsFolder().substr(0, 3);
  const std::wstring top = root + L"Brennoak\\Vosmir\\test-book-access";
  DeleteTree(top);
  const std::wstring folder = BookFolder(L"test-book-access\\nested");
  ASSERT_TRUE(DirectoryExists(folder));
  const std::wstring user = CurrentUserSid();

  for (const std::wstring& made : {folder, top}) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(made.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS))
        << made;
    unique_hlocal owned(descriptor);
    const std::vector<Grant> grants = AllowEntries(dacl);
    const ACCESS_MASK allowed_to_others = made == folder ? 0 : FILE_ADD_SUBDIRECTORY;
    for (const Grant& grant : grants) {
      if (!IsOtherPeople(grant.sid)) continue;
      EXPECT_EQ(grant.rights & kChanges & ~allowed_to_others, 0u) << made << " " << grant.sid;
    }
    EXPECT_EQ(RightsOf(grants, kEveryone), 0u) << made;
    if (made == folder) {
      EXPECT_EQ(RightsOf(grants, user) & FILE_ALL_ACCESS, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS)) << made;
    }
  }
  DeleteTree(top);
}

TEST(BookFolder, LauncherFilesPrefixTheKeyAndTheLaterOneWins) {
  TempFolder top;
  std::wstring exe_folder = top / L"bin";
  CreateDirectoryTree(exe_folder);
  EXPECT_EQ(BookFolderKey(exe_folder, L"BOOK"), L"BOOK");

  WriteTextFile(top / L"PelmoraSet.ini", L"[APPLICATION]\r\nPelmoraSetId=set7\r\n");
  EXPECT_EQ(BookFolderKey(exe_folder, L"BOOK"), L"set7\\BOOK");

  WriteTextFile(top / L"PelmoraKC.ini", L"[APPLICATION]\r\nPelmoraSetId=kc9\r\n");
  EXPECT_EQ(BookFolderKey(exe_folder, L"BOOK"), L"kc9\\BOOK");
  RunParameters().Clear();
}

}  // namespace
}  // namespace tarvolin
