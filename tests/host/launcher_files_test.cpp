#include "host/launcher_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/files.h"
#include "common/process_state.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::TempFolder;
using testing::WriteTextFile;

constexpr wchar_t kClientIni[] = L"[APPLICATION]\r\nPelmoraSetId=KC-1\r\nName=Client name\r\nCode=K7\r\n";
constexpr wchar_t kPackageIni[] = L"[APPLICATION]\r\nPelmoraSetId=SET-9\r\nName=Package name\r\n";

// The launcher files sit in the folder above the program's.
class LauncherFolder {
 public:
  LauncherFolder(bool client_ini, bool package_ini) {
    CreateDirectoryTree(root_ / L"program");
    if (client_ini) WriteTextFile(root_ / L"PelmoraKC.ini", kClientIni);
    if (package_ini) WriteTextFile(root_ / L"PelmoraSet.ini", kPackageIni);
  }
  LauncherFiles Files() const { return LauncherFiles(root_ / L"program"); }
  std::wstring operator/(const std::wstring& name) const { return root_ / name; }

 private:
  TempFolder root_;
};

TEST(LauncherFiles, SettingsPackageIdAndTarget) {
  const struct {
    const char* name;
    bool client_ini;
    bool package_ini;
    std::optional<std::wstring> package_id;
    std::wstring name_value;
    std::wstring code_value;
    const wchar_t* target;
  } cases[] = {
      {"none", false, false, std::nullopt, L"", L"", L""},
      {"client only", true, false, L"KC-1", L"Client name", L"K7", L"PelmoraKC.exe"},
      {"package only", false, true, L"SET-9", L"Package name", L"", L"PelmoraSet.exe"},
      // The package's file wins every key, even one it lacks; the client's launcher is started.
      {"both", true, true, L"SET-9", L"Package name", L"", L"PelmoraKC.exe"},
  };
  for (const auto& c : cases) {
    testing::ScopedConfigurationFolder configuration;
    const LauncherFolder folder(c.client_ini, c.package_ini);
    const LauncherFiles files = folder.Files();
    EXPECT_EQ(files.PackageId(), c.package_id) << c.name;
    EXPECT_EQ(files.LauncherSetting(L"Name"), c.name_value) << c.name;
    EXPECT_EQ(files.LauncherSetting(L"Code"), c.code_value) << c.name;
    const std::wstring target = files.LauncherTarget();
    EXPECT_EQ(target.empty() ? L"" : FileNameOf(target), c.target) << c.name;
    // The launcher's Name is not the book's: the run's settings never see it.
    EXPECT_FALSE(RunParameters().Find(L"APPLICATIONName")) << c.name;
  }
}

std::wstring StandIn() { return testing::BuildOutputFolder() + L"\\fake_ebook.exe"; }

TEST(LauncherFiles, StartsTheClientLauncherWithActive) {
  const LauncherFolder folder(true, false);
  ASSERT_TRUE(::CopyFileW(StandIn().c_str(), (folder / L"PelmoraKC.exe").c_str(), FALSE));
  {
    testing::ScopedCurrentFolder here(folder / L"");
    ASSERT_TRUE(folder.Files().LaunchEbookLauncher());
  }
  // The stand-in writes "started.txt" into the current folder it inherited.
  ASSERT_TRUE(testing::WaitForFile(folder / L"started.txt", 10000));
  // The stand-in writes right after creating the file: wait for the whole line.
  const std::wstring expected = L"-Active";
  std::string bytes;
  for (int waited = 0; waited < 10000; waited += 20) {
    bytes = ReadWholeFile(folder / L"started.txt").value_or("");
    if (bytes.size() >= expected.size() * sizeof(wchar_t)) break;
    ::Sleep(20);
  }
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)), expected);
}

TEST(LauncherFiles, NothingStartsWithoutTheTargetOrItsSettings) {
  const LauncherFolder client_without_program(true, false);
  // The package launcher exists, but the client's settings make the client's the target.
  ASSERT_TRUE(::CopyFileW(StandIn().c_str(), (client_without_program / L"PelmoraSet.exe").c_str(), FALSE));
  const LauncherFolder no_settings(false, false);
  ASSERT_TRUE(::CopyFileW(StandIn().c_str(), (no_settings / L"PelmoraKC.exe").c_str(), FALSE));
  for (const LauncherFolder* folder : {&client_without_program, &no_settings}) {
    testing::ScopedCurrentFolder here(*folder / L"");
    EXPECT_FALSE(folder->Files().LaunchEbookLauncher());
  }
  ::Sleep(1000);
  EXPECT_FALSE(FileExists(client_without_program / L"started.txt"));
  EXPECT_FALSE(FileExists(no_settings / L"started.txt"));
}

}  // namespace
}  // namespace tarvolin
