#include "app/uninstall.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "config/settings.h"
#include "support/configuration_fixture.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::WriteTextFile;

TEST(Uninstall, ParentFolders) {
  EXPECT_EQ(ParentFolderOf(L"C:\\a\\b\\c.txt"), L"C:\\a\\b");
  EXPECT_EQ(ParentFolderOf(L"C:\\a\\b\\"), L"C:\\a");
  EXPECT_EQ(ParentFolderOf(L"C:\\a"), L"C:");
}

TEST(Uninstall, OutsideTheBookFolderOnlyWhatAVerifiedListNames) {
  struct Case {
    const wchar_t* path;
    bool verified;
    bool may_delete;
  } cases[] = {
      {L"C:\\Book\\a.dll", false, true},
      {L"C:\\Book\\sub\\a.dll", false, true},
      {L"C:\\Book\\sub", false, true},
      {L"C:\\Windows\\system32\\a.dll", false, false},
      {L"C:\\Book\\..\\Windows\\a.dll", false, false},
      {L"C:\\Bookshelf\\a.dll", false, false},
      {L"C:\\Book", false, false},  // the folder itself is not the list's to remove
      {L"C:\\", false, false},
      {L"C:\\Windows\\system32\\a.dll", true, true},
      {L"C:\\Book\\a.dll", true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UninstallMayDelete(c.path, L"C:\\Book\\", c.verified), c.may_delete) << c.path << " " << c.verified;
  }
}

// An installed list that cannot be verified (this program carries no key) names
// no file outside the book folder that uninstall deletes; nor do the folders
// above the book folder go.
TEST(Uninstall, AnUnverifiedListDeletesNothingOutsideTheBookFolder) {
  ::CoInitialize(nullptr);
  testing::TempFolder outside;
  WriteTextFile(outside / L"victim.txt", L"not the book's");
  testing::ScopedConfigurationFolder folder;
  WriteTextFile(folder / L"book.exe", L"exe");
  folder.WriteIni(L"[Tarvolin]\r\nLog=inst.log\r\n");
  WriteTextFile(folder / L"tarvolin.xml", L"<update><file path=\"book.exe\" ver=\"1\"/><file path=\"" +
                                              (outside / L"victim.txt") + L"\" ver=\"1\"/></update>");

  UninstallFiles();

  EXPECT_FALSE(FileExists(folder / L"book.exe"));
  EXPECT_TRUE(FileExists(outside / L"victim.txt"));
  EXPECT_TRUE(DirectoryExists(folder.path())) << "the book folder itself is not the list's to remove";
  ::CoUninitialize();
}

TEST(Uninstall, RemovesInstalledFilesTheirEmptyFoldersAndTheRunFiles) {
  ::CoInitialize(nullptr);
  testing::ScopedConfigurationFolder folder;
  CreateDirectoryTree(folder / L"data\\deep");
  CreateDirectoryTree(folder / L"keep");
  WriteTextFile(folder / L"book.exe", L"exe");
  WriteTextFile(folder / L"data\\deep\\pages.dat", L"pages");
  WriteTextFile(folder / L"keep\\installed.dat", L"listed");
  WriteTextFile(folder / L"keep\\mine.txt", L"the reader's own file");
  WriteTextFile(folder / L"__oldfiles.lst", L"x");
  WriteTextFile(folder / L"inst.log", L"log");
  folder.WriteIni(L"[Tarvolin]\r\nLog=inst.log\r\n");
  WriteTextFile(folder / L"tarvolin.xml",
                L"<update><file path=\"book.exe\" ver=\"1\"/><file path=\"data\\deep\\pages.dat\" ver=\"1\"/>"
                L"<file path=\"keep\\installed.dat\" ver=\"1\"/><description>news</description></update>");

  UninstallFiles();

  for (const wchar_t* gone : {L"book.exe", L"data\\deep\\pages.dat", L"data", L"keep\\installed.dat",
                              L"__oldfiles.lst", L"inst.log", L"tarvolin.xml"})
    EXPECT_FALSE(FileExists(folder / gone)) << gone;
  EXPECT_TRUE(FileExists(folder / L"keep\\mine.txt"));  // not ours: stays, and so does its folder
  EXPECT_TRUE(FileExists(folder / L"tarvolin.ini"));
  ::CoUninitialize();
}

}  // namespace
}  // namespace tarvolin
