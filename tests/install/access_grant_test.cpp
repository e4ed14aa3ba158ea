#include "install/access_grant.h"

#include <gtest/gtest.h>

#include "config/path_macros.h"
#include "config/settings.h"
#include "install_fixture.h"

namespace tarvolin {
namespace {

using testing::InstallFolders;

TEST(AccessGrant, ParametersQuoteThePath) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\Book\\a.dll", L"\"C:\\Book\\a.dll\" /grant Users:(D,WDAC)"},
      {L"C:\\My Books\\x y.dat", L"\"C:\\My Books\\x y.dat\" /grant Users:(D,WDAC)"},
      // An apostrophe belongs to the name and must reach the tool unchanged.
      {L"C:\\Reader's Book\\a.dll", L"\"C:\\Reader's Book\\a.dll\" /grant Users:(D,WDAC)"},
  };
  for (const auto& [path, parameters] : cases) EXPECT_EQ(IcaclsParameters(path), parameters);
}

TEST(AccessGrant, ToolOnlyWhenConfigured) {
  {
    InstallFolders off;
    EXPECT_EQ(ConfiguredGrantTool(), L"");
  }
  InstallFolders on(L"icacls=1\r\n");
  const std::wstring tool = ConfiguredGrantTool();
  EXPECT_EQ(ToLower(tool), ToLower(ExpandPathMacros(L"{sys}\\icacls.exe")));
  EXPECT_TRUE(FileExists(tool));  // Wine carries the tool
}

TEST(AccessGrant, StartsTheToolOncePerPath) {
  InstallFolders folders;
  // The helper stands in for the tool and writes down what it was given.
  const std::wstring tool = folders.App(L"tool\\grant.exe");
  CreateDirectoryTree(FolderOf(tool));
  ASSERT_TRUE(::CopyFileW(testing::BuiltProgram(testing::kHelperProgram).c_str(), tool.c_str(), FALSE));
  const std::wstring first = folders.App(L"a b\\one.dll");
  const std::wstring second = folders.App(L"two.dll");

  GrantUsersAccess(tool, {first, second});

  const std::wstring expected = IcaclsParameters(first) + L"\n" + IcaclsParameters(second) + L"\n";
  const std::wstring other_order = IcaclsParameters(second) + L"\n" + IcaclsParameters(first) + L"\n";
  // The tool is not waited for: poll until both starts have written their line.
  std::wstring seen;
  for (int i = 0; i < 600 && seen.size() < expected.size(); ++i) {
    ::Sleep(50);
    seen = testing::ReadTextFile(tool + L".args");
  }
  EXPECT_TRUE(seen == expected || seen == other_order) << seen;
}

// Users get delete and re-permission rights only on what lies in the book
// folder; a destination elsewhere (a system folder, a path that climbs out)
// keeps the rights it has.
TEST(AccessGrant, OnlyPathsInsideTheBookFolderAreGranted) {
  InstallFolders folders;
  const std::wstring tool = folders.App(L"tool\\grant.exe");
  CreateDirectoryTree(FolderOf(tool));
  ASSERT_TRUE(::CopyFileW(testing::BuiltProgram(testing::kHelperProgram).c_str(), tool.c_str(), FALSE));
  const std::wstring inside = folders.App(L"sub\\in.dll");
  std::wstring book_folder = ConfigurationFolder();
  while (!book_folder.empty() && book_folder.back() == L'\\') book_folder.pop_back();
  const std::wstring outside[] = {
      ExpandPathMacros(L"{sys}\\kernel32.dll"),
      folders.App(L"..\\beside.dll"),
      folders.App(L"sub\\..\\..\\climbed.dll"),
      folders.App(L"in.dll:stream"),
      book_folder + L"shelf\\a.dll",  // a sibling whose name starts like the folder's
      L"relative.dll",
  };
  std::vector<std::wstring> paths(std::begin(outside), std::end(outside));
  paths.push_back(inside);

  GrantUsersAccess(tool, paths);

  const std::wstring expected = IcaclsParameters(inside) + L"\n";
  std::wstring seen;
  for (int i = 0; i < 600 && seen.size() < expected.size(); ++i) {
    ::Sleep(50);
    seen = testing::ReadTextFile(tool + L".args");
  }
  ::Sleep(1000);  // the tool is never waited for; give a wrongly started one time to write
  EXPECT_EQ(testing::ReadTextFile(tool + L".args"), expected);
  for (const std::wstring& path : outside) {
    EXPECT_NE(folders.Log().find(L"no grant for [" + path + L"]"), std::wstring::npos) << path;
  }
}

TEST(AccessGrant, NothingStartsWithoutATool) {
  InstallFolders folders;
  // A start would be seen two ways: the stand-in tool beside the missing name
  // (the shell finds "grant.exe" for "grant") writes down its arguments, and a
  // start that fails leaves a log line.
  const std::wstring stand_in = folders.App(L"tool\\grant.exe");
  CreateDirectoryTree(FolderOf(stand_in));
  ASSERT_TRUE(::CopyFileW(testing::BuiltProgram(testing::kHelperProgram).c_str(), stand_in.c_str(), FALSE));
  const std::wstring dll = folders.App(L"a.dll");
  const std::wstring cases[] = {folders.App(L"tool\\grant"), folders.App(L"no-such-tool.exe"), L""};

  for (const std::wstring& tool : cases) GrantUsersAccess(tool, {dll});
  // The tool is never waited for. A tool that is there, started after the
  // others, has written down its arguments once a wrongly started one would have.
  const std::wstring sentinel = folders.App(L"tool\\sentinel.exe");
  ASSERT_TRUE(::CopyFileW(testing::BuiltProgram(testing::kHelperProgram).c_str(), sentinel.c_str(), FALSE));
  GrantUsersAccess(sentinel, {folders.App(L"sentinel.dll")});

  ASSERT_TRUE(testing::WaitForFile(sentinel + L".args", 30000));
  EXPECT_FALSE(FileExists(stand_in + L".args"));
  EXPECT_EQ(folders.Log().find(dll), std::wstring::npos) << folders.Log();
}

}  // namespace
}  // namespace tarvolin
