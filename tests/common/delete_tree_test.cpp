#include <windows.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "support/folder_link.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::MakeFolderLink;
using testing::ScratchDrive;
using testing::ReadTextFile;
using testing::TempFolder;
using testing::WriteTextFile;

// A folder outside the tree with a file that must outlive every deletion.
struct Outside {
  TempFolder temp;
  std::wstring folder = temp / L"elsewhere";
  std::wstring sentinel = folder + L"\\sentinel.txt";
  Outside() {
    CreateDirectoryTree(folder);
    WriteTextFile(sentinel, L"keep me");
  }
};

TEST(DeleteTree, RemovesFilesReadOnlyOnesAndFoldersBelow) {
  TempFolder temp;
  const std::wstring tree = temp / L"tree";
  CreateDirectoryTree(tree + L"\\x\\y");
  WriteTextFile(tree + L"\\x\\y\\z.txt", L"z");
  WriteTextFile(tree + L"\\ro.txt", L"r");
  ::SetFileAttributesW((tree + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesW((tree + L"\\x").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_TRUE(DeleteTree(tree + L"\\"));
  EXPECT_FALSE(FileExists(tree));
}

TEST(DeleteTree, RemovesALinkInsideTheTreeButNeverWhatItPointsTo) {
  Outside outside;
  TempFolder temp;
  const std::wstring tree = temp / L"tree";
  CreateDirectoryTree(tree + L"\\sub");
  WriteTextFile(tree + L"\\sub\\own.txt", L"own");
  if (!MakeFolderLink(tree + L"\\sub\\link", outside.folder)) GTEST_SKIP() << "this system makes no folder links";

  DeleteTree(tree);

  EXPECT_EQ(ReadTextFile(outside.sentinel), L"keep me");
  EXPECT_FALSE(FileExists(tree + L"\\sub\\own.txt"));
  // Windows removes the junction and so the whole tree. Wine opens what a Unix
  // link points to even when asked for the link, so there the link (and the
  // folders holding it) stay rather than reach outside.
  EXPECT_TRUE(!FileExists(tree) || FileExists(tree + L"\\sub\\link"));
}

TEST(DeleteTree, GivenALinkRemovesAtMostTheLink) {
  Outside outside;
  TempFolder temp;
  const std::wstring link = temp / L"link";
  if (!MakeFolderLink(link, outside.folder)) GTEST_SKIP() << "this system makes no folder links";

  DeleteTree(link);

  EXPECT_EQ(ReadTextFile(outside.sentinel), L"keep me");
  EXPECT_TRUE(DirectoryExists(outside.folder));
}

TEST(DeleteTree, RefusesRootsEmptyPathsAndFiles) {
  TempFolder temp;
  WriteTextFile(temp / L"plain.txt", L"a file, not a folder");
  const std::wstring system_root = WindowsFolder().substr(0, 3);
  for (const std::wstring& refused :
       {std::wstring(), system_root, system_root.substr(0, 2), std::wstring(L"\\"), std::wstring(L"\\\\?\\C:\\"),
        std::wstring(L"\\\\server\\share"), temp / L"plain.txt"}) {
    EXPECT_FALSE(DeleteTree(refused)) << refused;
  }
  EXPECT_TRUE(DirectoryExists(WindowsFolder()));
  EXPECT_TRUE(FileExists(temp / L"plain.txt"));
}

TEST(DeleteTree, RefusesTheRootOfADrive) {
  TempFolder temp;
  WriteTextFile(temp / L"on the drive.txt", L"still here");
  ScratchDrive drive(temp.path());
  if (drive.name().empty()) GTEST_SKIP() << "no drive letter could be made";
  for (const std::wstring& root : {drive.name() + L"\\", drive.name()}) {
    EXPECT_FALSE(DeleteTree(root)) << root;
    EXPECT_EQ(ReadTextFile(temp / L"on the drive.txt"), L"still here") << root;
  }
}

}  // namespace
}  // namespace tarvolin
