// Shell links written for scripts and list records, read back through the shell.
#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "common/strings.h"
#include "install/task_script.h"
#include "tasks/task_fixture.h"

namespace tarvolin {
namespace {

using testing::ReadLink;
using testing::TaskFolder;
using testing::WriteTextFile;

void ExpectLink(const std::wstring& link_path, const std::wstring& target, const std::wstring& folder,
                const std::wstring& icon, int icon_index) {
  SCOPED_TRACE(link_path);
  const auto link = ReadLink(link_path);
  ASSERT_TRUE(link.has_value()) << "no readable link";
  EXPECT_EQ(ToLower(link->target), ToLower(target));
  EXPECT_EQ(ToLower(link->working_folder), ToLower(folder));
  EXPECT_EQ(ToLower(link->icon), ToLower(icon));
  EXPECT_EQ(link->icon_index, icon_index);
}

TEST(CreateShortcut, WritesTargetFolderAndIconAndAddsLnkOnlyWhenMissing) {
  TaskFolder folder;
  const std::wstring target = folder / L"bin\\book.exe";
  CreateDirectoryTree(folder / L"bin");
  WriteTextFile(target, L"MZ");

  ASSERT_TRUE(CreateShortcut(target, folder / L"bin", folder / L"links\\Book", folder / L"book.ico", 2));
  ASSERT_TRUE(CreateShortcut(target, folder / L"bin", folder / L"links\\Other.LNK", L"", 0));

  ExpectLink(folder / L"links\\Book.lnk", target, folder / L"bin", folder / L"book.ico", 2);
  EXPECT_FALSE(FileExists(folder / L"links\\Book"));
  EXPECT_TRUE(FileExists(folder / L"links\\Other.LNK"));
  EXPECT_FALSE(FileExists(folder / L"links\\Other.LNK.lnk"));
}

TEST(CreateShortcut, ScriptElementResolvesEveryPath) {
  TaskFolder folder;
  CreateDirectoryTree(folder / L"bin");
  WriteTextFile(folder / L"bin\\book.exe", L"MZ");
  const std::wstring script = folder.WriteScript(
      L"link.xml", L"<x><shortcut file=\"bin\\book.exe\" shortcut=\"menu\\Read\" shortcuticon=\"art\\book.ico\" "
                   L"iconindex=\"3\"/></x>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  ExpectLink(folder / L"menu\\Read.lnk", folder / L"bin\\book.exe", folder / L"bin", folder / L"art\\book.ico", 3);
  EXPECT_TRUE(Contains(folder.Log(), L"Create shortcut[" + (folder / L"menu\\Read") + L"]...")) << folder.Log();
}

TEST(CreateShortcut, DesktopMacroPutsTheLinkOnTheDesktop) {
  TaskFolder folder;
  WriteTextFile(folder / L"book.exe", L"MZ");
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)));
  CreateDirectoryTree(desktop);
  const std::wstring name = FormatWide(L"tarvolin-task-test-%lu", ::GetCurrentProcessId());
  const std::wstring link = std::wstring(desktop) + L"\\" + name + L".lnk";
  const std::wstring script =
      folder.WriteScript(L"desktop.xml", L"<shortcut file=\"book.exe\" shortcut=\"{desktop}\\" + name + L"\"/>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  const bool created = FileExists(link);
  const auto fields = ReadLink(link);
  ::DeleteFileW(link.c_str());
  EXPECT_TRUE(created) << link;
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(ToLower(fields->target), ToLower(folder / L"book.exe"));
}

TEST(CreateRecordShortcuts, OneLinkPerNamedPlaceBesideOrAtItsPath) {
  TaskFolder folder;
  const std::wstring destination = folder / L"bin\\book.exe";
  CreateDirectoryTree(folder / L"bin");
  WriteTextFile(destination, L"MZ");
  updatefileinfo record;
  record.path = L"bin\\book.exe";
  record.shortcut = L"Read Book,menu\\Book|Read Book";
  record.shortcutIcon = L"art\\book.ico";
  record.iconIndex = L"4";

  CreateRecordShortcuts(destination, record, nullptr);

  ExpectLink(folder / L"bin\\Read Book.lnk", destination, folder / L"bin", folder / L"art\\book.ico", 4);
  ExpectLink(folder / L"menu\\Book.lnk", destination, folder / L"bin", folder / L"art\\book.ico", 4);
  EXPECT_TRUE(Contains(folder.Log(), L"Create shortcut[" + (folder / L"menu\\Book") + L"]...")) << folder.Log();
}

TEST(CreateRecordShortcuts, NoShortcutFieldMeansNoLink) {
  TaskFolder folder;
  const std::wstring destination = folder / L"book.exe";
  WriteTextFile(destination, L"MZ");
  updatefileinfo record;
  record.path = L"book.exe";
  record.shortcut = L" ; ";

  CreateRecordShortcuts(destination, record, nullptr);

  EXPECT_FALSE(FileExists(destination + L".lnk"));
  EXPECT_FALSE(FileExists(folder / L".lnk"));
  EXPECT_FALSE(Contains(folder.Log(), L"Create shortcut"));
}

}  // namespace
}  // namespace tarvolin
