#include "install/file_replacement.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "install/backup_rules.h"
#include "install/old_files.h"
#include "install_fixture.h"

namespace tarvolin {
namespace {

using testing::ChildProcess;
using testing::InstallFolders;
using testing::ReadTextFile;
using testing::WriteTextFile;

TEST(BackupNames, PlainNameFirstThenTenNumberedOnes) {
  EXPECT_EQ(BackupName(L"C:\\a\\b.dll", -1), L"C:\\a\\b.dll.__old");
  EXPECT_EQ(BackupName(L"C:\\a\\b.dll", 0), L"C:\\a\\b.dll.__old0");
  EXPECT_EQ(BackupName(L"C:\\a\\b.dll", 9), L"C:\\a\\b.dll.__old9");
}

class UpdateOneFileTest : public ::testing::Test {
 protected:
  InstallFolders folders_;

  // A copy of the helper program, running from `relative` in the application folder.
  std::wstring StartRunningProgram(ChildProcess& child, const std::wstring& relative) {
    const std::wstring program = folders_.App(relative);
    CreateDirectoryTree(FolderOf(program));
    EXPECT_TRUE(::CopyFileW(testing::BuiltProgram(testing::kHelperProgram).c_str(), program.c_str(), FALSE));
    const std::wstring ready = folders_.App(L"ready.txt");
    EXPECT_TRUE(child.Start(testing::Quoted(program) + L" stay " + testing::Quoted(ready)));
    EXPECT_TRUE(testing::WaitForFile(ready));
    return program;
  }
};

TEST_F(UpdateOneFileTest, EveryDestinationGetsACopyAndTheDownloadGoesWithTheLast) {
  const std::wstring source = folders_.Park(L"x.dll", L"new");
  folders_.WriteApp(L"a.dll", L"old a");
  ::SetFileAttributesW(folders_.App(L"a.dll").c_str(), FILE_ATTRIBUTE_READONLY);

  CopyJournal journal;
  ASSERT_TRUE(UpdateOneFile(source, {folders_.App(L"a.dll"), folders_.App(L"sub\\b.dll")}, journal));

  EXPECT_EQ(ReadTextFile(folders_.App(L"a.dll")), L"new");
  EXPECT_EQ(ReadTextFile(folders_.App(L"sub\\b.dll")), L"new");
  EXPECT_FALSE(FileExists(source + L"_"));  // gone once the last destination has it
  // The replaced file is kept, attributes and all, for a return to it; the
  // added one had nothing to keep.
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.dll.__old")), L"old a");
  EXPECT_EQ(::GetFileAttributesW(folders_.App(L"a.dll.__old").c_str()) & FILE_ATTRIBUTE_READONLY,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(::GetFileAttributesW(folders_.App(L"a.dll").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_FALSE(FileExists(folders_.App(L"sub\\b.dll.__old")));
  EXPECT_EQ(ParseOldFilesList(*ReadWholeFile(OldFilesListPath())),
            std::vector<std::wstring>{folders_.App(L"a.dll.__old")});
  const std::vector<PlacedFile> expected = {{folders_.App(L"a.dll"), folders_.App(L"a.dll.__old"), L""},
                                            {folders_.App(L"sub\\b.dll"), L"", source + L"_"}};
  EXPECT_EQ(journal.Changes().files, expected);
  EXPECT_EQ(journal.Changes().created_folders, std::vector<std::wstring>{folders_.App(L"sub")});
  for (const wchar_t* staged : {L"a.dll.__new", L"sub\\b.dll.__new"}) EXPECT_FALSE(FileExists(folders_.App(staged)));
  const std::wstring log = folders_.Log();
  EXPECT_NE(log.find(L"update file[" + folders_.App(L"a.dll") + L"]"), std::wstring::npos) << log;
  EXPECT_NE(log.find(L"update file[" + folders_.App(L"sub\\b.dll") + L"]"), std::wstring::npos) << log;
}

// The copy beside each destination is checked while nobody can write to it,
// right before it goes in; one that fails leaves the destination as it was.
TEST_F(UpdateOneFileTest, EachCopyPassesItsCheckWhileNobodyCanWriteIt) {
  const std::wstring source = folders_.Park(L"x.dll", L"new");
  folders_.WriteApp(L"a.dll", L"old a");
  std::vector<std::wstring> checked;
  bool writable_while_checked = false;
  const StagedFileCheck check = [&](const std::wstring& staged) {
    checked.push_back(staged);
    HANDLE writer = ::CreateFileW(staged.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer != INVALID_HANDLE_VALUE) {
      writable_while_checked = true;
      ::CloseHandle(writer);
    }
    return ReadTextFile(staged) == L"new";
  };
  CopyJournal journal;
  ASSERT_TRUE(UpdateOneFile(source, {folders_.App(L"a.dll"), folders_.App(L"sub\\b.dll")}, journal, check));
  EXPECT_EQ(checked, (std::vector<std::wstring>{folders_.App(L"a.dll.__new"), folders_.App(L"sub\\b.dll.__new")}));
  EXPECT_FALSE(writable_while_checked);
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.dll")), L"new");

  const std::wstring forged = folders_.Park(L"y.dll", L"forged");
  CopyJournal second;
  EXPECT_FALSE(UpdateOneFile(forged, {folders_.App(L"a.dll")}, second, check));
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.dll")), L"new");
  EXPECT_FALSE(FileExists(folders_.App(L"a.dll.__new")));
  EXPECT_TRUE(FileExists(forged + L"_"));  // the download stays for the retry
}

TEST_F(UpdateOneFileTest, ARunningProgramIsMovedAsideAndListed) {
  ChildProcess running;
  const std::wstring program = StartRunningProgram(running, L"bin\\book.exe");
  const auto old_bytes = ReadWholeFile(program);
  const std::wstring source = folders_.Park(L"bin\\book.exe", L"new program");

  CopyJournal journal;
  ASSERT_TRUE(UpdateOneFile(source, {program}, journal)) << folders_.Log();
  const std::vector<PlacedFile>& placed = journal.Changes().files;

  EXPECT_EQ(ReadTextFile(program), L"new program");
  // The system keeps a running program's file and every other name of it, so
  // a link made for the backup may stay beside the moved one; each is listed.
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(OriginalOfBackup(placed[0].backup), program);
  EXPECT_EQ(ReadWholeFile(placed[0].backup), old_bytes);
  const std::vector<std::wstring> listed = ParseOldFilesList(*ReadWholeFile(OldFilesListPath()));
  EXPECT_NE(std::find(listed.begin(), listed.end(), placed[0].backup), listed.end());
  for (const std::wstring& backup : listed) EXPECT_EQ(ReadWholeFile(backup), old_bytes) << backup;
}

TEST_F(UpdateOneFileTest, ATakenBackupNameLeadsToTheNumberedNames) {
  ChildProcess running;
  const std::wstring program = StartRunningProgram(running, L"book.exe");
  WriteTextFile(program + L".__old", L"backup of an earlier run");
  WriteTextFile(program + L".__old0", L"another one");
  const std::wstring source = folders_.Park(L"book.exe", L"new program");

  ASSERT_TRUE(UpdateOneFile(source, {program}));

  EXPECT_EQ(ReadTextFile(program), L"new program");
  EXPECT_EQ(ReadTextFile(program + L".__old"), L"backup of an earlier run");
  EXPECT_EQ(ReadTextFile(program + L".__old0"), L"another one");
  const std::vector<std::wstring> listed = ParseOldFilesList(*ReadWholeFile(OldFilesListPath()));
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(listed.front(), program + L".__old1");
  EXPECT_TRUE(FileExists(listed.back()));
  const std::wstring log = folders_.Log();
  for (const wchar_t* taken : {L".__old", L".__old0"}) {
    EXPECT_NE(log.find(L"backup file error[" + program + L"]to[" + program + taken + L"]"), std::wstring::npos)
        << log;
  }
}

TEST_F(UpdateOneFileTest, WhenEveryBackupNameIsTakenNothingIsLost) {
  ChildProcess running;
  const std::wstring program = StartRunningProgram(running, L"book.exe");
  const auto old_bytes = ReadWholeFile(program);
  for (int attempt = -1; attempt < kNumberedBackups; ++attempt) {
    WriteTextFile(BackupName(program, attempt), L"kept " + std::to_wstring(attempt));
  }
  const std::wstring source = folders_.Park(L"book.exe", L"new program");

  EXPECT_FALSE(UpdateOneFile(source, {program}));

  EXPECT_EQ(ReadWholeFile(program), old_bytes);
  for (int attempt = -1; attempt < kNumberedBackups; ++attempt) {
    EXPECT_EQ(ReadTextFile(BackupName(program, attempt)), L"kept " + std::to_wstring(attempt));
  }
  EXPECT_EQ(ReadTextFile(source + L"_"), L"new program");  // the download is still there for the next run
  EXPECT_FALSE(FileExists(program + kStagedSuffix));
  EXPECT_FALSE(FileExists(OldFilesListPath()));
}

TEST_F(UpdateOneFileTest, FailuresLeaveTheDestinationsAsTheyWere) {
  struct Case {
    const char* name;
    const wchar_t* blocked;    // made a plain file, so nothing can be created under it
    const wchar_t* destinations[2];
    const wchar_t* expected_log;
    const wchar_t* other;        // the destination that can be written
    const wchar_t* other_after;  // what it holds afterwards
  };
  const Case cases[] = {
      // The first failure ends the record: later destinations are not reached.
      {"copy to an earlier destination fails", L"blockA", {L"blockA\\a.dll", L"b.dll"}, L"copy file error[", L"b.dll",
       L"old"},
      {"move to the last destination fails", L"blockB", {L"c.dll", L"blockB\\d.dll"}, L"move file error[", L"c.dll",
       L"new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folders_.WriteApp(c.blocked, L"not a folder");
    std::vector<std::wstring> destinations;
    for (const wchar_t* d : c.destinations) {
      destinations.push_back(folders_.App(d));
      if (!Contains(d, L"\\")) folders_.WriteApp(d, L"old");
    }
    const std::wstring source = folders_.Park(L"x.dll", L"new");

    EXPECT_FALSE(UpdateOneFile(source, destinations));

    EXPECT_EQ(ReadTextFile(source + L"_"), L"new");
    EXPECT_EQ(ReadTextFile(folders_.App(c.other)), c.other_after);
    EXPECT_EQ(ReadTextFile(folders_.App(c.blocked)), L"not a folder");
    EXPECT_NE(folders_.Log().find(c.expected_log), std::wstring::npos);
  }
}

TEST_F(UpdateOneFileTest, AFolderUnderTheFilesNameIsLeftAlone) {
  CreateDirectoryTree(folders_.App(L"data\\inside"));
  folders_.WriteApp(L"data\\inside\\mine.txt", L"mine");
  const std::wstring source = folders_.Park(L"data", L"a file");

  EXPECT_FALSE(UpdateOneFile(source, {folders_.App(L"data")}));

  EXPECT_EQ(ReadTextFile(folders_.App(L"data\\inside\\mine.txt")), L"mine");
  EXPECT_FALSE(FileExists(folders_.App(L"data.__old")));
  EXPECT_EQ(ReadTextFile(source + L"_"), L"a file");
}

TEST_F(UpdateOneFileTest, AMissingDownloadTouchesNothing) {
  folders_.WriteApp(L"a.dll", L"old");
  EXPECT_FALSE(UpdateOneFile(folders_.Download() + L"\\a.dll", {folders_.App(L"a.dll")}));
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.dll")), L"old");
}

TEST_F(UpdateOneFileTest, AStagedFileLeftByAnInterruptedRunIsReplaced) {
  folders_.WriteApp(L"a.dll", L"old");
  folders_.WriteApp(std::wstring(L"a.dll") + kStagedSuffix, L"half a fi");
  const std::wstring source = folders_.Park(L"a.dll", L"new");
  ASSERT_TRUE(UpdateOneFile(source, {folders_.App(L"a.dll")}));
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.dll")), L"new");
  EXPECT_FALSE(FileExists(folders_.App(L"a.dll") + kStagedSuffix));
}

TEST(Trees, MoveTreeMovesEveryFileAndRemovesTheEmptiedFolders) {
  InstallFolders folders;
  const std::wstring from = folders.Download();
  for (const wchar_t* name : {L"a.bin._.zip", L"sub\\b.bin._.zip", L"sub\\deeper\\c.bin._.zip"}) {
    CreateDirectoryTree(FolderOf(from + L"\\" + name));
    WriteTextFile(from + L"\\" + name, name);
  }
  folders.WriteApp(L"a.bin._.zip", L"older");
  ::SetFileAttributesW(folders.App(L"a.bin._.zip").c_str(), FILE_ATTRIBUTE_READONLY);

  CopyJournal journal;
  EXPECT_TRUE(MoveTree(from, folders.AppFolder(), journal));

  for (const wchar_t* name : {L"a.bin._.zip", L"sub\\b.bin._.zip", L"sub\\deeper\\c.bin._.zip"}) {
    EXPECT_EQ(ReadTextFile(folders.App(name)), name);
  }
  EXPECT_FALSE(FileExists(from));
}

}  // namespace
}  // namespace tarvolin
