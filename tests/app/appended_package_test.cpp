// The appended update package through a real copy of this test program with a
// package appended: the package made by the publisher's tool is taken over,
// and damaged ones leave everything as it was.
#include "app/appended_package.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "common/files.h"
#include "pipeline/download_list.h"
#include "pipeline/parked_files.h"
#include "pipeline/scheduler.h"
#include "status/update_status.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "updatelist/list_cache_name.h"

namespace tarvolin {
namespace {

using testing::WriteTextFile;

constexpr wchar_t kConfiguration[] =
    L"[Tarvolin]\r\nTempAppPath=1\r\n[UPDATEINFO]\r\nListURL=http://127.0.0.1:1/rel/tarvolin.xml\r\n";

std::string Fixture(const std::wstring& name) {
  return ReadWholeFile(testing::BuildOutputFolder() + L"\\package_fixtures\\" + name).value_or("");
}

class AppendedPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitialize(nullptr);
    folder_.WriteIni(kConfiguration);
    ClearDownloadList();
    program_ = ReadWholeFile(ExecutablePath()).value_or("");
    ASSERT_FALSE(program_.empty());
  }
  void TearDown() override {
    ClearDownloadList();
    ::CoUninitialize();
  }
  static void ClearDownloadList() {
    CurrentDownLoadList().SetRecords({});
    CurrentDownLoadList().SetDescription(L"");
    CurrentDownLoadList().SetTasks({});
  }
  // A copy of this very program with `package` and `trailer` behind it.
  std::wstring ProgramWith(const std::string& package, const std::string& trailer) {
    const std::wstring path = folder_ / L"packaged.exe";
    EXPECT_TRUE(WriteWholeFile(path, program_ + package + trailer));
    return path;
  }
  std::wstring ProgramWith(const std::string& package) {
    return ProgramWith(package, MakePackageTrailer(static_cast<std::uint32_t>(program_.size()),
                                                   static_cast<std::uint32_t>(package.size())));
  }
  std::wstring Parked(const std::wstring& path) { return DownloadFolder() + L"\\" + path + L"_"; }

  testing::ScopedConfigurationFolder folder_;
  std::string program_;
};

TEST_F(AppendedPackageTest, FindsThePackageBehindARealProgram) {
  const std::string package = Fixture(L"release.zip");
  ASSERT_FALSE(package.empty());
  PackageLocation location = LocateAppendedPackage(ProgramWith(package));
  ASSERT_EQ(location.state, TrailerState::kPresent);
  EXPECT_EQ(location.offset, program_.size());
  EXPECT_EQ(location.size, package.size());

  EXPECT_EQ(LocateAppendedPackage(ExecutablePath()).state, TrailerState::kAbsent);
  EXPECT_EQ(LocateAppendedPackage(folder_ / L"no such program.exe").state, TrailerState::kAbsent);
}

TEST_F(AppendedPackageTest, ParksTheDueFilesAndFillsTheDownloadList) {
  ASSERT_TRUE(TakeAppendedPackage(ProgramWith(Fixture(L"release.zip"))));

  // Both files and the deletion are due; the description went out of the records.
  auto records = CurrentDownLoadList().Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(RecordsToUpdate(), 3);
  EXPECT_EQ(CurrentDownLoadList().Description(), L"Offline release\r\n");
  EXPECT_EQ(ReadWholeFile(Parked(L"reader\\book.dat")), Fixture(L"expected_reader_book.dat"));
  EXPECT_EQ(ReadWholeFile(Parked(L"pages.dat")), Fixture(L"expected_pages.dat"));
  EXPECT_FALSE(FileExists(Parked(L"gone.txt")));
  // The download pass will recognise them as fetched for this list and version.
  for (const auto& record : records) {
    if (record.path == L"gone.txt") continue;
    EXPECT_TRUE(IsParkedFor(DownloadFolder() + L"\\" + record.path, BuildFileUrl(record), L"7")) << record.path;
  }
  EXPECT_TRUE(FileExists(CachedListPath()));
  EXPECT_FALSE(FileExists(PackageFolder()));
  EXPECT_FALSE(FileExists(PackageListPath()));
}

TEST_F(AppendedPackageTest, AnInstalledReleaseLeavesTheRunToItsCheck) {
  WriteTextFile(folder_ / L"tarvolin.xml",
                L"<update><file path=\"reader\\book.dat\" ver=\"7\"/><file path=\"pages.dat\" ver=\"7\"/>"
                L"<file path=\"gone.txt\" ver=\"7\" oper=\"del\"/></update>");
  EXPECT_FALSE(TakeAppendedPackage(ProgramWith(Fixture(L"release.zip"))));
  EXPECT_EQ(CurrentDownLoadList().Count(), 0);
}

TEST_F(AppendedPackageTest, DamagedPackagesChangeNothing) {
  const std::string release = Fixture(L"release.zip");
  const auto length = static_cast<std::uint32_t>(program_.size());
  struct Case {
    const char* name;
    std::string package;
    std::string trailer;
  };
  const Case cases[] = {
      {"list is not XML", Fixture(L"bad_list.zip"), ""},
      {"list names a file the package lacks", Fixture(L"lacking.zip"), ""},
      {"package cut in half", release.substr(0, release.size() / 2), ""},
      {"package of noise", std::string(4000, '\x5a'), ""},
      {"trailer points into the program", release, MakePackageTrailer(1000, static_cast<std::uint32_t>(release.size()))},
      {"trailer points past the end", release, MakePackageTrailer(length + 100, static_cast<std::uint32_t>(release.size()))},
      {"trailer cut short", release, MakePackageTrailer(length, static_cast<std::uint32_t>(release.size())).substr(2)},
  };
  for (const Case& c : cases) {
    DeleteTree(DownloadFolder());
    const std::wstring program = c.trailer.empty() ? ProgramWith(c.package) : ProgramWith(c.package, c.trailer);
    EXPECT_FALSE(TakeAppendedPackage(program)) << c.name;
    EXPECT_EQ(CurrentDownLoadList().Count(), 0) << c.name;
    EXPECT_FALSE(FileExists(Parked(L"reader\\book.dat"))) << c.name;
    EXPECT_FALSE(FileExists(Parked(L"pages.dat"))) << c.name;
    EXPECT_FALSE(FileExists(PackageFolder())) << c.name;
    EXPECT_FALSE(FileExists(PackageListPath())) << c.name;
  }
}

TEST_F(AppendedPackageTest, ALeftoverPackageFolderIsReplaced) {
  CreateDirectoryTree(PackageFolder() + L"\\files");
  WriteTextFile(PackageFolder() + L"\\files\\pages.dat", L"stale bytes of an older package");
  ASSERT_TRUE(TakeAppendedPackage(ProgramWith(Fixture(L"release.zip"))));
  EXPECT_EQ(ReadWholeFile(Parked(L"pages.dat")), Fixture(L"expected_pages.dat"));
}

}  // namespace
}  // namespace tarvolin
