#include "host/host_command_rules.h"

#include <gtest/gtest.h>

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

TEST(HostCommandRules, HeartbeatsCloseTheBoxTheyAnswer) {
  const auto pre = ProgressOf(HostCommand::HeartbeatPreinitialize);
  ASSERT_TRUE(pre);
  EXPECT_EQ(pre->load_phase, 3);
  EXPECT_STREQ(pre->caption_suffix, L"(CODE:3)");
  EXPECT_EQ(pre->dismiss_result, 6);

  const auto complete = ProgressOf(HostCommand::HeartbeatApplicationComplete);
  ASSERT_TRUE(complete);
  EXPECT_EQ(complete->load_phase, 7);
  EXPECT_STREQ(complete->caption_suffix, L"(CODE:7)");
  EXPECT_EQ(complete->dismiss_result, 0);

  const auto first_page = ProgressOf(HostCommand::HeartbeatFirstPageLoaded);
  ASSERT_TRUE(first_page);
  EXPECT_EQ(first_page->load_phase, 15);
  EXPECT_STREQ(first_page->caption_suffix, L"(CODE:15)");
  EXPECT_EQ(first_page->dismiss_result, 0);

  EXPECT_EQ(kDocumentCompleted.load_phase, 1);
  EXPECT_STREQ(kDocumentCompleted.caption_suffix, L"(CODE:1)");
  EXPECT_EQ(kDocumentCompleted.dismiss_result, 6);

  for (HostCommand other : {HostCommand::HeartbeatOther, HostCommand::LoadComplete, HostCommand::CloseApp}) {
    EXPECT_FALSE(ProgressOf(other));
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
  const auto page = WatchdogMessageFor(WatchdogBox::SlowPage, L"B1");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->text, L"服务器忙，页面加载有点慢，可能需要您耐心等待一会儿，是否继续等待？");
  EXPECT_STREQ(page->caption_suffix, L"(CODE:1)");
  EXPECT_TRUE(page->question);

  const auto content = WatchdogMessageFor(WatchdogBox::SlowContent, L"B1");
  ASSERT_TRUE(content);
  EXPECT_EQ(content->text, L"服务器忙，内容加载有点慢，可能需要您耐心等待一会儿，是否继续等待？");
  EXPECT_STREQ(content->caption_suffix, L"(CODE:3)");
  EXPECT_TRUE(content->question);

  // The book id goes in as written, a "%s" in it included.
  const auto damaged = WatchdogMessageFor(WatchdogBox::DamagedContent, L"9%s7");
  ASSERT_TRUE(damaged);
  EXPECT_EQ(damaged->text,
            std::wstring(L"　本书（ID号：9%s7）内容已损坏，请联系客服协助修复！\n") + kSupportContactLines);
  EXPECT_STREQ(damaged->caption_suffix, L"(CODE:15)");
  EXPECT_FALSE(damaged->question);

  EXPECT_FALSE(WatchdogMessageFor(WatchdogBox::None, L"B1"));
}

TEST(HostCommandRules, DamagedContentEndsTheRunUnlessTheFirstPageArrived) {
  EXPECT_TRUE(DamagedContentEndsRun(3));
  EXPECT_TRUE(DamagedContentEndsRun(14));
  EXPECT_FALSE(DamagedContentEndsRun(15));
}

}  // namespace
}  // namespace tarvolin
