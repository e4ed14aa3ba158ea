// The host window's arithmetic and texts, as tables.
#include "ui/host_window_rules.h"

#include <gtest/gtest.h>

#include "status/status_numbers.h"

namespace tarvolin {
namespace {

namespace rules = host_window_rules;

TEST(HostWindowRules, PercentAfterBytesGivesNinetyPointsToTheDownload) {
  struct Case {
    double before;
    long long total, done;
    int index, count;
    double expected;
  } cases[] = {
      {0, 100, 50, 0, 2, 32.5},    // half of the first of two files
      {0, 100, 100, 1, 2, 100.0},  // the last file complete
      {5, 0, 10, 0, 1, 5},         // no total: unchanged
      {5, 100, 10, 0, 0, 5},       // no file count: unchanged, no division by zero
      {0, 100, 200, 1, 2, 100.0},  // more than announced never passes 100
      {0, 1LL << 33, 1LL << 32, 0, 1, 55.0},  // files beyond 4 GiB
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(rules::PercentAfterBytes(c.before, c.total, c.done, c.index, c.count), c.expected)
        << c.total << " " << c.done << " " << c.index << "/" << c.count;
  }
}

TEST(HostWindowRules, StatusTextsForceThePercentOrLeaveTheTipAlone) {
  EXPECT_EQ(rules::PercentAfterStatusText(42, UpdateCheckRemoteOk), std::optional<double>(10));
  EXPECT_EQ(rules::PercentAfterStatusText(42, UpdateCopyOk), std::optional<double>(100));
  EXPECT_EQ(rules::PercentAfterStatusText(42, UpdateEnd), std::optional<double>(100));
  EXPECT_EQ(rules::PercentAfterStatusText(42, UpdateDownload), std::optional<double>(42));
  for (int error : {UpdateCheckRemoteError, UpdateDownloadError, UpdateCheckLocalError, UpdateCopyError})
    EXPECT_EQ(rules::PercentAfterStatusText(42, error), std::nullopt) << error;
}

TEST(HostWindowRules, TipShowsTheWholePercentOnlyWhenItRises) {
  struct Case {
    double percent;
    int last_shown;
    std::optional<std::wstring> text;
    int shown;
  } cases[] = {
      {99.6, 50, L"布伦诺克电子书（正在缓存数据 99%）", 99},
      {100.0, 99, rules::kTipAlmostDone, 100},
      {130.0, 100, rules::kTipAlmostDone, 100},  // 100 or more: always the almost-complete tip
      {40.0, 55, std::nullopt, 55},              // falling: unchanged
      {55.9, 55, std::nullopt, 55},              // the same whole percent: unchanged
  };
  for (const auto& c : cases) {
    auto change = rules::TipFor(c.percent, c.last_shown);
    ASSERT_EQ(change.has_value(), c.text.has_value()) << c.percent;
    if (change) {
      EXPECT_EQ(change->text, *c.text);
      EXPECT_EQ(change->shown, c.shown);
    }
  }
}

TEST(HostWindowRules, FrameHitTestFindsCornersBeforeEdges) {
  const int w = 800, h = 600;
  struct Case {
    int x, y, code;
  } cases[] = {
      {0, 0, rules::kHitTopLeft},        {799, 0, rules::kHitTopRight},    {0, 599, rules::kHitBottomLeft},
      {799, 599, rules::kHitBottomRight}, {4, 300, rules::kHitLeft},       {795, 300, rules::kHitRight},
      {400, 4, rules::kHitTop},           {400, 595, rules::kHitBottom},   {5, 5, rules::kHitClient},
      {400, 300, rules::kHitClient},      {794, 594, rules::kHitClient},
  };
  for (const auto& c : cases) EXPECT_EQ(rules::FrameHitTest(c.x, c.y, w, h), c.code) << c.x << "," << c.y;
}

TEST(HostWindowRules, FirstRestoreCentresOrStartsAtTheCorner) {
  auto centred = rules::FirstRestoreOrigin(1024, 768);
  EXPECT_EQ(centred.x, 112);
  EXPECT_EQ(centred.y, 84);
  auto small = rules::FirstRestoreOrigin(640, 480);
  EXPECT_EQ(small.x, 0);
  EXPECT_EQ(small.y, 0);
}

}  // namespace
}  // namespace tarvolin
