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

}  // namespace
}  // namespace tarvolin
