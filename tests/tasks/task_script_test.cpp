// Task scripts and task strings run against real files and real processes.
#include "install/task_script.h"

#include <gtest/gtest.h>

#include "common/strings.h"
#include "config/translation_loader.h"
#include "install/run_file.h"
#include "tasks/task_fixture.h"

namespace tarvolin {
namespace {

using testing::HasEnded;
using testing::Quoted;
using testing::ReadTextFile;
using testing::StartProgram;
using testing::TaskFolder;
using testing::WaitForFile;
using testing::WriteTextFile;
using testing::XmlQuoted;

// Puts texts into the process-wide translation table for one test.
class ScopedTranslations {
 public:
  ScopedTranslations() { ProcessTranslationTable().Clear(); }
  ~ScopedTranslations() { ProcessTranslationTable().Clear(); }
  void Set(const std::wstring& english, const std::wstring& translated) {
    ProcessTranslationTable().Set(L"MAIN", english, translated);
  }
};

// A helper program started by a test, ended by the test if it is still running.
class RunningProgram {
 public:
  explicit RunningProgram(unique_handle process) : process_(std::move(process)) {}
  ~RunningProgram() {
    if (process_ && !HasEnded(process_.get(), 0)) {
      ::TerminateProcess(process_.get(), 0);
      HasEnded(process_.get(), 5000);
    }
  }
  HANDLE get() const { return process_.get(); }

 private:
  unique_handle process_;
};

// A manual-reset event that holds a "gate" helper until the test opens it.
class Gate {
 public:
  // No nines in the name: it also travels inside task strings.
  Gate() : name_(ReplaceAll(FormatWide(L"tarvolin-task-gate-%lu-%lu", ::GetCurrentProcessId(), ::GetTickCount()), L"9", L"n")) {
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, name_.c_str()));
  }
  ~Gate() { Open(); }
  const std::wstring& name() const { return name_; }
  void Open() const {
    if (event_) ::SetEvent(event_.get());
  }

 private:
  std::wstring name_;
  unique_handle event_;
};

// --- run --------------------------------------------------------------------

TEST(TaskScriptRun, StartsTheFileWithItsParametersInTheRightFolderAndWaits) {
  TaskFolder folder;
  const std::wstring helper = folder.CopyHelper(L"tools\\helper.exe");
  CreateDirectoryTree(folder / L"work");
  const std::wstring beside = folder / L"beside.txt";
  const std::wstring elsewhere = folder / L"elsewhere.txt";
  const std::wstring script = folder.WriteScript(
      L"run.xml", L"<tasks>"
                  L"<run file=\"tools\\helper.exe\" param=\"marker " + XmlQuoted(beside) +
                      L" 300 hello world\" waitclose=\"Yes\"/>"
                      L"<run file=\"tools/helper.exe\" param=\"marker " + XmlQuoted(elsewhere) +
                      L" 300 second\" workpath=\"work\" waitclose=\"1\"/>"
                      L"</tasks>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  // Both programs took their time; waiting means their files exist on return.
  ASSERT_TRUE(FileExists(beside));
  ASSERT_TRUE(FileExists(elsewhere));
  EXPECT_EQ(ToLower(ReadTextFile(beside)), ToLower(folder / L"tools") + L"|hello world");
  EXPECT_EQ(ToLower(ReadTextFile(elsewhere)), ToLower(folder / L"work") + L"|second");
  EXPECT_TRUE(Contains(folder.Log(), L"Run file[" + helper + L"][marker " + Quoted(beside) + L" 300 hello world]"))
      << folder.Log();
}

TEST(TaskScriptRun, DoesNotWaitWhenWaitcloseHoldsNeitherOneNorYNorT) {
  TaskFolder folder;
  folder.CopyHelper(L"helper.exe");
  Gate gate;
  const std::wstring through = folder / L"through.txt";
  const std::wstring script = folder.WriteScript(
      L"nowait.xml", L"<run file=\"helper.exe\" param=\"gate " + gate.name() + L" " + XmlQuoted(through) +
                         L"\" waitclose=\"no\"/>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));
  EXPECT_FALSE(FileExists(through)) << "the script waited for a program held at the gate";
  gate.Open();
  EXPECT_TRUE(WaitForFile(through)) << "the program was never started";
}

// --- files, folders, INI ------------------------------------------------------

TEST(TaskScriptFiles, RenamesCreatesFoldersAndRemovesFilesAndTrees) {
  TaskFolder folder;
  WriteTextFile(folder / L"a.txt", L"A");
  CreateDirectoryTree(folder / L"sub");
  WriteTextFile(folder / L"sub\\c.txt", L"C");
  WriteTextFile(folder / L"keep.txt", L"K");
  WriteTextFile(folder / L"locked.txt", L"L");
  ::SetFileAttributesW((folder / L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryTree(folder / L"old\\deep");
  WriteTextFile(folder / L"old\\deep\\x.txt", L"X");
  WriteTextFile(folder / L"old\\y.txt", L"Y");
  const std::wstring script = folder.WriteScript(L"files.xml",
                                                 L"<tasks>"
                                                 L"<ren source=\"a.txt\" target=\"b.txt\"/>"
                                                 L"<rename source=\"sub\\c.txt\" target=\"d.txt\"/>"
                                                 L"<ren source=\"keep.txt\" target=\"\"/>"
                                                 L"<path name=\"new\\deep\\folder\"/>"
                                                 L"<del file=\"locked.txt\"/>"
                                                 L"<del path=\"old\"/>"
                                                 L"</tasks>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  EXPECT_FALSE(FileExists(folder / L"a.txt"));
  EXPECT_EQ(ReadTextFile(folder / L"b.txt"), L"A");
  EXPECT_FALSE(FileExists(folder / L"sub\\c.txt"));
  EXPECT_EQ(ReadTextFile(folder / L"d.txt"), L"C");
  EXPECT_EQ(ReadTextFile(folder / L"keep.txt"), L"K");
  EXPECT_TRUE(DirectoryExists(folder / L"new\\deep\\folder"));
  EXPECT_FALSE(FileExists(folder / L"locked.txt"));
  EXPECT_FALSE(FileExists(folder / L"old"));
  EXPECT_TRUE(FileExists(folder / L"tarvolin.ini")) << "a removal went beyond what it named";

  const std::wstring log = folder.Log();
  for (const std::wstring& line : {L"Move file:[" + (folder / L"a.txt") + L"->" + (folder / L"b.txt") + L"]",
                                   L"Create directory[" + (folder / L"new\\deep\\folder") + L"]",
                                   L"Remove file[" + (folder / L"locked.txt") + L"]",
                                   L"Remove path[" + (folder / L"old") + L"]"}) {
    EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
  }
}

TEST(TaskScriptIni, WritesAndEmptiesValuesWithTranslatedStatus) {
  TaskFolder folder;
  ScopedTranslations translations;
  translations.Set(L"Empty ini[%s][%s]", L"Cleared[%s]<%s>");
  CreateDirectoryTree(folder / L"conf");
  const std::wstring ini = folder / L"conf\\settings.ini";
  WriteTextFile(ini, L"[View]\r\nSize=10\r\nKeep=yes\r\n");
  const std::wstring script = folder.WriteScript(L"ini.xml",
                                                 L"<tasks>"
                                                 L"<ini file=\"conf\\settings.ini\" app=\"View\" key=\"Color\" value=\"blue\"/>"
                                                 L"<ini file=\"conf\\settings.ini\" app=\"View\" key=\"Size\" value=\"\"/>"
                                                 L"</tasks>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  auto read = [&](const wchar_t* key) {
    wchar_t buffer[64] = {};
    ::GetPrivateProfileStringW(L"View", key, L"(none)", buffer, 64, ini.c_str());
    return std::wstring(buffer);
  };
  EXPECT_EQ(read(L"Color"), L"blue");
  EXPECT_EQ(read(L"Size"), L"(none)");
  EXPECT_EQ(read(L"Keep"), L"yes");
  const std::wstring log = folder.Log();
  EXPECT_TRUE(Contains(log, L"Write ini[settings.ini][Color][blue]")) << log;
  EXPECT_TRUE(Contains(log, L"Cleared[settings.ini]<Size>")) << log;
}

// --- structure ------------------------------------------------------------------

TEST(TaskScriptStructure, OtherElementsAreContainersRunInDocumentOrder) {
  TaskFolder folder;
  const std::wstring nested = folder.WriteScript(L"nested.xml",
                                                 L"<root>"
                                                 L"<group><path name=\"one\"/><Other><ren source=\"one\" target=\"two\"/></Other></group>"
                                                 L"<!-- a comment -->some text<path name=\"three\"/>"
                                                 L"<PATH name=\"upper\"/>"
                                                 L"<Path><path name=\"inner\"/></Path>"
                                                 L"</root>");
  const std::wstring solo = folder.WriteScript(L"solo.xml", L"<path name=\"solo\"/>");

  ASSERT_TRUE(RunTaskScript(nested, nullptr));
  ASSERT_TRUE(RunTaskScript(solo, nullptr));

  EXPECT_FALSE(FileExists(folder / L"one")) << "the rename ran before the folder existed";
  EXPECT_TRUE(DirectoryExists(folder / L"two"));
  EXPECT_TRUE(DirectoryExists(folder / L"three"));
  EXPECT_FALSE(FileExists(folder / L"upper")) << "element names are compared exactly";
  EXPECT_TRUE(DirectoryExists(folder / L"inner"));
  EXPECT_TRUE(DirectoryExists(folder / L"solo")) << "the document element is itself an action";
}

TEST(TaskScriptStructure, ScriptsRunScriptsButNeverThemselves) {
  TaskFolder folder;
  folder.WriteScript(L"inner.xml", L"<x><path name=\"from_inner\"/></x>");
  const std::wstring outer = folder.WriteScript(L"outer.xml", L"<x><run file=\"inner.xml\"/><path name=\"after\"/></x>");
  const std::wstring self = folder.WriteScript(
      L"self.xml", L"<x><path name=\"before_self\"/><run file=\"self.xml\"/><path name=\"after_self\"/></x>");
  const std::wstring ping = folder.WriteScript(L"ping.xml", L"<x><run file=\"pong.xml\"/><path name=\"ping_done\"/></x>");
  folder.WriteScript(L"pong.xml", L"<x><run file=\"ping.xml\"/><path name=\"pong_done\"/></x>");

  ASSERT_TRUE(RunTaskScript(outer, nullptr));
  EXPECT_TRUE(DirectoryExists(folder / L"from_inner"));
  EXPECT_TRUE(DirectoryExists(folder / L"after"));

  ASSERT_TRUE(RunTaskScript(self, nullptr));
  EXPECT_TRUE(DirectoryExists(folder / L"before_self"));
  EXPECT_TRUE(DirectoryExists(folder / L"after_self"));

  ASSERT_TRUE(RunTaskScript(ping, nullptr));
  EXPECT_TRUE(DirectoryExists(folder / L"ping_done"));
  EXPECT_TRUE(DirectoryExists(folder / L"pong_done"));
  EXPECT_TRUE(Contains(folder.Log(), L"already running")) << folder.Log();
}

TEST(TaskScriptStructure, RunFileHandsXmlFilesToTheScriptRunner) {
  TaskFolder folder;
  folder.WriteScript(L"job.xml", L"<x><path name=\"by_run_file\"/></x>");

  EXPECT_TRUE(RunFile(L"JOB.XML", L"", L"", false, nullptr));
  EXPECT_TRUE(DirectoryExists(folder / L"by_run_file"));
  EXPECT_FALSE(RunFile(L"missing.xml", L"", L"", false, nullptr));
}

// --- bad scripts ------------------------------------------------------------------

TEST(TaskScriptInput, UnreadableScriptsRunNothingAndSaySo) {
  TaskFolder folder;
  const std::wstring garbage = folder / L"garbage.xml";
  WriteTextFile(garbage, L"this is <not xml <<< &&");
  const std::wstring empty = folder / L"empty.xml";
  WriteTextFile(empty, L"");
  const std::wstring half = folder / L"half.xml";
  WriteTextFile(half, L"<x><path name=\"half\"/>");

  for (const std::wstring& path : {garbage, empty, half, folder / L"missing.xml", folder.path()}) {
    EXPECT_FALSE(RunTaskScript(path, nullptr)) << path;
  }
  EXPECT_FALSE(FileExists(folder / L"half")) << "a broken document ran in part";
  const std::wstring log = folder.Log();
  EXPECT_TRUE(Contains(log, L"Task script [" + garbage + L"] could not be read as XML")) << log;
  EXPECT_TRUE(Contains(log, L"Task script [" + folder / L"missing.xml" + L"] not found")) << log;
}

TEST(TaskScriptInput, ElementsWithoutWhatTheyNeedAreSkippedWithALogLine) {
  TaskFolder folder;
  WriteTextFile(folder / L"a.txt", L"A");
  const std::wstring script = folder.WriteScript(
      L"missing.xml",
      L"<x>"
      L"<run/><run param=\"p\" waitclose=\"1\"/>"
      L"<ren source=\"a.txt\"/><rename target=\"a2.txt\"/>"
      L"<kill/><kill file=\"\"/>"
      L"<path/>"
      L"<del/>"
      L"<shortcut file=\"a.txt\"/><shortcut shortcut=\"lonely\"/>"
      L"<ini file=\"x.ini\" key=\"k\" value=\"v\"/><ini file=\"y.ini\" app=\"s\" value=\"v\"/>"
      L"<ini app=\"s\" key=\"k\" value=\"v\"/>"
      L"<unknown attr=\"1\">text<![CDATA[ <run file='x'/> ]]></unknown>"
      L"<path name=\"still_runs\"/>"
      L"</x>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  EXPECT_EQ(ReadTextFile(folder / L"a.txt"), L"A");
  EXPECT_FALSE(FileExists(folder / L"a2.txt"));
  EXPECT_FALSE(FileExists(folder / L"lonely.lnk"));
  EXPECT_FALSE(FileExists(folder / L"x.ini"));
  EXPECT_FALSE(FileExists(folder / L"y.ini"));
  EXPECT_TRUE(FileExists(folder / L"tarvolin.ini")) << "an empty del removed the application folder";
  EXPECT_TRUE(DirectoryExists(folder / L"still_runs")) << "the script stopped at a bad element";
  const std::wstring log = folder.Log();
  for (const wchar_t* element : {L"run", L"ren", L"kill", L"path", L"del", L"shortcut", L"ini"}) {
    EXPECT_TRUE(Contains(log, std::wstring(L"Task element <") + element + L"> skipped")) << element << "\n" << log;
  }
}

TEST(TaskScriptInput, AbsurdNestingIsCutOffInsteadOfExhaustingTheStack) {
  TaskFolder folder;
  std::wstring body;
  // Deeper than the runner goes, within what the XML parser accepts.
  constexpr int kLevels = 200;
  for (int i = 0; i < kLevels; ++i) body += L"<g>";
  body += L"<path name=\"too_deep\"/>";
  for (int i = 0; i < kLevels; ++i) body += L"</g>";
  const std::wstring script = folder.WriteScript(L"deep.xml", L"<x><path name=\"shallow\"/>" + body + L"</x>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));
  EXPECT_TRUE(DirectoryExists(folder / L"shallow"));
  EXPECT_FALSE(FileExists(folder / L"too_deep"));
  EXPECT_TRUE(Contains(folder.Log(), L"nested deeper than")) << folder.Log();
}

// --- kill -------------------------------------------------------------------------

TEST(TaskScriptKill, EndsProgramsRunningFromThePathAndNoOthers) {
  struct Case {
    const wchar_t* role;
    bool ends;
  };
  const Case cases[] = {
      {L"window", true},   // agrees to end its session, closed through its window
      {L"idle", true},     // has no window to ask, so it is terminated
      {L"refuse", false},  // a window that refuses keeps its program running
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.role);
    TaskFolder folder;
    const std::wstring victim = folder.CopyHelper(L"victim.exe");
    const std::wstring bystander = folder.CopyHelper(L"other\\bystander.exe");
    RunningProgram target(StartProgram(Quoted(victim) + L" " + c.role + L" " + Quoted(folder / L"victim.ready")));
    RunningProgram other(StartProgram(Quoted(bystander) + L" idle " + Quoted(folder / L"other.ready")));
    ASSERT_TRUE(target.get() && other.get());
    ASSERT_TRUE(WaitForFile(folder / L"victim.ready"));
    ASSERT_TRUE(WaitForFile(folder / L"other.ready"));
    const std::wstring script = folder.WriteScript(L"kill.xml", L"<x><kill file=\"VICTIM.exe\"/></x>");

    ASSERT_TRUE(RunTaskScript(script, nullptr));

    EXPECT_EQ(HasEnded(target.get(), c.ends ? 20000 : 1000), c.ends);
    EXPECT_FALSE(HasEnded(other.get(), 0)) << "a program from another path was ended";
    EXPECT_TRUE(Contains(folder.Log(), L"Kill process[" + (folder / L"VICTIM.exe") + L"]")) << folder.Log();
  }
}

// A kill path names a program or a folder by whole parts: a piece of a name
// ("VICTIM.ex", "vic") or a sibling folder named alike ends nothing.
TEST(TaskScriptKill, APartOfANameEndsNothing) {
  TaskFolder folder;
  const std::wstring victim = folder.CopyHelper(L"victim.exe");
  RunningProgram target(StartProgram(Quoted(victim) + L" idle " + Quoted(folder / L"victim.ready")));
  ASSERT_TRUE(target.get());
  ASSERT_TRUE(WaitForFile(folder / L"victim.ready"));
  const std::wstring script = folder.WriteScript(
      L"kill.xml", L"<x><kill file=\"VICTIM.ex\"/><kill file=\"vic\"/><kill file=\"victim.exe\\x\"/></x>");

  ASSERT_TRUE(RunTaskScript(script, nullptr));

  EXPECT_FALSE(HasEnded(target.get(), 1000)) << "a program whose path only begins like the kill path was ended";
  ASSERT_EQ(KillProcessesByPath(victim), 1);  // the whole path still finds it
  EXPECT_TRUE(HasEnded(target.get(), 20000));
}

// --- task strings -----------------------------------------------------------------

// Task strings cannot carry the digit nine, which the temporary folder's name
// may hold; the helper programs therefore get names relative to the folder,
// which is made the current one (a program in that folder also runs there).
using testing::ScopedCurrentFolder;

// The program runs in its own folder, not in the updater's current one: its
// relative "task.txt" lands beside it.
TEST(TaskString, StartsTheFileFromTheApplicationFolderInItsOwnFolderAndWaitsWhenAsked) {
  TaskFolder folder;
  ScopedCurrentFolder current(folder.path());
  const std::wstring helper = folder.CopyHelper(L"tools\\helper.exe");
  const std::wstring out = folder / L"tools\\task.txt";
  const std::wstring parameters = L"marker task.txt 300 from task";

  EXPECT_TRUE(RunTaskString(L"tools\\helper.exe9" + parameters + L"9Yes9key", nullptr));
  EXPECT_TRUE(FileExists(out)) << "the task did not wait";
  EXPECT_TRUE(Contains(ReadTextFile(out), L"|from task"));
  EXPECT_FALSE(FileExists(folder / L"task.txt")) << "the program ran in the updater's current folder";
  EXPECT_TRUE(Contains(folder.Log(), L"Run[" + helper + L"][" + parameters + L"][wait]")) << folder.Log();
}

TEST(TaskString, DoesNotWaitForANegativeWaitText) {
  for (const wchar_t* wait_text : {L"", L"no", L"0"}) {
    SCOPED_TRACE(wait_text);
    TaskFolder folder;
    ScopedCurrentFolder current(folder.path());
    folder.CopyHelper(L"helper.exe");
    Gate gate;
    const std::wstring through = folder / L"through.txt";
    EXPECT_TRUE(RunTaskString(L"helper.exe9gate " + gate.name() + L" through.txt9" + wait_text, nullptr));
    EXPECT_FALSE(FileExists(through)) << "the task waited";
    gate.Open();
    EXPECT_TRUE(WaitForFile(through));
  }
}

TEST(TaskString, AMissingFileIsAnnouncedButNotStarted) {
  TaskFolder folder;
  ScopedTranslations translations;
  translations.Set(L"Run", L"Start");

  EXPECT_FALSE(RunTaskString(L"nothing.exe99no", nullptr));
  EXPECT_FALSE(RunTaskString(L"", nullptr));
  const std::wstring log = folder.Log();
  EXPECT_TRUE(Contains(log, L"Start[" + (folder / L"nothing.exe") + L"][nowait]")) << log;
  EXPECT_TRUE(Contains(log, L"Start[nowait]")) << log;
}

TEST(TaskString, RunTasksKeepsTheOrderGiven) {
  TaskFolder folder;
  ScopedCurrentFolder current(folder.path());
  folder.CopyHelper(L"helper.exe");
  const std::wstring sequence = folder / L"sequence.txt";
  RunTasks({L"helper.exe9append sequence.txt second;91", L"helper.exe9append sequence.txt first;91"}, nullptr);
  EXPECT_EQ(ReadTextFile(sequence), L"second;first;");
}

}  // namespace
}  // namespace tarvolin
