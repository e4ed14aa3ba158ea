#include "install/release_return.h"

#include <gtest/gtest.h>

#include "common/text_encoding.h"
#include "install/old_files.h"
#include "install/return_rules.h"
#include "install_fixture.h"
#include "pipeline/copy_stage.h"
#include "pipeline/download_list.h"

namespace tarvolin {
namespace {

using testing::ChildProcess;
using testing::InstallFolders;
using testing::ReadTextFile;
using testing::TempFolder;
using testing::WriteTextFile;

TEST(ReturnRules, EachEntryTakesTheStepThatBringsItBack) {
  const PlacedFile replaced{L"C:\\a\\f.dll", L"C:\\a\\f.dll.__old", L"D:\\t\\f.dll_"};
  const PlacedFile replaced_copy{L"C:\\a\\g.dll", L"C:\\a\\g.dll.__old0", L""};
  const PlacedFile added{L"C:\\a\\n.dll", L"", L"D:\\t\\n.dll_"};
  const PlacedFile added_copy{L"C:\\a\\m.dll", L"", L""};
  using enum ReturnStep;
  struct Case {
    const char* name;
    const PlacedFile& file;
    PlacedFileState state;  // destination, backup, give_back
    ReturnAction expected;
  } cases[] = {
      {"replaced: park the new file, put the old one back", replaced, {true, true, false}, {kPutBackupBack, true}},
      {"replaced, parked already", replaced, {true, true, true}, {kPutBackupBack, false}},
      {"replaced, moved aside and not replaced", replaced, {false, true, false}, {kPutBackupBack, false}},
      // The old file is back: it must neither be parked as the download nor removed.
      {"replaced, put back already", replaced, {true, false, false}, {kNothing, false}},
      {"replaced, put back already, parked", replaced, {true, false, true}, {kNothing, false}},
      {"replaced copy", replaced_copy, {true, true, false}, {kPutBackupBack, false}},
      {"added: park it, then it goes", added, {true, false, false}, {kRemoveAdded, true}},
      {"added, parked already", added, {true, false, true}, {kRemoveAdded, false}},
      {"added, gone already", added, {false, false, true}, {kNothing, false}},
      {"added copy", added_copy, {true, false, false}, {kRemoveAdded, false}},
  };
  for (const Case& c : cases) EXPECT_EQ(DecideReturn(c.file, c.state), c.expected) << c.name;
}

TEST(ReturnRules, TheJournalReadsBackAsWritten) {
  InstallJournal journal;
  journal.files = {{L"C:\\a\\f.dll", L"C:\\a\\f.dll.__old", L"D:\\t\\f.dll_"}, {L"C:\\a\\n b\\\x4E66.txt", L"", L""}};
  journal.created_folders = {L"C:\\a\\n b"};
  journal.old_files_list_length = 42;
  const std::wstring text = JournalText(journal);
  EXPECT_EQ(ParseJournal(text), journal);
  EXPECT_EQ(ParseJournal(JournalText(InstallJournal{})), InstallJournal{});
  InstallJournal returning = journal;
  returning.returning = true;
  EXPECT_EQ(ParseJournal(text + ReturningLine()), returning);
  // A change that did not happen after all is no change.
  EXPECT_EQ(ParseJournal(text + PlacingLine(L"C:\\a\\g.dll", L"") + CancelLine(L"C:\\a\\g.dll")), journal);
  // Only ever appended to: a last line cut short is a change not begun.
  EXPECT_EQ(ParseJournal(text + L"P\tC:\\a\\g.d"), journal);

  const std::pair<const char*, std::wstring> broken[] = {
      {"empty", L""},
      {"cut short in the header", text.substr(0, 8)},
      {"another header", ReplaceAll(text, L"tarvolin journal 1", L"tarvolin journal 2")},
      {"a line of no known kind", ReplaceAll(text, L"F\t", L"Y\t")},
      {"a placing line short of a field", text + L"P\tC:\\a\\g.dll\n"},
      {"a length that is no number", ReplaceAll(text, L"L\t42", L"L\t4x")},
      {"an empty destination", text + PlacingLine(L"", L"")},
      {"a placed line about another file", text + PlacingLine(L"C:\\a\\g.dll", L"") + PlacedLine(L"C:\\a\\h.dll", L"x")},
      {"a cancel with nothing before it", JournalText(InstallJournal{}) + CancelLine(L"C:\\a\\g.dll")},
  };
  for (const auto& [name, bad] : broken) EXPECT_EQ(ParseJournal(bad), std::nullopt) << name;
}

TEST(ReturnRules, OnlyEntriesTheCopyCouldHaveWrittenAreTrusted) {
  const std::wstring app = L"C:\\book";
  const std::wstring download = L"C:\\temp\\AB-CD";
  InstallJournal journal;
  journal.old_files_list_length = 7;
  journal.files = {
      {L"C:\\book\\a.dll", L"C:\\book\\a.dll.__old3", L"C:\\temp\\AB-CD\\a.dll_"},      // kept whole
      {L"C:\\book\\n.txt", L"", L"C:\\Windows\\n.txt"},                                 // kept, not parked there
      {L"C:\\Windows\\system32\\x.dll", L"", L""},                                     // outside
      {L"C:\\book\\b.dll", L"C:\\Windows\\system32\\x.dll", L""},                      // not its backup
      {L"C:\\book\\c.dll", L"C:\\book\\other.dll.__old", L""},                         // another file's backup
      {L"C:\\book\\..\\Windows\\y.dll", L"", L""},                                     // leads out
  };
  journal.created_folders = {L"C:\\book\\sub", L"C:\\Windows\\sub"};
  std::vector<std::wstring> skipped;

  const InstallJournal trusted = TrustedPart(journal, app, download, skipped);

  InstallJournal expected;
  expected.old_files_list_length = 7;
  expected.files = {{L"C:\\book\\a.dll", L"C:\\book\\a.dll.__old3", L"C:\\temp\\AB-CD\\a.dll_"},
                    {L"C:\\book\\n.txt", L"", L""}};
  expected.created_folders = {L"C:\\book\\sub"};
  EXPECT_EQ(trusted, expected);
  EXPECT_EQ(skipped, (std::vector<std::wstring>{L"C:\\Windows\\sub", L"C:\\Windows\\system32\\x.dll",
                                                L"C:\\book\\b.dll", L"C:\\book\\c.dll",
                                                L"C:\\book\\..\\Windows\\y.dll"}));
}

// The state a return cut short leaves, and the journal written before it.
class InterruptedReturnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folders_.WriteApp(L"a.txt", L"A2");  // not back yet
    folders_.WriteApp(L"a.txt.__old", L"A1");
    folders_.WriteApp(L"b.txt", L"B1");  // back already
    folders_.WriteApp(L"new.txt", L"N2");
    folders_.WriteApp(L"deep\\er\\two.dll", L"X2");
    folders_.WriteApp(kOldFilesListName, L"\r\n" + folders_.App(L"a.txt.__old"));
    journal_.files = {{folders_.App(L"a.txt"), folders_.App(L"a.txt.__old"), Parked(L"a.txt")},
                      {folders_.App(L"b.txt"), folders_.App(L"b.txt.__old"), Parked(L"b.txt")},
                      {folders_.App(L"new.txt"), L"", Parked(L"new.txt")},
                      {folders_.App(L"deep\\er\\two.dll"), L"", L""}};
    journal_.created_folders = {folders_.App(L"deep"), folders_.App(L"deep\\er")};
    journal_.returning = true;
  }
  std::wstring Parked(const std::wstring& path) const { return folders_.Download() + L"\\" + path + L"_"; }
  void WriteJournal() const { WriteWholeFile(ReturnJournalPath(), WideToUtf8(JournalText(journal_))); }

  InstallFolders folders_;
  InstallJournal journal_;
};

TEST_F(InterruptedReturnTest, TheNextStartFinishesItBeforeThePurge) {
  WriteJournal();

  PurgeOldFiles();

  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt")), L"A1");
  EXPECT_EQ(ReadTextFile(folders_.App(L"b.txt")), L"B1");
  EXPECT_FALSE(FileExists(folders_.App(L"new.txt")));
  EXPECT_FALSE(FileExists(folders_.App(L"deep")));
  EXPECT_FALSE(FileExists(folders_.App(L"a.txt.__old")));
  EXPECT_FALSE(FileExists(OldFilesListPath()));
  EXPECT_FALSE(FileExists(ReturnJournalPath()));
  // The new files wait in the download folder again; the one put back stays.
  EXPECT_EQ(ReadTextFile(Parked(L"a.txt")), L"A2");
  EXPECT_EQ(ReadTextFile(Parked(L"new.txt")), L"N2");
  EXPECT_FALSE(FileExists(Parked(L"b.txt")));
}

// Without the line that starts the return, the journal is a copy cut short:
// the next copy carries it on, and may still have to undo it.
TEST_F(InterruptedReturnTest, ACopyCutShortKeepsItsBackupsThroughThePurge) {
  journal_.returning = false;
  WriteJournal();

  PurgeOldFiles();

  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt")), L"A2");
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt.__old")), L"A1");
  EXPECT_EQ(ReadTextFile(folders_.App(L"new.txt")), L"N2");
  EXPECT_TRUE(FileExists(OldFilesListPath()));
  EXPECT_TRUE(FileExists(ReturnJournalPath()));
}

TEST_F(InterruptedReturnTest, ABackupItStillNeedsOutlivesThePurgeAndBlocksTheNextCopy) {
  WriteJournal();
  ChildProcess holder;
  ASSERT_TRUE(testing::HoldOpenElsewhere(holder, folders_.App(L"a.txt"), folders_.App(L"ready.txt")));

  PurgeOldFiles();

  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt.__old")), L"A1");
  EXPECT_EQ(ParseOldFilesList(*ReadWholeFile(OldFilesListPath())),
            std::vector<std::wstring>{folders_.App(L"a.txt.__old")});
  EXPECT_TRUE(FileExists(ReturnJournalPath()));
  EXPECT_FALSE(FileExists(folders_.App(L"new.txt")));  // what could be done is done

  // A copy now would stack a third release on the unfinished return.
  folders_.Park(L"b.txt", L"B3");
  CurrentDownLoadList().SetRecords({{.path = L"b.txt", .version = L"3"}});
  EXPECT_FALSE(CopyAndFinish(nullptr));
  EXPECT_EQ(ReadTextFile(folders_.App(L"b.txt")), L"B1");
  CurrentDownLoadList().Restore({});

  holder.Kill();
  ASSERT_TRUE(holder.Wait(10000));
  PurgeOldFiles();
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt")), L"A1");
  EXPECT_FALSE(FileExists(folders_.App(L"a.txt.__old")));
  EXPECT_FALSE(FileExists(ReturnJournalPath()));
}

// Cut short between journaling a change and making it: the backup is still a
// second name of the untouched file, and must not outlive the return.
TEST(InterruptedReturn, AChangeJournaledButNotMadeLeavesNoBackupBehind) {
  InstallFolders folders;
  folders.WriteApp(L"a.txt", L"A1");
  ASSERT_TRUE(::CreateHardLinkW(folders.App(L"a.txt.__old").c_str(), folders.App(L"a.txt").c_str(), nullptr));
  ::SetFileAttributesW(folders.App(L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  InstallJournal journal;
  journal.files = {{folders.App(L"a.txt"), folders.App(L"a.txt.__old"), L""}};
  journal.returning = true;
  WriteWholeFile(ReturnJournalPath(), WideToUtf8(JournalText(journal)));

  PurgeOldFiles();

  EXPECT_EQ(testing::FolderSnapshot(folders.AppFolder()),
            (std::map<std::wstring, std::string>{{L"a.txt", "<read-only>A1"},
                                                 {L"tarvolin.ini", testing::Fingerprint(ReadWholeFile(folders.App(L"tarvolin.ini")))}}))
      << folders.Log();
}

TEST_F(InterruptedReturnTest, APlantedJournalTouchesNothingOutsideTheApplicationFolder) {
  TempFolder elsewhere;
  WriteTextFile(elsewhere / L"victim.txt", L"another program's");
  WriteTextFile(elsewhere / L"victim.txt.__old", L"looks like a backup");
  journal_.files.push_back({elsewhere / L"victim.txt", elsewhere / L"victim.txt.__old", L""});
  journal_.files.push_back({elsewhere / L"victim.txt", L"", L""});
  journal_.files.push_back({folders_.App(L"b.txt"), elsewhere / L"victim.txt", L""});
  journal_.created_folders.push_back(elsewhere.path());
  WriteJournal();

  PurgeOldFiles();

  EXPECT_EQ(ReadTextFile(elsewhere / L"victim.txt"), L"another program's");
  EXPECT_EQ(ReadTextFile(elsewhere / L"victim.txt.__old"), L"looks like a backup");
  EXPECT_EQ(ReadTextFile(folders_.App(L"b.txt")), L"B1");
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt")), L"A1");  // the genuine entries are still acted on
  const std::wstring log = folders_.Log();
  EXPECT_NE(log.find(L"skip journal entry[" + (elsewhere / L"victim.txt") + L"]"), std::wstring::npos) << log;
}

TEST_F(InterruptedReturnTest, AnUnreadableJournalIsDroppedAndTheListIsKept) {
  WriteWholeFile(ReturnJournalPath(), "tarvolin journal 1\nQ\tC:\\x\n");

  PurgeOldFiles();

  EXPECT_FALSE(FileExists(ReturnJournalPath()));
  EXPECT_EQ(ReadTextFile(folders_.App(L"a.txt")), L"A2");
  EXPECT_FALSE(FileExists(folders_.App(L"a.txt.__old")));  // purged as any backup
}

}  // namespace
}  // namespace tarvolin
