// The whole check against the test publisher: list and template, mirrors,
// time-outs, damaged lists, quick checks and the reporting on the way.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "check_fixture.h"
#include "common/files.h"
#include "common/process_state.h"
#include "config/settings.h"
#include "pipeline/check_procedure.h"
#include "pipeline/download_list.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "support/publisher_client.h"
#include "support/ui_automation.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_url.h"

namespace tarvolin {
namespace {

using testing::CheckTest;
using testing::Contains;
using testing::DialogAnswerer;
using testing::PublisherLog;
using testing::ReportWindow;
using testing::SetFault;

constexpr char kRemoteList[] =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    "\r\n<update>\r\n"
    R"(  <file path="a.dll" ver="2.0"/>)"
    "\r\n"
    R"(  <file path="b.dll" ver="1.0"/>)"
    "\r\n"
    R"(  <file path="c.dll" ver="1.1"/>)"
    "\r\n"
    R"(  <description>New release</description>)"
    "\r\n</update>\r\n";
constexpr char kTemplateList[] =
    R"(<update><file path="{agentName}\agent.dll" ver="1"/><file path="{Application}.cfg" ver="3"/></update>)";
// Everything but a.dll (older) and c.dll (missing) is up to date, the
// template's files under the names the merge gives them.
constexpr char kInstalledList[] =
    R"(<update><file path="a.dll" ver="1.0"/><file path="b.dll" ver="1.0"/>)"
    R"(<file path="zu\agent.dll" ver="1"/><file path="book.cfg" ver="3"/></update>)";

const std::vector<std::wstring> kTwoDue = {L"a.dll", L"c.dll"};

class CheckProcedureTest : public CheckTest {
 protected:
  void PublishLists(const std::string& list = kRemoteList) const {
    Publish("tarvolin.xml", list);
    Publish("main.xml", kTemplateList);
  }
  std::wstring ListUrl() const { return UrlOf("tarvolin.xml"); }
};

TEST_F(CheckProcedureTest, ListAndTemplateGiveTheDueFiles) {
  WriteConfiguration();
  PublishLists();
  WriteInstalledList(kInstalledList);
  ReportWindow report;
  RegisterStatusWindow(report.get());

  DWORD result = 1;
  testing::RunOnWorkerPumping([&] { result = CheckThreadProc(report.get()); });
  report.Pump();
  EXPECT_EQ(result, 0u);

  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  EXPECT_EQ(DuePaths(), kTwoDue);
  EXPECT_EQ(CurrentDownLoadList().Description(), L"New release\r\n");
  EXPECT_EQ(report.descriptions, std::vector<std::wstring>{L"New release\r\n"});
  EXPECT_EQ(report.statuses, (std::vector<int>{UpdateCheckRemote, UpdateCheckRemoteOk}));
  EXPECT_TRUE(Contains(report.texts, L"try to download the list file..."));
  EXPECT_TRUE(Contains(report.texts, L"Found 2 files need to update..."));
  EXPECT_FALSE(Contains(report.texts, L"Find nothing to update."));
  EXPECT_EQ(report.commands, std::vector<WORD>{kCheckSucceededCommand});

  const std::wstring list_path = CachedListPath();
  EXPECT_EQ(RunParameters().Get(L"__down|" + list_path), ListUrl());
  EXPECT_EQ(ReadWholeFile(list_path + L".xml"), ReadWholeFile(list_path)) << "kept for the next quick check";
  EXPECT_EQ(ListUrlBase(), ListUrl().substr(0, ListUrl().rfind(L'/')));
}

TEST_F(CheckProcedureTest, TheCheckReusesItsConnections) {
  // The book's list and the template list go out side by side, one
  // connection each; the book service's POST that follows rides one of them.
  WriteConfiguration();
  PublishLists();
  WriteInstalledList(kInstalledList);
  ReportWindow report;
  DWORD result = 1;
  testing::RunOnWorkerPumping([&] { result = CheckThreadProc(report.get()); });
  report.Pump();
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(DuePaths(), kTwoDue);

  const auto log = PublisherLog();
  std::set<long long> list_connections;
  long long post_connection = -1;
  for (const auto& request : log) {
    if (request.method == "POST") post_connection = request.connection;
    else list_connections.insert(request.connection);
  }
  ASSERT_EQ(log.size(), 3u) << "the list, the template list and the book service, one request each";
  EXPECT_LE(list_connections.size(), 2u);
  EXPECT_EQ(list_connections.count(post_connection), 1u) << "the POST opens no connection of its own";
}

TEST_F(CheckProcedureTest, TheTemplateListArrivesWhileTheBooksListIsStillComing) {
  // The book's list stalls after its head. Fetched one after the other, the
  // template list could not be asked for before the book's list had come; side
  // by side, it comes whole while the book's list still waits.
  WriteConfiguration();
  PublishLists();
  WriteInstalledList(kInstalledList);
  ASSERT_TRUE(SetFault(R"({"path": ")" + PathOf("tarvolin.xml") + R"(", "fault": "stall", "bytes": 0, "seconds": 2})"));
  std::atomic<bool> check_ended{false};
  std::atomic<bool> seen_side_by_side{false};
  std::thread watch([&] {
    while (!check_ended && !seen_side_by_side) {
      bool list_pending = false;
      bool template_complete = false;
      for (const auto& request : PublisherLog()) {
        if (request.path == PathOf("tarvolin.xml") && request.method == "GET" && !request.complete()) list_pending = true;
        if (request.path == PathOf("main.xml") && request.complete()) template_complete = true;
      }
      if (list_pending && template_complete) seen_side_by_side = true;
      ::Sleep(50);
    }
  });
  ReportWindow report;
  DWORD result = 1;
  testing::RunOnWorkerPumping([&] { result = CheckThreadProc(report.get()); });
  check_ended = true;
  watch.join();
  report.Pump();
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(DuePaths(), kTwoDue);
  EXPECT_TRUE(seen_side_by_side);
}

TEST_F(CheckProcedureTest, SucceededNoticeGoesToTheParent) {
  WriteConfiguration();
  PublishLists();
  WriteInstalledList(kInstalledList);
  ReportWindow parent;
  ReportWindow child(parent.get());
  CheckThreadProc(child.get());
  child.Pump();
  EXPECT_EQ(parent.commands, std::vector<WORD>{kCheckSucceededCommand});
  EXPECT_TRUE(child.commands.empty());
}

TEST_F(CheckProcedureTest, StalledListServerTimesOut) {
  WriteConfiguration();
  WriteSetting(sections::kTarvolin, L"TimeOut", L"1");
  PublishLists();
  ASSERT_TRUE(SetFault(R"({"path": ")" + PathOf("tarvolin.xml") + R"(", "fault": "stall", "bytes": 0, "seconds": 4})"));
  CurrentDownLoadList().SetDescription(L"old");
  ReportWindow report;
  CheckThreadProc(report.get());

  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteError);
  EXPECT_EQ(CurrentDownLoadList().Count(), 0);
  EXPECT_EQ(CurrentDownLoadList().Description(), L"");
  EXPECT_TRUE(Contains(report.texts, L"error when download the list file.\n" + ListUrl()));
}

// The time-outs come from the server's configuration: a huge one means a long
// wait, never a product that overflows into giving up at once.
TEST_F(CheckProcedureTest, AHugeTimeOutWaitsForASlowList) {
  struct Case {
    const wchar_t* key;
    bool through_mirrors;
  } cases[] = {{L"TimeOut", false}, {L"MultCheckTimeOut", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.key);
    ASSERT_TRUE(testing::ResetPublisher());
    ASSERT_TRUE(testing::SetPostReply(
        R"({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": "{\"result\":1}"})"));
    SetStatus(UpdateNone, nullptr);
    ClearProbeResults();
    WriteConfiguration();
    // Times 100 this passes the largest 64-bit number and would turn negative.
    WriteSetting(sections::kTarvolin, c.key, L"92233720368547759");
    PublishLists();
    WriteInstalledList(kInstalledList);
    const std::string slow = c.through_mirrors ? "m1/tarvolin.xml" : "tarvolin.xml";
    if (c.through_mirrors) {
      Publish(slow, kRemoteList);
      SetProbeResults({L"", {UrlOf(slow)}});
    }
    ASSERT_TRUE(SetFault(R"({"path": ")" + PathOf(slow) + R"(", "fault": "stall", "bytes": 0, "seconds": 1})"));

    CheckThreadProc(nullptr);
    EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
    EXPECT_EQ(DuePaths(), kTwoDue);
  }
}

TEST_F(CheckProcedureTest, MirrorRaceKeepsExactlyOneList) {
  WriteConfiguration();
  Publish("m1/tarvolin.xml", kRemoteList);
  Publish("m2/tarvolin.xml", kRemoteList);
  WriteInstalledList(kInstalledList);
  const std::vector<std::wstring> mirrors = {UrlOf("m1/tarvolin.xml"), UrlOf("m2/tarvolin.xml")};
  SetProbeResults({L"", mirrors});

  CheckThreadProc(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  // Mirrors are whole lists: no template is merged, so its files are not due.
  EXPECT_EQ(DuePaths(), kTwoDue);
  const std::wstring winner = MirrorWinner();
  EXPECT_TRUE(winner == mirrors[0] || winner == mirrors[1]) << winner;
  EXPECT_EQ(ListUrlBase(), winner.substr(0, winner.rfind(L'/')));
  EXPECT_TRUE(MirrorUrls().empty());

  // The other mirror may still be on its way; once both were asked, its
  // file (and its part files) must go and the list stay.
  const std::wstring list_path = CachedListPath();
  auto leftovers = [&] {
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((list_path + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return count;
    do {
      std::wstring name = found.cFileName;
      count += name != FileNameOf(list_path) && name != FileNameOf(list_path) + L".xml";
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
  };
  auto both_asked = [&] {
    std::set<std::string> asked;
    for (const auto& request : PublisherLog())
      if (request.method == "GET") asked.insert(request.path);
    return asked.count(PathOf("m1/tarvolin.xml")) && asked.count(PathOf("m2/tarvolin.xml"));
  };
  int settled_polls = 0;
  for (int i = 0; i < 200 && settled_polls < 5; ++i) {
    settled_polls = both_asked() && leftovers() == 0 ? settled_polls + 1 : 0;
    ::Sleep(100);
  }
  EXPECT_EQ(settled_polls, 5) << "the losing mirror's file stayed";
  EXPECT_TRUE(FileExists(list_path));
}

TEST_F(CheckProcedureTest, DamagedTemplateIsFetchedAgainThenRefused) {
  WriteConfiguration();
  Publish("tarvolin.xml", kRemoteList);
  Publish("main.xml", "<update><file path=");
  DialogAnswerer boxes(L"book.exe", IDOK);
  ReportWindow report;
  CheckThreadProc(report.get());

  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteError);
  EXPECT_EQ(CurrentDownLoadList().Count(), 0);
  EXPECT_EQ(boxes.Seen().size(), 1u);
  EXPECT_TRUE(Contains(report.texts, L"error when download the list file.\n" + ListUrl()));
  // First merge, download again, second merge: the service is asked twice
  // and both files are fetched between the two questions.
  std::vector<std::string> order;
  for (const auto& request : PublisherLog()) {
    if (request.method == "POST") order.push_back("service");
    if (request.method == "GET" && request.path == PathOf("main.xml") && (order.empty() || order.back() != "main"))
      order.push_back("main");
  }
  EXPECT_EQ(order, (std::vector<std::string>{"main", "service", "main", "service"}));
}

TEST_F(CheckProcedureTest, BrokenRemoteListsNeverInventFiles) {
  const std::string whole = kRemoteList;
  struct Case {
    const char* what;
    std::string list;
    const char* fault;  // applied to every request for the list
  } cases[] = {
      {"cut in half", whole.substr(0, whole.size() / 2), nullptr},
      {"binary noise", std::string("\x00\xff<update>\x01\x02</upd", 17), nullptr},
      {"empty", "", nullptr},
      {"unknown root", "<files><file path=\"zz.dll\" ver=\"1\"/></files>", nullptr},
      {"connection dropped", whole, R"("fault": "drop_after", "bytes": 60)"},
      {"length promised but not sent", whole, R"("fault": "wrong_length", "bytes": 500)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(testing::ResetPublisher());
    ASSERT_TRUE(testing::SetPostReply(
        R"({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": "{\"result\":1}"})"));
    // A list of its own per case: a transfer given up by an earlier case may still be writing.
    const std::string list_name = "list" + std::to_string(&c - cases) + ".xml";
    WriteConfiguration(L"", list_name);
    WriteSetting(sections::kTarvolin, L"TimeOut", L"60");
    Publish(list_name, c.list);
    Publish("main.xml", kTemplateList);
    if (c.fault) {
      ASSERT_TRUE(SetFault(R"({"path": ")" + PathOf(list_name) + R"(", )" + c.fault + "}"));
    }
    WriteInstalledList(kInstalledList);
    SetStatus(UpdateNone, nullptr);
    DialogAnswerer boxes(L"book.exe", IDOK);
    CheckThreadProc(nullptr);

    const int status = CurrentStatus();
    EXPECT_TRUE(status == UpdateCheckRemoteError || status == UpdateCheckRemoteOk) << status;
    for (const auto& path : DuePaths()) EXPECT_TRUE(path == L"a.dll" || path == L"c.dll") << path;
    if (status == UpdateCheckRemoteError) {
      EXPECT_EQ(CurrentDownLoadList().Count(), 0);
    }
  }
}

TEST_F(CheckProcedureTest, QuickCheckReusesTheLastList) {
  WriteConfiguration();
  WriteSetting(sections::kTarvolin, L"QuickCheck", L"1");
  RunParameters().Set(L"runmode", L"checkforupdates");
  WriteInstalledList(kInstalledList);
  const std::wstring cached = CachedListStem() + L".xml";
  ASSERT_TRUE(WriteWholeFile(cached, kRemoteList));
  ReportWindow report;

  CheckThreadProc(report.get());
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  EXPECT_EQ(DuePaths(), kTwoDue);
  EXPECT_TRUE(PublisherLog().empty()) << "a quick check asks no server";
  EXPECT_EQ(CachedListPath(), cached + L".xml");
  EXPECT_TRUE(FileExists(cached + L".xml"));
}

TEST_F(CheckProcedureTest, QuickCheckOnlyInCheckModes) {
  struct Case {
    const wchar_t* mode;
    const wchar_t* quick_check;
    const wchar_t* check_ver_number;
    bool downloads;
  } cases[] = {
      {L"checkforupdates", L"1", L"0", false}, {L"appenter", L"1", L"0", false},
      {L"appenternoprompt", L"yes", L"0", false}, {L"AppEnter", L"1", L"0", true},
      {L"mostsimple", L"1", L"0", true},        {L"checkforupdates", L"0", L"0", true},
      {L"checkforupdates", L"1", L"1", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Narrow(c.mode) + " quick=" + testing::Narrow(c.quick_check) +
                 " probe=" + testing::Narrow(c.check_ver_number));
    ASSERT_TRUE(testing::ResetPublisher());
    ASSERT_TRUE(testing::SetPostReply(
        R"({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": "{\"result\":1}"})"));
    WriteConfiguration();
    PublishLists();
    WriteSetting(sections::kTarvolin, L"QuickCheck", c.quick_check);
    WriteSetting(sections::kApplication, L"CheckVerNumber", c.check_ver_number);
    RunParameters().Set(L"runmode", c.mode);
    SetListFileOverride(L"");
    ::DeleteFileW((CachedListStem() + L".xml").c_str());
    ::DeleteFileW((CachedListStem() + L".xml.xml").c_str());
    SetStatus(UpdateNone, nullptr);
    ReportWindow report;
    CheckThreadProc(report.get());
    EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
    EXPECT_EQ(!PublisherLog().empty(), c.downloads);
    // Without a cached list a quick check finds nothing and says so.
    EXPECT_EQ(Contains(report.texts, L"Find nothing to update."), !c.downloads);
  }
}

TEST_F(CheckProcedureTest, UnusableListAddressStopsTheCheck) {
  const std::wstring saved_name = ExeBaseName();
  SetExeBaseName(L"bookupdater");
  struct Case {
    const wchar_t* list_url;
    bool with_window;
    int answer;  // to the sample question; 0: no question expected
    const wchar_t* text;
  } cases[] = {
      {L"abcd", true, 0, L"tarvolin.ini -> UPDATEINFO -> ListURL can't empty"},
      {L"", false, 0, L""},
      {L"", true, IDNO, L"can't to get [UNDATEINFO]-ListURL from bookupdater.ini"},
      {L"", true, IDYES, L"can't to get [UNDATEINFO]-ListURL from bookupdater.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Narrow(c.list_url) + (c.with_window ? " window" : " silent"));
    RunParameters().Clear();
    config_.WriteIni(std::wstring(L"[UPDATEINFO]\r\nListURL=") + c.list_url + L"\r\n");
    SetStatus(UpdateNone, nullptr);
    DialogAnswerer question(L"Tarvolin", c.answer ? c.answer : IDNO);
    ReportWindow report;
    CheckThreadProc(c.with_window ? report.get() : nullptr);

    EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteError);
    if (*c.text) {
      EXPECT_TRUE(Contains(report.texts, c.text));
    }
    ASSERT_EQ(question.Seen().size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(question.Seen()[0].text,
                L"can't to get [UNDATEINFO]-ListURL from bookupdater.ini\nMake a sample?");
    }
    const std::wstring after = ReadSetting(sections::kUpdateInfo, L"ListURL");
    if (c.answer == IDYES) {
      EXPECT_TRUE(after.ends_with(L"/update/tarvolinen.xml")) << after;
      EXPECT_EQ(ReadSetting(sections::kTarvolin, L"QuickCheck"), L"0");
      EXPECT_EQ(ReadSetting(sections::kApplication, L"Application"), L"demo.exe");
      EXPECT_EQ(ReadSetting(sections::kApplication, L"Name"), L"Tarvolin demo");
    } else {
      EXPECT_EQ(after, c.list_url);
    }
  }
  SetExeBaseName(saved_name);
}

TEST_F(CheckProcedureTest, SecondCheckKeepsSuccessOnly) {
  WriteConfiguration();
  PublishLists();
  WriteInstalledList(kInstalledList);
  CheckThreadProc(nullptr);
  ASSERT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  ASSERT_TRUE(testing::ResetPublisher());

  CheckThreadProc(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  EXPECT_EQ(DuePaths(), kTwoDue);
  EXPECT_TRUE(PublisherLog().empty()) << "one check per process";

  SetStatus(UpdateDownloadError, nullptr);
  CheckThreadProc(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteError);
  EXPECT_EQ(CurrentDownLoadList().Count(), 0);
  EXPECT_EQ(CurrentDownLoadList().Description(), L"");
  EXPECT_TRUE(PublisherLog().empty());
}

// The update window's file list as the check drives it.
class FakeFileList : public CheckFileListView {
 public:
  explicit FakeFileList(HWND window) : window_(window) {}
  HWND Window() const override { return window_; }
  void ClearFiles() override { calls.push_back(L"clear"); }
  void AddFile(const std::wstring& path, int image_index) override {
    calls.push_back(L"add " + path + L" " + std::to_wstring(image_index));
  }
  void RefreshState() override { calls.push_back(L"refresh"); }
  void HideFiles() override { calls.push_back(L"hide"); }
  std::vector<std::wstring> calls;

 private:
  HWND window_;
};

TEST_F(CheckProcedureTest, UpdateWindowListsTheDueFiles) {
  struct Case {
    const char* installed;
    std::vector<std::wstring> calls;
  } cases[] = {
      {R"(<update><file path="b.dll" ver="0.9"/><file path="zu\agent.dll" ver="1"/><file path="book.cfg" ver="3"/></update>)",
       {L"clear", L"add a.dll 4", L"add b.dll 4", L"add c.dll 4", L"refresh"}},
      {R"(<update><file path="a.dll" ver="2.0"/><file path="b.dll" ver="1.0"/><file path="c.dll" ver="1.1"/>)"
       R"(<file path="zu\agent.dll" ver="1"/><file path="book.cfg" ver="3"/><description>New release</description></update>)",
       {L"clear", L"refresh", L"hide"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.calls.size());
    ASSERT_TRUE(testing::ResetPublisher());
    ASSERT_TRUE(testing::SetPostReply(
        R"({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": "{\"result\":1}"})"));
    WriteConfiguration();
    PublishLists();
    WriteInstalledList(c.installed);
    SetStatus(UpdateNone, nullptr);
    ReportWindow window;
    FakeFileList files(window.get());
    CheckThreadProc(nullptr, &files);
    window.Pump();
    EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
    EXPECT_EQ(files.calls, c.calls);
    // The window stands in for the report window too: both notices reach it.
    EXPECT_EQ(window.commands, (std::vector<WORD>{kCheckSucceededCommand, kCheckEndedCommand}));
  }
}

}  // namespace
}  // namespace tarvolin
