#include "install/old_files.h"

#include <gtest/gtest.h>

#include "common/unique_handle.h"
#include "install_fixture.h"

namespace tarvolin {
namespace {

using testing::InstallFolders;
using testing::ReadTextFile;
using testing::WriteTextFile;

TEST(OldFilesList, LinesAreTrimmedAndEmptyOnesSkipped) {
  EXPECT_EQ(ParseOldFilesList("\r\nC:\\a.__old\r\n  \r\n\tC:\\b c\\d.__old3 \r\n"),
            (std::vector<std::wstring>{L"C:\\a.__old", L"C:\\b c\\d.__old3"}));
  EXPECT_TRUE(ParseOldFilesList("").empty());
  // Written as UTF-8, so names outside the ANSI code page come back whole.
  EXPECT_EQ(ParseOldFilesList("\r\nC:\\\xE4\xB9\xA6.__old"), std::vector<std::wstring>{L"C:\\\x4E66.__old"});
}

TEST(OldFilesList, OriginalOfABackupName) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\a\\b.dll.__old", L"C:\\a\\b.dll"},   {L"C:\\a\\b.dll.__old0", L"C:\\a\\b.dll"},
      {L"C:\\a\\b.dll.__old9", L"C:\\a\\b.dll"},  {L"C:\\a\\b.dll.__old10", L""},
      {L"C:\\a\\b.dll.__oldx", L""},              {L"C:\\a\\b.dll", L""},
      {L"C:\\a\\.__old", L""},                    {L".__old", L""},
      {L"C:\\x.__old\\b.dll.__old", L"C:\\x.__old\\b.dll"},
  };
  for (const auto& [backup, original] : cases) EXPECT_EQ(OriginalOfBackup(backup), original) << backup;
}

TEST(OldFiles, RecordedBackupsArePurgedAtTheNextStart) {
  InstallFolders folders;
  folders.WriteApp(L"a.dll", L"new a");
  folders.WriteApp(L"a.dll.__old", L"old a");
  folders.WriteApp(L"sub\\b.exe", L"new b");
  folders.WriteApp(L"sub\\b.exe.__old0", L"old b");
  ::SetFileAttributesW(folders.App(L"sub\\b.exe.__old0").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(RecordOldFile(folders.App(L"a.dll.__old")));
  ASSERT_TRUE(RecordOldFile(folders.App(L"sub\\b.exe.__old0")));
  ASSERT_TRUE(RecordOldFile(folders.App(L"gone.dll.__old")));  // already deleted by someone

  EXPECT_EQ(ReadTextFile(OldFilesListPath()), L"\r\n" + folders.App(L"a.dll.__old") + L"\r\n" +
                                                  folders.App(L"sub\\b.exe.__old0") + L"\r\n" +
                                                  folders.App(L"gone.dll.__old"));
  PurgeOldFiles();

  EXPECT_FALSE(FileExists(folders.App(L"a.dll.__old")));
  EXPECT_FALSE(FileExists(folders.App(L"sub\\b.exe.__old0")));
  EXPECT_EQ(ReadTextFile(folders.App(L"a.dll")), L"new a");
  EXPECT_EQ(ReadTextFile(folders.App(L"sub\\b.exe")), L"new b");
  EXPECT_FALSE(FileExists(OldFilesListPath()));
}

TEST(OldFiles, ABackupThatCannotBeDeletedKeepsTheListForNextTime) {
  InstallFolders folders;
  folders.WriteApp(L"a.dll", L"new a");
  folders.WriteApp(L"a.dll.__old", L"old a");
  folders.WriteApp(L"c.dll", L"new c");
  folders.WriteApp(L"c.dll.__old", L"old c");
  RecordOldFile(folders.App(L"a.dll.__old"));
  RecordOldFile(folders.App(L"c.dll.__old"));
  {
    // Held without sharing, as a program still running from the backup would.
    unique_hfile held(::CreateFileW(folders.App(L"a.dll.__old").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    PurgeOldFiles();
    EXPECT_TRUE(FileExists(folders.App(L"a.dll.__old")));
    EXPECT_FALSE(FileExists(folders.App(L"c.dll.__old")));
    EXPECT_TRUE(FileExists(OldFilesListPath()));
  }
  PurgeOldFiles();
  EXPECT_FALSE(FileExists(folders.App(L"a.dll.__old")));
  EXPECT_FALSE(FileExists(OldFilesListPath()));
}

TEST(OldFiles, ABackupWhoseOriginalIsMissingIsPutBack) {
  // A run ended after moving the old file aside and before the new one was in
  // place: the user's file must come back, not be purged.
  InstallFolders folders;
  folders.WriteApp(L"book.exe.__old", L"the old program");
  folders.WriteApp(L"book.exe.__old0", L"the program of the last run");
  RecordOldFile(folders.App(L"book.exe.__old"));
  RecordOldFile(folders.App(L"book.exe.__old0"));

  PurgeOldFiles();

  EXPECT_EQ(ReadTextFile(folders.App(L"book.exe")), L"the program of the last run");
  EXPECT_FALSE(FileExists(folders.App(L"book.exe.__old")));
  EXPECT_FALSE(FileExists(folders.App(L"book.exe.__old0")));
  EXPECT_FALSE(FileExists(OldFilesListPath()));
  EXPECT_NE(folders.Log().find(L"restore backup[" + folders.App(L"book.exe.__old0") + L"]"), std::wstring::npos);
}

TEST(OldFiles, NoListNothingToDo) {
  InstallFolders folders;
  folders.WriteApp(L"keep.dll.__old", L"not listed");
  PurgeOldFiles();
  EXPECT_TRUE(FileExists(folders.App(L"keep.dll.__old")));
}

}  // namespace
}  // namespace tarvolin
