#include "updatelist/destination_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/strings.h"
#include "config/settings.h"
#include "support/configuration_fixture.h"

namespace tarvolin {
namespace {

using Paths = std::vector<std::wstring>;

MacroFolders FakeFolders() {
  MacroFolders folders;
  folders.shell_folder = [](int) { return std::wstring(L"C:\\Shell"); };
  folders.windows_folder = [] { return std::wstring(L"C:\\WIN"); };
  folders.syswow64_folder = [] { return std::wstring(L"C:\\WIN\\SysWOW64"); };
  folders.system_folder = [] { return std::wstring(L"C:\\WIN\\system32"); };
  folders.configuration_folder = [] { return std::wstring(L"C:\\Cfg\\"); };
  return folders;
}

updatefileinfo Record(const wchar_t* path, const wchar_t* dst_name) {
  updatefileinfo record;
  record.path = path;
  record.dstName = dst_name;
  return record;
}

TEST(DestinationPaths, Rules) {
  struct Case {
    const wchar_t* path;
    const wchar_t* dst_name;
    Paths expected;
  } cases[] = {
      // The record's own path under the application folder.
      {L"x.dll", L"", {L"D:\\App\\x.dll"}},
      {L"bin\\x.dll", L"", {L"D:\\App\\bin\\x.dll"}},
      {L"bin/sub/x.dll", L"", {L"D:\\App\\bin\\sub\\x.dll"}},
      {L"\\bin\\\\x.dll", L"", {L"D:\\App\\bin\\x.dll"}},
      // Absolute paths, written or from macros, are used unchanged.
      {L"E:\\Other\\x.dll", L"", {L"E:\\Other\\x.dll"}},
      {L"{sys}\\x.ocx", L"", {L"C:\\WIN\\system32\\x.ocx"}},
      {L"{app}\\x.dll", L"", {L"C:\\Cfg\\x.dll"}},
      // Bare names replace the file name; names with a separator are paths.
      {L"x.dll", L"a.dll;sub\\b.dll", {L"D:\\App\\a.dll", L"D:\\App\\sub\\b.dll"}},
      {L"bin\\x.dll", L"a.dll", {L"D:\\App\\bin\\a.dll"}},
      {L"bin\\x.dll", L"a.dll,b.dll|c.dll", {L"D:\\App\\bin\\a.dll", L"D:\\App\\bin\\b.dll", L"D:\\App\\bin\\c.dll"}},
      {L"x.dll", L"sub/deeper/b.dll", {L"D:\\App\\sub\\deeper\\b.dll"}},
      {L"x.dll", L"{win}\\fonts\\f.ttf", {L"C:\\WIN\\fonts\\f.ttf"}},
      {L"E:/Other/x.dll", L"y.dll", {L"E:/Other/y.dll"}},
      // Duplicates go (exact comparison), empty names are skipped.
      {L"x.dll", L"a.dll;a.dll;;A.dll", {L"D:\\App\\a.dll", L"D:\\App\\A.dll"}},
      {L"x.dll", L"a.dll;", {L"D:\\App\\a.dll"}},
      {L"x.dll", L";,|", {L"D:\\App\\x.dll"}},
      {L"x.dll", L" ", {L"D:\\App\\x.dll"}},
      // Names of folders are never destinations.
      {L"x.dll", L"..;.;sub\\", {L"D:\\App\\x.dll"}},
      {L"x.dll", L"..;b.dll", {L"D:\\App\\b.dll"}},
      {L"", L"", {}},
      {L"sub\\", L"", {}},
      {L"", L"b.dll", {L"D:\\App\\b.dll"}},
  };
  const MacroFolders folders = FakeFolders();
  for (const auto& c : cases) {
    EXPECT_EQ(DestinationPaths(Record(c.path, c.dst_name), L"D:\\App\\", folders), c.expected)
        << c.path << L" / " << c.dst_name;
  }
}

TEST(DestinationPaths, DefaultsToTheConfigurationFolder) {
  testing::ScopedConfigurationFolder configuration;
  EXPECT_EQ(DestinationPaths(Record(L"bin/x.dll", L"a.dll;b.dll")),
            (Paths{configuration / L"bin\\a.dll", configuration / L"bin\\b.dll"}));
}

}  // namespace
}  // namespace tarvolin
