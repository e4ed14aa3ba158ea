#include "ui/tray_rules.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(TrayRules, CheckSpan) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"", 5}, {L"0", 5}, {L"-3", 5}, {L"abc", 5}, {L"1", 1}, {L"4", 4}, {L"5", 5},
      {L"59", 59}, {L"60", 60}, {L"90", 60}, {L" 7 ", 7}, {L"99999999999999", 60},
  };
  for (const auto& [setting, minutes] : cases) EXPECT_EQ(CheckSpanMinutes(setting), minutes) << setting;
}

TEST(TrayRules, CountdownFallsOneEverySecondToZero) {
  const std::pair<std::int64_t, int> cases[] = {
      {0, 120}, {499, 120}, {999, 120}, {1000, 119}, {1500, 119}, {60000, 60},
      {119999, 1}, {120000, 0}, {500000, 0}, {-2000, 120},  // a clock that went back counts as no time
  };
  for (const auto& [elapsed, remaining] : cases) EXPECT_EQ(CountdownRemaining(10000, 10000 + elapsed), remaining) << elapsed;
}

TEST(TrayRules, PeriodicCheck) {
  EXPECT_FALSE(PeriodicCheckDue(1000 + 299, 1000, 5, false, false));
  EXPECT_TRUE(PeriodicCheckDue(1000 + 300, 1000, 5, false, false));
  EXPECT_FALSE(PeriodicCheckDue(1000 + 300, 1000, 5, true, false));  // a check runs
  EXPECT_FALSE(PeriodicCheckDue(1000 + 300, 1000, 5, false, true));  // an update runs
  EXPECT_TRUE(PeriodicCheckDue(1000 + 3600, 1000, 60, false, false));
}

TEST(TrayRules, StatusTexts) {
  struct Case {
    bool updating;
    int state, files;
    const wchar_t* section;
    const wchar_t* text;
  };
  const Case cases[] = {
      {true, 3, 4, L"TRYICON", L"updater is running..."},
      {false, 2, 0, L"MAIN", L"Can't connection update server!"},
      {false, 3, 0, L"MAIN", L"Find nothing to update."},
      {false, 3, 2, L"MAIN", L"Found %d files need to update..."},
      {false, 1, 0, L"MAIN", L"Check update files"},
      {false, 0, 0, L"MAIN", L""},
      {false, 13, 5, L"MAIN", L""},
  };
  for (const Case& c : cases) {
    TrayStatusText text = StatusTextFor(c.updating, c.state, c.files);
    EXPECT_STREQ(text.section, c.section) << c.state;
    EXPECT_STREQ(text.text, c.text) << c.state;
  }
  EXPECT_EQ(TrayTip(L"Book", L"Find nothing to update."), L"[Book]\nFind nothing to update.");
  EXPECT_EQ(TrayTip(L"", L"Find nothing to update."), L"");
}

TEST(TrayRules, PlacementAndHotAreas) {
  EXPECT_EQ(NearTrayPosition(1024, 768, 219, 141), (TrayPoint{800, 582}));
  const HotAreas areas{{L"close", {196, 8, 210, 22}}, {L"check", {73, 109, 140, 125}}};
  EXPECT_EQ(HotAreaAt(areas, 196, 8), L"close");
  EXPECT_EQ(HotAreaAt(areas, 209, 21), L"close");
  EXPECT_EQ(HotAreaAt(areas, 210, 21), L"");  // the right edge is outside
  EXPECT_EQ(HotAreaAt(areas, 100, 110), L"check");
  EXPECT_EQ(HotAreaAt(areas, 0, 0), L"");
  EXPECT_EQ(Widened({10, 20, 30, 40}, 3), (HotRect{7, 17, 33, 43}));
}

}  // namespace
}  // namespace tarvolin
