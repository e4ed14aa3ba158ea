// The template merge, the version probe and the settings-file clean-up.
#include <gtest/gtest.h>

#include <ctime>

#include "check_fixture.h"
#include "common/files.h"
#include "common/process_state.h"
#include "config/settings.h"
#include "pipeline/check_procedure.h"
#include "pipeline/download_list.h"
#include "status/update_status.h"
#include "support/publisher_client.h"
#include "support/ui_automation.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/update_list.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

using testing::CheckTest;
using testing::DialogAnswerer;
using testing::PublisherLog;
using testing::SetFault;
using testing::SetPostReply;
using testing::Widen;

TEST(MergeRules, AttributeValues) {
  struct Case {
    const wchar_t* name;
    const wchar_t* value;
    const wchar_t* application;
    const wchar_t* expected;
  } cases[] = {
      {L"path", L"{agentName}\\{Application}.ini", L"book.exe", L"zu\\book.ini"},
      {L"url", L"http://x/{agentName}/{Application}", L"book.exe", L"http://x/{agentName}/book"},  // path only
      {L"Path", L"{agentName}\\a", L"book.exe", L"{agentName}\\a"},                                 // exact name
      {L"ver", L"{Application}{Application}", L"a.exe.exe", L"aa"},                                // every ".exe"
      {L"path", L"{application}", L"book.exe", L"{application}"},                                  // exact placeholder
      {L"path", L"{Application}", L"BOOK.EXE", L"BOOK.EXE"},                                       // ".exe" as written
      {L"path", L"plain.dll", L"", L"plain.dll"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MergedAttributeValue(c.name, c.value, c.application, L"zu"), c.expected) << c.name << L"=" << c.value;
  }
}

TEST(MergeRules, ServiceReply) {
  struct Case {
    const wchar_t* reply;
    bool accepted;
  } cases[] = {
      {L"{\"result\":1}", true},       {L"{\"result\": 1}", true},  {L" { \"result\" : 1 } ", true},
      {L"{\"result\":0}", false},      {L"", false},                {L"{\"result\":1}\r\n", false},
      {L"{\"result\":11}", false},     {L"{\"Result\":1}", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsBookServiceReplyAccepted(c.reply), c.accepted) << c.reply;
}

TEST(MergeRules, ServiceUrlCarriesTheBook) {
  const std::wstring saved = BookServiceBase();
  SetBookServiceBase(L"http://svc.example");
  EXPECT_EQ(BookServiceUrl(L"77"), L"http://svc.example/DigitalLibrary/ajax.aspx?action=CheckEbookList&ebookId=77");
  SetBookServiceBase(saved);
}

constexpr char kList[] = R"(<?xml version="1.0"?><update><file path="own.dll" ver="1"/></update>)";
constexpr char kTemplate[] =
    R"(<?xml version="1.0"?><update>)"
    R"(<file path="{agentName}\agent.dll" ver="2" url="http://cdn/{agentName}/{Application}.bin"/>)"
    R"(<file path="{Application}.cfg" ver="3"/>)"
    R"(<description>template news</description>)"
    R"(<group><file path="grouped.dll" ver="4"/></group>)"
    R"(</update>)";

class MergeTest : public CheckTest {
 protected:
  void SetUp() override {
    CheckTest::SetUp();
    WriteConfiguration(L"AgentName=agentx\r\n");
    list_ = config_ / L"list.xml";
    main_ = config_ / L"list.xml.main.xml";
  }
  std::vector<updatefileinfo> Merged() const {
    ComThreadScope com;
    std::vector<updatefileinfo> records;
    LoadUpdateList(list_, records, false);
    return records;
  }
  int ServiceRequests() const {
    int count = 0;
    for (const auto& request : PublisherLog()) count += request.method == "POST";
    return count;
  }
  std::wstring list_, main_;
};

TEST_F(MergeTest, LeafChildrenAreAppendedWithPlaceholdersFilled) {
  ASSERT_TRUE(WriteWholeFile(list_, kList));
  ASSERT_TRUE(WriteWholeFile(main_, kTemplate));
  DialogAnswerer boxes(L"book.exe", IDOK);
  ASSERT_TRUE(MergeMainList(list_, main_, L"", L""));
  EXPECT_TRUE(boxes.Seen().empty());

  auto records = Merged();
  ASSERT_EQ(records.size(), 3u);  // the description and the group carry children and stay out
  EXPECT_EQ(records[0].path, L"own.dll");
  EXPECT_EQ(records[1].path, L"agentx\\agent.dll");
  EXPECT_EQ(records[1].url, L"http://cdn/{agentName}/book.bin");
  EXPECT_EQ(records[2].path, L"book.cfg");
  EXPECT_EQ(records[2].version, L"3");
  ASSERT_EQ(ServiceRequests(), 1);
  EXPECT_EQ(PublisherLog()[0].path, "/DigitalLibrary/ajax.aspx?action=CheckEbookList&ebookId=77");
}

TEST_F(MergeTest, RefusedOrMissingServiceAnswerLeavesTheListAlone) {
  struct Case {
    const char* what;
    const char* post_reply;  // null: the service does not know the path (404 page)
  } cases[] = {
      {"refused", R"({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": "{\"result\":0}"})"},
      {"not found", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(testing::ResetPublisher());
    if (c.post_reply) {
      ASSERT_TRUE(SetPostReply(c.post_reply));
    }
    ASSERT_TRUE(WriteWholeFile(list_, kList));
    ASSERT_TRUE(WriteWholeFile(main_, kTemplate));
    DialogAnswerer boxes(L"book.exe", IDOK);
    EXPECT_FALSE(MergeMainList(list_, main_, L"", L""));
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_NE(boxes.Seen()[0].text.find(L"77"), std::wstring::npos) << "the box names the book";
    EXPECT_EQ(ReadWholeFile(list_).value_or(""), kList);
  }
}

TEST_F(MergeTest, DamagedTemplateIsDownloadedAgainWhenAddressesAreKnown) {
  Publish("list.xml", kList);
  Publish("main.xml", kTemplate);
  ASSERT_TRUE(WriteWholeFile(list_, kList));
  ASSERT_TRUE(WriteWholeFile(main_, "<update><file path=\"cut"));
  DialogAnswerer boxes(L"book.exe", IDOK);
  ASSERT_TRUE(MergeMainList(list_, main_, UrlOf("list.xml"), UrlOf("main.xml")));
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_EQ(Merged().size(), 3u);
  EXPECT_EQ(ServiceRequests(), 2) << "the fresh files go through the whole merge again";
  bool fetched_list = false, fetched_main = false;
  for (const auto& request : PublisherLog()) {
    fetched_list = fetched_list || (request.method == "GET" && request.path == PathOf("list.xml"));
    fetched_main = fetched_main || (request.method == "GET" && request.path == PathOf("main.xml"));
  }
  EXPECT_TRUE(fetched_list);
  EXPECT_TRUE(fetched_main);
}

TEST_F(MergeTest, DamagedListWithoutAddressesIsReported) {
  struct Case {
    const char* what;
    const char* list;
    const char* main;
  } cases[] = {
      {"list cut short", "<update><file", kTemplate},
      {"template of another root", kList, "<updates><file path=\"x\" ver=\"1\"/></updates>"},
      {"empty template", kList, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteWholeFile(list_, c.list));
    ASSERT_TRUE(WriteWholeFile(main_, c.main));
    DialogAnswerer boxes(L"book.exe", IDOK);
    EXPECT_FALSE(MergeMainList(list_, main_, L"", L""));
    EXPECT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(ReadWholeFile(list_).value_or(""), c.list);
  }
}

class ProbeTest : public CheckTest {};

TEST_F(ProbeTest, ReplyDecidesTheStatus) {
  struct Case {
    const char* what;
    const char* reply;  // null: nothing published
    const char* fault;  // extra publisher fault on the probe address
    const wchar_t* time_out;
    int status;
    const wchar_t* version;
    std::vector<std::wstring> mirrors;
  } cases[] = {
      {"version and mirrors", "<Ver>2.1</Ver>\r\n<URL>http://m1/l.xml</URL><Url>http://m2/l.xml</Url>", nullptr,
       L"60", UpdateCheckRemoteOk, L"2.1", {L"http://m1/l.xml", L"http://m2/l.xml"}},
      {"version split over lines", "<ver>\r\n3.0\r\n</ver>", nullptr, L"60", UpdateCheckRemoteOk, L"3.0", {}},
      {"mirrors only", "<url>http://m1/l.xml</url>", nullptr, L"60", UpdateCheckRemoteError, L"", {L"http://m1/l.xml"}},
      {"not there", nullptr, nullptr, L"60", UpdateCheckRemoteError, L"", {}},
      {"answer too late", "<ver>9</ver>", "stall", L"1", UpdateCheckRemoteError, L"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = std::string("probe-") + std::to_string(&c - cases) + ".txt";
    WriteConfiguration(L"CheckVerNumber=1\r\n");
    WriteSetting(sections::kTarvolin, L"TimeOut", c.time_out);
    WriteSetting(sections::kUpdateInfo, L"ListURL", UrlOf(name));
    if (c.reply) {
      Publish(name, c.reply);
    }
    if (c.fault) {
      ASSERT_TRUE(SetFault(R"({"path": ")" + PathOf(name) + R"(", "fault": "stall", "bytes": 0, "seconds": 3})"));
    }
    SetStatus(UpdateNone, nullptr);
    CheckEntry(nullptr);
    EXPECT_EQ(CurrentStatus(), c.status);
    EXPECT_EQ(ProbeVersion(), c.version);
    EXPECT_EQ(MirrorUrls(), c.mirrors);
    EXPECT_EQ(CurrentDownLoadList().Count(), 0) << "the probe alone runs no check";
  }
}

TEST_F(ProbeTest, EntryWithoutProbeRunsTheFullCheckAndForgetsOldMirrors) {
  WriteConfiguration();
  Publish("tarvolin.xml", kList);
  Publish("main.xml", R"(<update/>)");
  SetProbeResults({L"1.0", {L"http://stale.invalid/list.xml"}});
  CheckEntry(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  EXPECT_TRUE(MirrorUrls().empty());
  EXPECT_EQ(DuePaths(), std::vector<std::wstring>{L"own.dll"});
}

class StaleSettingsTest : public CheckTest {};

TEST_F(StaleSettingsTest, SettingsFileGoesAfterFortyEightSeconds) {
  struct Case {
    long long seconds_ago;
    const wchar_t* from_web_server;
    int status;
    bool deleted;
  } cases[] = {
      {30, L"", UpdateCheckRemoteOk, false},
      {49, L"", UpdateCheckRemoteOk, true},
      {-49, L"", UpdateCheckRemoteOk, true},  // a clock set back counts the same
      {30, L"true", UpdateCheckRemoteOk, true},
      {30, L"yes", UpdateDownloadOk, false},
      {49, L"", UpdateCheckRemoteError, false},  // runs that never got a list leave it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds_ago);
    WriteConfiguration();
    const std::wstring settings = ListSettingsFilePath();
    ASSERT_TRUE(WriteWholeFile(settings, "zip"));
    const long long before = static_cast<long long>(std::time(nullptr));
    WriteSetting(sections::kTarvolin, L"OwerCheckTm", std::to_wstring(before - c.seconds_ago));
    RunParameters().Set(L"fromtwebsvr", c.from_web_server);
    SetStatus(c.status, nullptr);
    CleanStaleCacheMarker();
    EXPECT_EQ(!FileExists(settings), c.deleted);
    const long long written = std::stoll(ReadSetting(sections::kTarvolin, L"OwerCheckTm"));
    if (c.status >= UpdateCheckRemoteOk) {
      EXPECT_GE(written, before);
      EXPECT_LE(written, static_cast<long long>(std::time(nullptr)));
    } else {
      EXPECT_EQ(written, before - c.seconds_ago);
    }
    ::DeleteFileW(settings.c_str());
  }
}

}  // namespace
}  // namespace tarvolin
