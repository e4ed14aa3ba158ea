#include "app/uninstall.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "config/settings.h"
#include "support/configuration_fixture.h"

namespace tarvolin {
namespace {

using testing::WriteTextFile;

TEST(Uninstall, ParentFolders) {
  EXPECT_EQ(ParentFolderOf(L"C:\\a\\b\\c.txt"), L"C:\\a\\b");
  EXPECT_EQ(ParentFolderOf(L"C:\\a\\b\\"), L"C:\\a");
  EXPECT_EQ(ParentFolderOf(L"C:\\a"), L"C:");
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
