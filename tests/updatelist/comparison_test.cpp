#include "updatelist/comparison.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/files.h"
#include "support/configuration_fixture.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using Records = std::vector<updatefileinfo>;

updatefileinfo File(const wchar_t* path, const wchar_t* version, std::uint32_t action = 0,
                    const wchar_t* dst_name = L"") {
  updatefileinfo record;
  record.path = path;
  record.dstName = dst_name;
  record.version = version;
  record.action = action;
  return record;
}

updatefileinfo Description(const wchar_t* text) {
  return updatefileinfo{.path = text, .dstName = text, .version = kNonFileVersion, .action = DescriptionRecord};
}

updatefileinfo Task(const wchar_t* task) {
  return updatefileinfo{.path = task, .dstName = task, .version = kNonFileVersion, .action = TaskRecord};
}

MacroFolders FakeFolders() {
  MacroFolders folders;
  folders.shell_folder = [](int) { return std::wstring(L"C:\\Shell"); };
  folders.windows_folder = [] { return std::wstring(L"C:\\WIN"); };
  folders.syswow64_folder = [] { return std::wstring(L"C:\\WIN\\SysWOW64"); };
  folders.system_folder = [] { return std::wstring(L"C:\\WIN\\system32"); };
  folders.configuration_folder = [] { return std::wstring(L"D:\\App\\"); };
  return folders;
}

// A machine on which exactly the listed files exist; remembers what was asked.
struct FakeDisk {
  std::set<std::wstring> present;
  std::vector<std::wstring> asked{};

  InstalledFiles Files() {
    return InstalledFiles{L"D:\\App\\", FakeFolders(), [this](const std::wstring& path) {
                            asked.push_back(path);
                            return present.count(path) > 0;
                          }};
  }
};

std::vector<std::wstring> PathsOf(const Records& records) {
  std::vector<std::wstring> paths;
  for (const auto& r : records) paths.push_back(r.path);
  return paths;
}

TEST(CompareLists, DueRecordsByVersionPathAndPresence) {
  const Records installed = {
      File(L"same.dll", L"2.0"),
      File(L"changed.dll", L"2.1"),
      File(L"newer.dll", L"3.0"),
      File(L"bin\\a.dll", L"1"),
      File(L"gone.dll", L"1"),
      File(L"gone-del.dll", L"1", ActionDelete),
      File(L"multi.dll", L"1", 0, L"a.dll;b.dll"),
      File(L"twice.dll", L"1"),
      File(L"twice.dll", L"2"),  // only the first entry of a path counts
      Description(L"old news"),
      Task(L"setup.exe9/s9yes9k"),
  };
  struct Case {
    const wchar_t* name;
    Records remote;
    bool check_lost_file;
    std::set<std::wstring> present;
    std::vector<std::wstring> due;
  } cases[] = {
      {L"same version", {File(L"same.dll", L"2.0")}, false, {}, {}},
      {L"other version", {File(L"changed.dll", L"2.0")}, false, {}, {L"changed.dll"}},
      {L"older on the server is still due", {File(L"newer.dll", L"2.9")}, false, {}, {L"newer.dll"}},
      {L"new file", {File(L"fresh.dll", L"1")}, false, {}, {L"fresh.dll"}},
      {L"path match is case-sensitive", {File(L"Bin\\a.dll", L"1")}, false, {}, {L"Bin\\a.dll"}},
      {L"exact path matches", {File(L"bin\\a.dll", L"1")}, false, {}, {}},
      {L"empty version never due", {File(L"fresh.dll", L""), File(L"changed.dll", L"")}, false, {}, {}},
      {L"empty version never due, even when missing", {File(L"gone.dll", L"")}, true, {}, {}},
      {L"first installed entry of a path decides", {File(L"twice.dll", L"2")}, false, {}, {L"twice.dll"}},
      {L"missing file ignored without the setting", {File(L"gone.dll", L"1")}, false, {}, {}},
      {L"missing file due with the setting", {File(L"gone.dll", L"1")}, true, {}, {L"gone.dll"}},
      {L"present file not due with the setting", {File(L"gone.dll", L"1")}, true, {L"D:\\App\\gone.dll"}, {}},
      {L"deletions skip the presence test", {File(L"gone-del.dll", L"1", ActionDelete)}, true, {}, {}},
      {L"deletions still compare versions", {File(L"gone-del.dll", L"2", ActionDelete)}, true, {}, {L"gone-del.dll"}},
      {L"one missing destination is enough",
       {File(L"multi.dll", L"1", 0, L"a.dll;b.dll")}, true, {L"D:\\App\\a.dll"}, {L"multi.dll"}},
      {L"all destinations present",
       {File(L"multi.dll", L"1", 0, L"a.dll;b.dll")}, true, {L"D:\\App\\a.dll", L"D:\\App\\b.dll"}, {}},
      {L"known description", {Description(L"old news")}, true, {}, {}},
      {L"new description", {Description(L"new news")}, true, {}, {L"new news"}},
      {L"known task", {Task(L"setup.exe9/s9yes9k")}, true, {}, {}},
      {L"task with another key", {Task(L"setup.exe9/s9yes9k2")}, true, {}, {L"setup.exe9/s9yes9k2"}},
      {L"remote order kept",
       {File(L"z.dll", L"1"), File(L"same.dll", L"2.0"), File(L"a.dll", L"1"), File(L"changed.dll", L"9")}, false, {},
       {L"z.dll", L"a.dll", L"changed.dll"}},
  };
  for (const auto& c : cases) {
    FakeDisk disk{c.present};
    Records due;
    CompareLists(c.remote, installed, c.check_lost_file, disk.Files(), due);
    EXPECT_EQ(PathsOf(due), c.due) << c.name;
    if (!c.check_lost_file) {
      EXPECT_TRUE(disk.asked.empty()) << c.name << L": looked at the disk";
    }
  }
}

TEST(CompareLists, AppendsWholeRecordsAndEverythingIsDueWithoutAnInstalledList) {
  const Records remote = {File(L"a.dll", L"1", ActionRun | ActionRegister, L"b.dll"), Description(L"text"),
                          Task(L"t9p9w9k"), File(L"none.dll", L"")};
  Records due = {File(L"earlier.dll", L"1")};
  FakeDisk disk;
  CompareLists(remote, {}, false, disk.Files(), due);
  EXPECT_EQ(due, (Records{File(L"earlier.dll", L"1"), remote[0], remote[1], remote[2]}));
}

TEST(CompareLists, LostFileTestAsksTheDestinationsInOrderAndStopsAtTheFirstGap) {
  FakeDisk disk{{L"D:\\App\\sub\\b.dll"}};
  Records due;
  CompareLists({File(L"x.dll", L"1", 0, L"a.dll;sub/b.dll;c.dll"), Task(L"t9p9w9k"), Description(L"d")},
               {File(L"x.dll", L"1")}, true, disk.Files(), due);
  EXPECT_EQ(PathsOf(due), (std::vector<std::wstring>{L"x.dll", L"t9p9w9k", L"d"}));
  // The task and the description are never looked for on disk.
  EXPECT_EQ(disk.asked, (std::vector<std::wstring>{L"D:\\App\\a.dll"}));
}

TEST(CompareLists, RecordWithoutADestinationIsLookedForUnderTheApplicationFolder) {
  FakeDisk disk{{L"D:\\App\\"}};
  Records due;
  CompareLists({File(L"", L"1")}, {File(L"", L"1")}, true, disk.Files(), due);
  EXPECT_TRUE(due.empty());
  EXPECT_EQ(disk.asked, (std::vector<std::wstring>{L"D:\\App\\"}));
}

DownloadListValues Split(Records records) {
  DownloadListValues list;
  list.records = std::move(records);
  SplitDescriptionsAndTasks(list);
  return list;
}

TEST(SplitDescriptionsAndTasks, TextsInListOrderTasksLastFirstFilesStay) {
  const DownloadListValues list = Split({Description(L"A"), File(L"one.dll", L"1"), Task(L"T1"), Description(L"B"),
                                         File(L"two.dll", L"2", ActionDelete), Task(L"T2"), Task(L"T3")});
  EXPECT_EQ(list.description, L"A\r\nB\r\n");
  EXPECT_EQ(list.tasks, (std::vector<std::wstring>{L"T3", L"T2", L"T1"}));
  EXPECT_EQ(list.records, (Records{File(L"one.dll", L"1"), File(L"two.dll", L"2", ActionDelete)}));
}

TEST(SplitDescriptionsAndTasks, TypedEscapesBecomeLineBreaks) {
  struct Case {
    const wchar_t* text;
    const wchar_t* description;
  } cases[] = {
      {L"one\\r\\ntwo", L"one\r\ntwo\r\n"},
      {L"one\\ntwo", L"one\r\ntwo\r\n"},
      {L"a\\r\\n\\nb", L"a\r\n\r\nb\r\n"},
      {L"lone \\r stays", L"lone \\r stays\r\n"},
      {L"path C:\\new", L"path C:\r\new\r\n"},  // taken as an escape too: the rule knows no exceptions
      {L"line\r\nbreak", L"line\r\nbreak\r\n"},
      {L"", L"\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Split({Description(c.text)}).description, c.description) << c.text;
}

TEST(SplitDescriptionsAndTasks, TakesTheTextFromTheDestinationFieldAndReplacesTheOldDescription) {
  DownloadListValues list;
  list.description = L"stale";
  list.tasks = {L"kept"};
  updatefileinfo text = Description(L"path copy");
  text.dstName = L"shown";
  list.records = {text, Task(L"new")};
  SplitDescriptionsAndTasks(list);
  EXPECT_EQ(list.description, L"shown\r\n");
  EXPECT_EQ(list.tasks, (std::vector<std::wstring>{L"kept", L"new"}));
  EXPECT_TRUE(list.records.empty());
}

TEST(SplitDescriptionsAndTasks, NothingToMove) {
  const DownloadListValues list = Split({});
  EXPECT_EQ(list.description, L"");
  EXPECT_TRUE(list.tasks.empty());
  EXPECT_TRUE(list.records.empty());
}

// The whole step against a real configuration folder and real files.
TEST(FillDownloadList, ReadsTheSettingAndLooksAtTheInstalledFiles) {
  struct Case {
    const wchar_t* ini;
    std::vector<std::wstring> due;
  } cases[] = {
      {L"[Tarvolin]\r\nCheckLostFile=1\r\n", {L"lost.dll", L"new.dll"}},
      {L"[Tarvolin]\r\nCheckLostFile=0\r\n", {L"new.dll"}},
      {L"[Tarvolin]\r\n", {L"new.dll"}},
  };
  for (const auto& c : cases) {
    testing::ScopedConfigurationFolder configuration;
    configuration.WriteIni(c.ini);
    testing::WriteTextFile(configuration / L"here.dll", L"x");
    const Records installed = {File(L"here.dll", L"1"), File(L"lost.dll", L"1"), Description(L"seen")};
    const Records remote = {File(L"here.dll", L"1"), File(L"lost.dll", L"1"), File(L"new.dll", L"1"),
                            Description(L"seen"), Description(L"news"), Task(L"t9p9w9k")};
    DownloadListValues list;
    list.status = 2;
    list.records = {File(L"leftover.dll", L"1")};
    list.description = L"leftover";
    list.tasks = {L"leftover"};
    FillDownloadList(remote, installed, list);
    EXPECT_EQ(PathsOf(list.records), c.due) << c.ini;
    EXPECT_EQ(list.description, L"news\r\n") << c.ini;
    EXPECT_EQ(list.tasks, (std::vector<std::wstring>{L"t9p9w9k"})) << c.ini;
    EXPECT_EQ(list.status, 2) << c.ini;
  }
}


// The administrator run acts only on what the verified list says.
TEST(HandOver, EverythingHandedOverMustBeInTheVerifiedList) {
  const updatefileinfo book{.path = L"book.dat", .version = L"2", .sha256 = L"aa"};
  const updatefileinfo tool{.path = L"bin\\tool.exe", .version = L"2", .action = ActionRun, .sha256 = L"bb"};
  const DownloadListValues verified{.records = {book, tool}, .tasks = {L"{app}setup.xml"}};
  updatefileinfo with_messages = book;
  with_messages.spare = L"download error\n";
  const auto changed = [&](auto change) {
    updatefileinfo record = tool;
    change(record);
    return DownloadListValues{.records = {book, record}};
  };
  struct Case {
    const char* what;
    DownloadListValues handed;
    bool within;
  } cases[] = {
      {"the same", verified, true},
      {"a part, in another order", {.records = {tool}}, true},
      {"downloader messages", {.records = {with_messages}}, true},
      {"nothing", {}, true},
      {"a digest changed", changed([](updatefileinfo& r) { r.sha256 = L"cc"; }), false},
      {"a digest removed", changed([](updatefileinfo& r) { r.sha256.clear(); }), false},
      {"a destination added", changed([](updatefileinfo& r) { r.dstName = L"C:\\Windows\\x.exe"; }), false},
      {"an action added", changed([](updatefileinfo& r) { r.action |= ActionRegister; }), false},
      {"an address changed", changed([](updatefileinfo& r) { r.url = L"http://elsewhere/x"; }), false},
      {"a record added", {.records = {book, {.path = L"evil.exe", .version = L"1"}}}, false},
      {"a task added", {.records = {book}, .tasks = {L"{app}setup.xml", L"cmd.exe"}}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(HandedOverWithin(c.handed, verified), c.within) << c.what;
}

}  // namespace
}  // namespace tarvolin
