#include "common/path_rules.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(PathRules, RootsAndTheEmptyPath) {
  for (const wchar_t* root : {L"", L"\\", L"C:", L"C:\\", L"c:/", L"\\\\server\\share", L"\\\\server\\share\\",
                              L"\\\\server", L"\\\\?\\C:\\", L"\\\\.\\C:"}) {
    EXPECT_TRUE(IsRootOrEmptyPath(root)) << root;
  }
  for (const wchar_t* folder : {L"C:\\a", L"C:\\a\\", L"\\\\server\\share\\dir", L"relative"}) {
    EXPECT_FALSE(IsRootOrEmptyPath(folder)) << folder;
  }
}

TEST(PathRules, InsideAFolder) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
    bool inside;
  } cases[] = {
      {L"C:\\Book\\a.dll", L"C:\\Book\\", true},
      {L"C:\\Book\\sub\\a.dll", L"C:\\Book", true},
      {L"c:/book/Sub/a.dll", L"C:\\Book\\", true},  // the system ignores case and takes "/" for "\"
      {L"\\\\server\\share\\Book\\a.dll", L"\\\\server\\share\\Book", true},
      {L"C:\\Book", L"C:\\Book\\", false},  // the folder itself
      {L"C:\\Book\\", L"C:\\Book\\", false},
      {L"C:\\Bookshelf\\a.dll", L"C:\\Book\\", false},
      {L"C:\\Windows\\a.dll", L"C:\\Book\\", false},
      {L"D:\\Book\\a.dll", L"C:\\Book\\", false},
      {L"C:\\Book\\..\\Windows\\a.dll", L"C:\\Book\\", false},
      {L"C:\\Book\\sub\\..\\..\\a.dll", L"C:\\Book\\", false},
      {L"C:\\Book\\.\\a.dll", L"C:\\Book\\", false},
      {L"C:\\Book\\... \\a.dll", L"C:\\Book\\", false},  // trailing dots and blanks are dropped
      {L"C:\\Book\\.. \\a.dll", L"C:\\Book\\", false},
      {L"C:\\Book\\\\a.dll", L"C:\\Book\\", false},
      {L"C:\\Book\\a.dll:stream", L"C:\\Book\\", false},
      {L"C:\\Book\\a.dll", L"C:\\Book\\..\\", false},  // a folder that climbs proves nothing
      {L"C:\\Book\\a.dll", L"Book", false},            // nor does a relative one
      {L"C:\\a.dll", L"C:\\", false},                  // nor a root
      {L"C:\\Book\\a.dll", L"", false},
      {L"\\\\?\\C:\\Book\\a.dll", L"\\\\?\\C:\\Book", false},
      {L"a.dll", L"C:\\Book\\", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsInsideFolder(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
}

TEST(PathRules, BareFileNames) {
  for (const wchar_t* name : {L"inst.log", L"my log.txt", L".log", L"a..b", L"日志.log", L"console.log", L"com10",
                              L"nul-file.log"}) {
    EXPECT_TRUE(IsBareFileName(name)) << name;
  }
  for (const wchar_t* name :
       {L"", L"logs\\inst.log", L"logs/inst.log", L"..\\run.bat", L"..", L".", L"...", L". .", L"C:inst.log",
        L"C:\\Windows\\inst.log", L"\\inst.log", L"\\\\server\\share\\inst.log", L"inst.log:stream",
        L"inst.log.", L"inst.log ", L"a*b", L"a?b", L"a<b", L"a>b", L"a|b", L"a\"b", L"a\tb", L"CON", L"con.log",
        L"Nul", L"aux.txt", L"COM1.log", L"lpt9", L"prn .log", L"conout$"}) {
    EXPECT_FALSE(IsBareFileName(name)) << name;
  }
  EXPECT_TRUE(IsBareFileName(std::wstring(255, L'a')));
  EXPECT_FALSE(IsBareFileName(std::wstring(256, L'a')));
}

TEST(PathRules, APathOrInsideItByWholeParts) {
  struct Case {
    const wchar_t* path;
    const wchar_t* target;
    bool matches;
  } cases[] = {
      {L"C:\\Book\\victim.exe", L"C:\\Book\\victim.exe", true},
      {L"c:/book/VICTIM.EXE", L"C:\\Book\\victim.exe", true},
      {L"C:\\Book\\bin\\a.exe", L"C:\\Book\\bin", true},
      {L"C:\\Book\\bin\\a.exe", L"C:\\Book\\bin\\", true},
      {L"C:\\Book\\victim.exe", L"C:\\Book\\victim.ex", false},  // part of a name
      {L"C:\\Book\\victim.exe", L"C:\\Book\\vic", false},
      {L"C:\\Bookshelf\\a.exe", L"C:\\Book", false},
      {L"C:\\Book\\victim.exe.bak", L"C:\\Book\\victim.exe", false},
      {L"D:\\Old\\C\\Book\\victim.exe", L"C:\\Book\\victim.exe", false},
      {L"C:\\Book\\victim.exe", L"Book\\victim.exe", false},  // a relative target names nothing
      {L"C:\\Book\\victim.exe", L"victim.exe", false},
      {L"C:\\Book\\victim.exe", L"", false},
      {L"C:\\Windows\\a.exe", L"C:\\Book\\..", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPathOrInside(c.path, c.target), c.matches) << c.path << " / " << c.target;
}

}  // namespace
}  // namespace tarvolin
