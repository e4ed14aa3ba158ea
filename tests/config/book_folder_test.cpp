#include "config/book_folder.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/process_state.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::TempFolder;
using testing::WriteTextFile;

TEST(BookFolder, IsUnderTheSystemDriveAndIsCreated) {
  std::wstring root = WindowsFolder().substr(0, 3);
  std::wstring key = L"test-book-folder\\nested";
  RemoveFolderTree(root + L"Brennoak\\Vosmir\\test-book-folder");
  std::wstring folder = BookFolder(key);
  EXPECT_EQ(folder, root + L"Brennoak\\Vosmir\\test-book-folder\\nested\\");
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_EQ(BookFolder(L""), root + L"Brennoak\\Vosmir\\");  // no key: the shared folder itself
  RemoveFolderTree(root + L"Brennoak\\Vosmir\\test-book-folder");
}

TEST(BookFolder, LauncherFilesPrefixTheKeyAndTheLaterOneWins) {
  TempFolder top;
  std::wstring exe_folder = top / L"bin";
  CreateDirectoryTree(exe_folder);
  EXPECT_EQ(BookFolderKey(exe_folder, L"BOOK"), L"BOOK");

  WriteTextFile(top / L"PelmoraSet.ini", L"[APPLICATION]\r\nPelmoraSetId=set7\r\n");
  EXPECT_EQ(BookFolderKey(exe_folder, L"BOOK"), L"set7\\BOOK");

  WriteTextFile(top / L"PelmoraKC.ini", L"[APPLICATION]\r\nPelmoraSetId=kc9\r\n");
  EXPECT_EQ(BookFolderKey(exe_folder, L"BOOK"), L"kc9\\BOOK");
  RunParameters().Clear();
}

}  // namespace
}  // namespace tarvolin
