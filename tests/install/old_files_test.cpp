#include "install/old_files.h"

#include <gtest/gtest.h>

#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "install/backup_rules.h"
#include "install_fixture.h"
#include "support/folder_link.h"

namespace tarvolin {
namespace {

using testing::InstallFolders;
using testing::MakeFolderLink;
using testing::ReadTextFile;
using testing::TempFolder;
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

TEST(OldFilesList, OnlyBackupsOfFilesInTheApplicationFolderAreOurs) {
  const std::wstring app = L"C:\\Brennoak\\Vosmir\\book\\";
  struct Case {
    const wchar_t* listed;
    ListedBackup verdict;
  } cases[] = {
      {L"C:\\Brennoak\\Vosmir\\book\\a.dll.__old", ListedBackup::Ours},
      {L"C:\\Brennoak\\Vosmir\\book\\sub\\b.exe.__old7", ListedBackup::Ours},
      {L"c:\\brennoak\\vosmir\\BOOK\\a.dll.__old0", ListedBackup::Ours},
      {L"C:\\Brennoak\\Vosmir\\book\\a.dll", ListedBackup::NotABackup},
      {L"C:\\Brennoak\\Vosmir\\book\\a.dll.__older", ListedBackup::NotABackup},
      {L"C:\\Brennoak\\Vosmir\\book\\a.dll.__old10", ListedBackup::NotABackup},
      {L"C:\\Brennoak\\Vosmir\\book\\.__old", ListedBackup::NotABackup},
      {L"C:\\Windows\\system32\\kernel32.dll", ListedBackup::NotABackup},
      {L"C:\\Windows\\system32\\kernel32.dll.__old", ListedBackup::OutsideFolder},
      {L"C:\\Brennoak\\Vosmir\\book.dll.__old", ListedBackup::OutsideFolder},
      {L"C:\\Brennoak\\Vosmir\\bookshelf\\a.dll.__old", ListedBackup::OutsideFolder},
      {L"C:\\Brennoak\\Vosmir\\book\\..\\other\\a.dll.__old", ListedBackup::OutsideFolder},
      {L"C:\\Brennoak\\Vosmir\\book\\sub\\..\\..\\..\\..\\Windows\\a.dll.__old", ListedBackup::OutsideFolder},
      {L"C:\\Brennoak\\Vosmir\\book\\a.dll:hidden.__old", ListedBackup::OutsideFolder},
      {L"\\\\?\\C:\\Brennoak\\Vosmir\\book\\a.dll.__old", ListedBackup::OutsideFolder},
      {L"a.dll.__old", ListedBackup::OutsideFolder},
  };
  for (const Case& c : cases) EXPECT_EQ(JudgeListedBackup(c.listed, app), c.verdict) << c.listed;
}

TEST(OldFiles, APlantedListTouchesNothingButOurOwnBackups) {
  InstallFolders folders;
  TempFolder elsewhere_temp;
  const std::wstring elsewhere = elsewhere_temp.path();
  WriteTextFile(elsewhere + L"\\victim.dll", L"a file of another program");
  WriteTextFile(elsewhere + L"\\victim.dll.__old", L"looks like a backup, lies elsewhere");
  WriteTextFile(elsewhere + L"\\lonely.dll.__old", L"a backup name with no original, elsewhere");
  WriteTextFile(elsewhere + L"\\document.txt", L"the user's document");
  folders.WriteApp(L"settings.ini", L"not a backup");
  folders.WriteApp(L"a.dll", L"new a");
  folders.WriteApp(L"a.dll.__old", L"old a");
  folders.WriteApp(L"sub\\b.exe", L"new b");
  folders.WriteApp(L"sub\\b.exe.__old3", L"old b");
  const bool linked = MakeFolderLink(folders.App(L"link"), elsewhere);

  struct Entry {
    std::wstring listed;
    std::wstring kept;  // a file that must be there, unchanged, afterwards; empty for our backups
  } entries[] = {
      {elsewhere + L"\\victim.dll.__old", elsewhere + L"\\victim.dll.__old"},
      {elsewhere + L"\\lonely.dll.__old", elsewhere + L"\\lonely.dll.__old"},
      {elsewhere + L"\\document.txt", elsewhere + L"\\document.txt"},
      {folders.App(L"settings.ini"), folders.App(L"settings.ini")},
      {folders.App(L"..\\") + FileNameOf(elsewhere) + L"\\victim.dll.__old", elsewhere + L"\\victim.dll.__old"},
      {folders.App(L"link\\victim.dll.__old"), elsewhere + L"\\victim.dll.__old"},
      {folders.App(L"a.dll.__old"), L""},
      {folders.App(L"sub\\b.exe.__old3"), L""},
  };
  std::string planted;
  for (const Entry& entry : entries) planted += "\r\n" + WideToUtf8(entry.listed);
  ASSERT_TRUE(WriteWholeFile(OldFilesListPath(), planted));
  std::vector<std::pair<std::wstring, std::wstring>> before;
  for (const Entry& entry : entries) {
    if (!entry.kept.empty()) before.emplace_back(entry.kept, ReadTextFile(entry.kept));
  }

  PurgeOldFiles();

  for (const auto& [kept, text] : before) EXPECT_EQ(ReadTextFile(kept), text) << kept;
  EXPECT_EQ(ReadTextFile(elsewhere + L"\\victim.dll"), L"a file of another program");
  EXPECT_FALSE(FileExists(elsewhere + L"\\lonely.dll"));  // nothing was put back there either
  EXPECT_FALSE(FileExists(folders.App(L"a.dll.__old")));
  EXPECT_FALSE(FileExists(folders.App(L"sub\\b.exe.__old3")));
  EXPECT_EQ(ReadTextFile(folders.App(L"a.dll")), L"new a");
  // What was skipped would be skipped at every start: it does not keep the list.
  EXPECT_FALSE(FileExists(OldFilesListPath()));
  const std::wstring log = folders.Log();
  for (const Entry& entry : entries) {
    if (entry.listed == folders.App(L"link\\victim.dll.__old") && !linked) continue;
    const bool skipped = log.find(L"skip listed file[" + entry.listed + L"]") != std::wstring::npos;
    EXPECT_EQ(skipped, !entry.kept.empty()) << entry.listed;
  }
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
