#include "host/push_schedule.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/push_popup_rules.h"
#include "push_calendar.h"

namespace tarvolin {
namespace {

using testing::FixedZoneCalendar;

const FixedZoneCalendar kCalendar;
const long long kStart = kCalendar.At(2026, 12, 10, 15, 0);

PushRecord Message(const wchar_t* id, int time_type, int delay, int count, int interval) {
  PushRecord r;
  r.msg_id = id;
  r.time_type = time_type;
  r.start_delay = delay;
  r.push_num = count;
  r.push_interval = interval;
  r.end_date = kCalendar.At(2027, 1, 1);
  return r;
}

struct Showing {
  long long offset;  // seconds after kStart
  std::wstring id;
  bool operator==(const Showing&) const = default;
};
void PrintTo(const Showing& s, std::ostream* os) { *os << s.offset << ":" << std::string(s.id.begin(), s.id.end()); }

// Runs the scheduler's passes once per `step` seconds from kStart for `seconds`,
// the way its thread does, and lists what fired when.
std::vector<Showing> RunPasses(PushSchedule& schedule, long long seconds,
                               const std::function<bool(long long)>& may_act = [](long long) { return true; },
                               long long step = 1) {
  std::vector<Showing> fired;
  for (long long t = step; t <= seconds; t += step) {
    if (auto text = schedule.Pass(may_act(t), kStart + t, kCalendar)) {
      fired.push_back({t, ParseShowing(*text).msg_id});
    }
  }
  return fired;
}

TEST(PushSchedule, IntervalModeShowsAfterTheDelayThenEveryInterval) {
  PushSchedule schedule({Message(L"7", 0, 10, 2, 60)}, kStart);
  EXPECT_EQ(RunPasses(schedule, 600), (std::vector<Showing>{{10, L"7"}, {70, L"7"}}));
}

TEST(PushSchedule, OnlyPassesThatMayActShow) {
  // The host is behind another window (or the pop-up is up) until 15 s and from 60 s to 100 s.
  auto in_front = [](long long t) { return t >= 15 && (t < 60 || t >= 100); };
  PushSchedule schedule({Message(L"7", 0, 10, 2, 60)}, kStart);
  EXPECT_EQ(RunPasses(schedule, 600, in_front), (std::vector<Showing>{{15, L"7"}, {100, L"7"}}));
}

TEST(PushSchedule, EveryIntervalTimeTypeAndTheLimits) {
  struct Case {
    int time_type, delay, count, interval;
    std::vector<Showing> expected;
  } cases[] = {
      {1, 0, 0, 5, {{1, L"m"}}},  // PushNum 0 still shows once: the delay rule ignores the count
      {2, 3, 1, 5, {{3, L"m"}}},  // the first showing counts towards PushNum
      {0, 0, 3, 20, {{1, L"m"}, {21, L"m"}, {41, L"m"}}},
      {4, 0, 5, 1, {}},   // other time types are never shown
      {-1, 0, 5, 1, {}},
  };
  for (const auto& c : cases) {
    PushSchedule schedule({Message(L"m", c.time_type, c.delay, c.count, c.interval)}, kStart);
    EXPECT_EQ(RunPasses(schedule, 120), c.expected) << "timeType " << c.time_type;
  }
}

TEST(PushSchedule, OneShowingPerPassInListOrder) {
  PushSchedule schedule({Message(L"a", 0, 5, 1, 0), Message(L"b", 0, 5, 1, 0), Message(L"c", 0, 9, 1, 0)}, kStart);
  EXPECT_EQ(RunPasses(schedule, 30), (std::vector<Showing>{{5, L"a"}, {6, L"b"}, {9, L"c"}}));
}

TEST(PushSchedule, HourModeShowsOnlyInItsHoursAndCountsAgainEachHour) {
  PushRecord r = Message(L"h", 3, 0, 2, 600);
  r.time_value = {9, 20};
  const long long eight = kCalendar.At(2026, 12, 10, 8, 0);
  PushSchedule schedule({r}, eight);
  std::vector<int> shown_at;  // minutes after 08:00
  for (long long t = eight + 60; t <= eight + 14 * 3600; t += 60) {
    if (schedule.Pass(true, t, kCalendar)) shown_at.push_back(static_cast<int>((t - eight) / 60));
  }
  // 09:00 and 09:10 (two per hour), nothing between, then 20:00 and 20:10.
  EXPECT_EQ(shown_at, (std::vector<int>{60, 70, 720, 730}));
}

TEST(PushSchedule, ElapsedTimeLeavesOutWholeDays) {
  struct Case {
    long long difference, elapsed;
  } cases[] = {{10, 10}, {86410, 10}, {86400, 0}, {2 * 86400 + 59, 59}, {86399, 86399}};
  for (const auto& c : cases) EXPECT_EQ(ElapsedWithinDay(kStart + c.difference, kStart), c.elapsed) << c.difference;

  // Shown once, then a day and 5 s later: 5 s count, short of the 10 s interval.
  PushSchedule schedule({Message(L"d", 0, 0, 5, 10)}, kStart);
  ASSERT_TRUE(schedule.Pass(true, kStart, kCalendar));
  EXPECT_FALSE(schedule.Pass(true, kStart + 86405, kCalendar));
  EXPECT_TRUE(schedule.Pass(true, kStart + 86410, kCalendar));
}

TEST(PushSchedule, AMessageEndsADayAfterItsEndDate) {
  const long long end = kCalendar.At(2026, 12, 10);
  struct Case {
    long long now;
    bool shown;
  } cases[] = {
      {end - 3600, true},
      {end + 86399, true},   // less than a whole day past
      {end + 86400, false},  // a whole day past
      {end + 5 * 86400, false},
  };
  for (const auto& c : cases) {
    PushRecord r = Message(L"e", 0, 0, 1, 0);
    r.end_date = end;
    PushSchedule schedule({r}, c.now - 100);
    EXPECT_EQ(schedule.Pass(true, c.now, kCalendar).has_value(), c.shown) << c.now - end;
  }
}

TEST(PushSchedule, MarkDoneRetiresEveryMessageOfThatIdInAnyCase) {
  PushRecord hourly = Message(L"Gift", 3, 0, 1, 0);
  hourly.time_value = {15, 16};
  PushSchedule schedule({hourly, Message(L"GIFT", 0, 30, 1, 0), Message(L"other", 0, 30, 1, 0)}, kStart);
  ASSERT_TRUE(schedule.Pass(true, kStart + 1, kCalendar));  // "Gift" shows at 15:00
  schedule.MarkDone(L"gift");
  // Neither the unshown "GIFT" nor "Gift" in its next hour comes back.
  EXPECT_EQ(RunPasses(schedule, 2 * 3600, [](long long) { return true; }, 60), (std::vector<Showing>{{60, L"other"}}));
}

TEST(PushSchedule, TheShowingTextCarriesTheMessageForThePopup) {
  PushRecord r = Message(L"7", 0, 0, 1, 0);
  r.task = L"appshopdalibao";
  r.msg_url = L"http://p/pkg";
  r.ele_url = L"http://p/a.gif";
  r.ele_trans_url = L"http://p/go";
  r.page_width = 300;
  r.page_height = 200;
  r.position = 9;
  r.x_offset = -10;
  r.y_offset = -40;
  PushSchedule schedule({r}, kStart);
  EXPECT_EQ(schedule.Pass(true, kStart, kCalendar).value_or(L""),
            L"appshopdalibao|7|http://p/pkg|http://p/a.gif|http://p/go|300|200|9|-10|-40");
}

TEST(PushSchedule, PassesAndRetiringOnTwoThreadsKeepTheCounts) {
  // The scheduler thread and the window thread change the same messages;
  // whatever the interleaving, a retired message never shows again.
  std::vector<PushRecord> records;
  for (int i = 0; i < 200; ++i) records.push_back(Message(std::to_wstring(i).c_str(), 0, 0, 1000000, 0));
  PushSchedule schedule(std::move(records), kStart);
  std::thread retire([&] {
    for (int i = 0; i < 200; ++i) schedule.MarkDone(std::to_wstring(i));
  });
  for (int pass = 0; pass < 20000; ++pass) schedule.Pass(true, kStart + pass, kCalendar);
  retire.join();
  EXPECT_FALSE(schedule.Pass(true, kStart + 30000, kCalendar).has_value());
}

}  // namespace
}  // namespace tarvolin
