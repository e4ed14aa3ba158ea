#include "host/host_command_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace tarvolin {

// Names in failure messages instead of the enumerators' bytes.
void PrintTo(HostCommand command, std::ostream* out) {
  static constexpr const char* kNames[] = {"None",
                                           "HeartbeatPreinitialize",
                                           "HeartbeatApplicationComplete",
                                           "HeartbeatFirstPageLoaded",
                                           "HeartbeatOther",
                                           "LoadComplete",
                                           "PopShowEBookSetActive",
                                           "Minimize",
                                           "Maximize",
                                           "Restore",
                                           "CloseApp",
                                           "MoveWindows",
                                           "ExternalCmd"};
  *out << kNames[static_cast<int>(command)];
}

void PrintTo(WatchdogBox box, std::ostream* out) {
  static constexpr const char* kNames[] = {"None", "SlowPage", "SlowContent", "DamagedContent"};
  *out << kNames[static_cast<int>(box)];
}

namespace {

TEST(HostCommandRules, MarkersDecideInTheirOrder) {
  const struct {
    const wchar_t* url;
    HostCommand command;
  } cases[] = {
      {L"http://www.publisher.example/book/page3.aspx", HostCommand::None},
      {L"about:blank?Type=closeApp", HostCommand::CloseApp},
      {L"about:blank?type=closeApp", HostCommand::None},  // the marker is case-sensitive
      {L"about:blank?Type=CloseApp", HostCommand::None},
      {L"about:blank?Type=heartbeat&id=preinitialize", HostCommand::HeartbeatPreinitialize},
      {L"about:blank?Type=heartbeat&id=applicationComplete", HostCommand::HeartbeatApplicationComplete},
      {L"about:blank?Type=heartbeat&id=firstPageLoaded", HostCommand::HeartbeatFirstPageLoaded},
      {L"about:blank?Type=heartbeat&id=somethingElse", HostCommand::HeartbeatOther},
      {L"about:blank?Type=heartbeat", HostCommand::HeartbeatOther},
      // The first id in the heartbeat order wins, wherever it stands in the URL.
      {L"about:blank?Type=heartbeat&id=firstPageLoaded&x=id=preinitialize", HostCommand::HeartbeatPreinitialize},
      // A heartbeat is a heartbeat even when the URL names another command first.
      {L"about:blank?Type=closeApp&Type=heartbeat", HostCommand::HeartbeatOther},
      {L"about:blank?Type=heartbeat&id=firstPageLoaded&Type=closeApp", HostCommand::HeartbeatFirstPageLoaded},
      {L"about:blank?Type=moveWindows&Type=loadComplete", HostCommand::LoadComplete},
      {L"about:blank?Type=loadComplete", HostCommand::LoadComplete},
      {L"about:blank?Type=PopShowEBookSetActive", HostCommand::PopShowEBookSetActive},
      {L"about:blank?Type=minimizeWindows", HostCommand::Minimize},
      {L"about:blank?Type=maximizeWindows", HostCommand::Maximize},
      {L"about:blank?Type=restoreWindows", HostCommand::Restore},
      {L"about:blank?Type=moveWindows", HostCommand::MoveWindows},
      {L"about:blank?Type=externalCmd&cmd=x", HostCommand::ExternalCmd},
      {L"about:blank?Type=restoreWindows&Type=minimizeWindows", HostCommand::Minimize},
      {L"about:blank?Type=externalCmd&Type=closeApp", HostCommand::CloseApp},
      {L"about:blank?id=preinitialize", HostCommand::None},  // an id alone is no heartbeat
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyHostCommand(c.url), c.command) << c.url;
}

// What each sign of the page's progress decides: the load phase it sets, the
// caption of the watchdog box it answers and the answer it gives that box.
TEST(HostCommandRules, HeartbeatsCloseTheBoxTheyAnswer) {
  const struct {
    const char* name;
    std::optional<PageProgress> progress;
    std::optional<PageProgress> expected;
  } cases[] = {
      {"preinitialize", ProgressOf(HostCommand::HeartbeatPreinitialize), PageProgress{3, L"(CODE:3)", 6}},
      {"applicationComplete", ProgressOf(HostCommand::HeartbeatApplicationComplete), PageProgress{7, L"(CODE:7)", 0}},
      {"firstPageLoaded", ProgressOf(HostCommand::HeartbeatFirstPageLoaded), PageProgress{15, L"(CODE:15)", 0}},
      {"the document complete", kDocumentCompleted, PageProgress{1, L"(CODE:1)", 6}},
      {"another heartbeat", ProgressOf(HostCommand::HeartbeatOther), std::nullopt},
      {"loadComplete", ProgressOf(HostCommand::LoadComplete), std::nullopt},
      {"closeApp", ProgressOf(HostCommand::CloseApp), std::nullopt},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.progress.has_value(), c.expected.has_value()) << c.name;
    if (!c.expected) continue;
    EXPECT_EQ(c.progress->load_phase, c.expected->load_phase) << c.name;
    EXPECT_STREQ(c.progress->caption_suffix, c.expected->caption_suffix) << c.name;
    EXPECT_EQ(c.progress->dismiss_result, c.expected->dismiss_result) << c.name;
  }
}

TEST(HostCommandRules, WatchdogBoxFollowsTheLoadPhase) {
  const struct {
    int phase;
    WatchdogBox box;
  } cases[] = {
      {-1, WatchdogBox::SlowPage},       {0, WatchdogBox::SlowPage},       {1, WatchdogBox::SlowContent},
      {2, WatchdogBox::SlowContent},     {3, WatchdogBox::DamagedContent}, {7, WatchdogBox::DamagedContent},
      {14, WatchdogBox::DamagedContent}, {15, WatchdogBox::None},          {16, WatchdogBox::None},
  };
  for (const auto& c : cases) EXPECT_EQ(WatchdogBoxFor(c.phase), c.box) << c.phase;
}

TEST(HostCommandRules, WatchdogMessages) {
  const struct {
    WatchdogBox box;
    const wchar_t* book_id;
    std::wstring text;  // empty: no box
    const wchar_t* caption_suffix;
    bool question;
  } cases[] = {
      {WatchdogBox::SlowPage, L"B1", L"服务器忙，页面加载有点慢，可能需要您耐心等待一会儿，是否继续等待？", L"(CODE:1)", true},
      {WatchdogBox::SlowContent, L"B1", L"服务器忙，内容加载有点慢，可能需要您耐心等待一会儿，是否继续等待？", L"(CODE:3)",
       true},
      // The book id goes in as written, a "%s" in it included.
      {WatchdogBox::DamagedContent, L"9%s7",
       std::wstring(L"　本书（ID号：9%s7）内容已损坏，请联系客服协助修复！\n") + kSupportContactLines, L"(CODE:15)", false},
      {WatchdogBox::None, L"B1", L"", L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.box));
    const auto message = WatchdogMessageFor(c.box, c.book_id);
    ASSERT_EQ(message.has_value(), !c.text.empty());
    if (!message) continue;
    EXPECT_EQ(message->text, c.text);
    EXPECT_STREQ(message->caption_suffix, c.caption_suffix);
    EXPECT_EQ(message->question, c.question);
  }
}

TEST(HostCommandRules, DamagedContentEndsTheRunUnlessTheFirstPageArrived) {
  EXPECT_TRUE(DamagedContentEndsRun(3));
  EXPECT_TRUE(DamagedContentEndsRun(14));
  EXPECT_FALSE(DamagedContentEndsRun(15));
}

}  // namespace
}  // namespace tarvolin
