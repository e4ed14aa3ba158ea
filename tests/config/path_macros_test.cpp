#include "config/path_macros.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/process_state.h"
#include "config/settings.h"
#include "support/configuration_fixture.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

// Folders with recognisable names, so each rule shows in the result.
MacroFolders FakeFolders() {
  MacroFolders folders;
  folders.shell_folder = [](int csidl) -> std::wstring {
    switch (csidl) {
      case CSIDL_PROGRAM_FILES: return L"C:\\PF";
      case CSIDL_DESKTOPDIRECTORY: return L"C:\\Desk";
      case CSIDL_COMMON_DESKTOPDIRECTORY: return L"C:\\AllDesk";
      case CSIDL_STARTMENU: return L"C:\\Start";
      case CSIDL_COMMON_PROGRAMS: return L"C:\\AllPrograms";
      case CSIDL_PROGRAMS: return L"C:\\Programs";
      case CSIDL_STARTUP: return L"";  // a folder the shell cannot supply
      default: return L"C:\\Other";
    }
  };
  folders.windows_folder = [] { return std::wstring(L"C:\\WIN"); };
  folders.syswow64_folder = [] { return std::wstring(L"C:\\WIN\\SysWOW64"); };
  folders.system_folder = [] { return std::wstring(L"C:\\WIN\\system32"); };
  folders.configuration_folder = [] { return std::wstring(L"C:\\Cfg\\"); };
  return folders;
}

TEST(PathMacros, ExpansionRules) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"{pf}\\a\\{programfiles}\\b", L"C:\\PF\\a\\C:\\PF\\b"},             // every occurrence
      {L"{commondesktop}\\x", L"C:\\AllDesk\\x"},                            // not eaten by {desktop}
      {L"{startupprograms}|{programs}", L"C:\\AllPrograms|C:\\Programs"},
      {L"{win}\\{app}\\x", L"C:\\WIN\\{app}\\x"},                            // group B: first hit only
      {L"{app}\\{app}", L"C:\\Cfg\\C:\\Cfg\\"},                             // ... but all its occurrences
      {L"{sys}\\{target}", L"C:\\WIN\\system32\\{target}"},
      {L"{syswow64}\\a", L"C:\\WIN\\SysWOW64\\a"},
      {L"{app}\\book.exe", L"C:\\Cfg\\book.exe"},                           // doubled backslash collapsed
      {L"{StartMenu}\\x", L"{StartMenu}\\x"},                               // case-sensitive: untouched
      {L"a\\\\b", L"a\\\\b"},                                                 // no macro: no collapsing
      {L"{startup}\\x", L"\\x"},                                             // unknown folder: empty
      {L"", L""},
  };
  MacroFolders folders = FakeFolders();
  for (const auto& c : cases) EXPECT_EQ(ExpandPathMacros(c.in, folders), c.out) << c.in;
}

TEST(PathMacros, ResolvePath) {
  MacroFolders folders = FakeFolders();
  EXPECT_EQ(ResolvePath(L"C:\\base", L"sub/dir/file.txt", folders), L"C:\\base\\sub\\dir\\file.txt");
  EXPECT_EQ(ResolvePath(L"C:\\base\\", L"\\file.txt", folders), L"C:\\base\\file.txt");
  EXPECT_EQ(ResolvePath(L"C:\\base", L"D:\\abs\\f", folders), L"D:\\abs\\f");
  EXPECT_EQ(ResolvePath(L"C:\\base", L"{app}f.txt", folders), L"C:\\Cfg\\f.txt");
  // A colon only at index 0 is not a drive.
  EXPECT_EQ(ResolvePath(L"C:\\base", L":x", folders), L"C:\\base\\:x");
}

TEST(PathMacros, SystemFoldersOnThisMachine) {
  std::wstring system = SystemFolder();
  EXPECT_EQ(ExpandPathMacros(L"{sys}\\a.dll"), system + L"\\a.dll");
  std::wstring wow = WindowsFolder() + L"\\SysWOW64";
  EXPECT_EQ(ExpandPathMacros(L"{syswow64}"), DirectoryExists(wow) ? wow : system);
  EXPECT_EQ(ExpandPathMacros(L"{win}"), WindowsFolder());
  std::wstring desktop = ExpandPathMacros(L"{desktop}");
  EXPECT_FALSE(desktop.empty());
  EXPECT_NE(desktop.back(), L'\\');
}

class TemporaryFolderTest : public ::testing::Test {
 protected:
  testing::ScopedConfigurationFolder folder_;
};

TEST_F(TemporaryFolderTest, ChoosesBetweenSystemConfigurationAndConfiguredFolder) {
  wchar_t system_temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, system_temp);
  EXPECT_EQ(TemporaryFolder(), system_temp);

  WriteSetting(L"Tarvolin", L"TempPath", L"cache\\\\x");
  EXPECT_EQ(TemporaryFolder(), folder_.path() + L"\\cache\\x");

  WriteSetting(L"Tarvolin", L"TempPath", L"E:\\temp");
  EXPECT_EQ(TemporaryFolder(), L"E:\\temp");

  WriteSetting(L"Tarvolin", L"TempPath", L"{startup}");  // may expand to nothing
  std::wstring startup = ExpandPathMacros(L"{startup}");
  EXPECT_EQ(TemporaryFolder(), startup.empty() ? std::wstring(system_temp) : startup);

  WriteSetting(L"Tarvolin", L"TempAppPath", L"yes");
  EXPECT_EQ(TemporaryFolder(), folder_.path() + L"\\");
}

}  // namespace
}  // namespace tarvolin
