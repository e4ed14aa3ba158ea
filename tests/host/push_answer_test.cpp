#include "host/push_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "push_calendar.h"

namespace tarvolin {
namespace {

using testing::FixedZoneCalendar;

const FixedZoneCalendar kCalendar;
const long long kNow = kCalendar.At(2026, 12, 10, 15, 30);

std::vector<PushRecord> Parse(std::wstring_view answer) { return ParsePushAnswer(answer, kNow, kCalendar); }

std::vector<std::wstring> Ids(const std::vector<PushRecord>& records) {
  std::vector<std::wstring> ids;
  for (const auto& r : records) ids.push_back(r.msg_id);
  return ids;
}

TEST(PushAnswer, ReadsEveryFieldOfAMessage) {
  const auto records = Parse(
      LR"({"result":1,"data":[{"MsgId":"7","StarDelayNum":"10","PushNum":2,"PushInterval":"60",)"
      LR"("MsgUrl":"http://pub/pkg.aspx","eleUrl":"http://pub/a.gif","eleTransUrl":"http://pub/go",)"
      LR"("MsgEndDate":"2027-01-31 00:00:00","timeType":"3","timeValue":"9,20","Position":"9",)"
      LR"("pageWidth":"300","pageHeight":"200","xOffset":"-10","yOffset":-40,"task":"appshopdalibao",)"
      LR"("taskMemo":"gift"}]})");
  ASSERT_EQ(records.size(), 1u);
  const PushRecord& r = records[0];
  EXPECT_EQ(r.msg_id, L"7");
  EXPECT_EQ(r.start_delay, 10);
  EXPECT_EQ(r.push_num, 2);
  EXPECT_EQ(r.push_interval, 60);
  EXPECT_EQ(r.msg_url, L"http://pub/pkg.aspx");
  EXPECT_EQ(r.ele_url, L"http://pub/a.gif");
  EXPECT_EQ(r.ele_trans_url, L"http://pub/go");
  EXPECT_EQ(r.end_date, kCalendar.At(2027, 1, 31));
  EXPECT_EQ(r.time_type, 3);
  EXPECT_EQ(r.time_value, (std::vector<int>{9, 20}));
  EXPECT_EQ(r.position, 9);
  EXPECT_EQ(r.page_width, 300);
  EXPECT_EQ(r.page_height, 200);
  EXPECT_EQ(r.x_offset, -10);
  EXPECT_EQ(r.y_offset, -40);
  EXPECT_EQ(r.task, L"appshopdalibao");
  EXPECT_EQ(r.task_memo, L"gift");
}

TEST(PushAnswer, MissingKeysKeepTheirDefaults) {
  const auto records = Parse(LR"({"data":[{"MsgId":"x"}]})");
  ASSERT_EQ(records.size(), 1u);
  const PushRecord& r = records[0];
  EXPECT_EQ(r.time_type, -1);  // never shown
  EXPECT_EQ(r.position, 1);
  EXPECT_EQ(r.end_date, kNow);  // no end date: the time of parsing
  EXPECT_TRUE(r.time_value.empty());
  EXPECT_EQ(r.start_delay, 0);
  EXPECT_TRUE(r.task.empty());
}

TEST(PushAnswer, ValuesEndAtTheirOwnMarks) {
  struct Case {
    const wchar_t* object;
    std::wstring url;
    std::vector<int> hours;
    int position;
  } cases[] = {
      // An address with a comma ends at the comma.
      {LR"({"MsgUrl":"http://p/x?a=1,b=2","Position":4})", L"http://p/x?a=1", {}, 4},
      // The last value ends at the closing brace.
      {LR"({"Position":"6","MsgUrl":"http://p/y"})", L"http://p/y", {}, 6},
      // The hour list runs to the next '",', past its own commas.
      {LR"({"timeValue":"9,20","Position":7})", L"", {9, 20}, 7},
      {LR"({"Position":2,"timeValue":"0,5,23"})", L"", {0, 5, 23}, 2},
      {LR"({"timeValue":"","Position":3})", L"", {}, 3},
      // A colon inside the value belongs to the value.
      {LR"({"MsgUrl":"https://p:8080/z"})", L"https://p:8080/z", {}, 1},
      // Quote-delimited keys: "task" is not found inside "taskMemo".
      {LR"({"taskMemo":"m","MsgUrl":"u"})", L"u", {}, 1},
  };
  for (const auto& c : cases) {
    const auto records = Parse(std::wstring(L"{[") + c.object + L"]}");
    ASSERT_EQ(records.size(), 1u) << c.object;
    EXPECT_EQ(records[0].msg_url, c.url) << c.object;
    EXPECT_EQ(records[0].time_value, c.hours) << c.object;
    EXPECT_EQ(records[0].position, c.position) << c.object;
    EXPECT_TRUE(records[0].task.empty()) << c.object;
  }
}

TEST(PushAnswer, AnInvalidEndDateDropsOnlyItsMessage) {
  const wchar_t* bad_dates[] = {
      L"1899-12-31", L"2026-13-01", L"2026-0-10", L"2026-12-0", L"2026-12-32",
      L"2026-02-30",  // no such day: the calendar refuses it
      L"soon", L"", L"2026/12/10", L"2026-12",
  };
  for (const wchar_t* date : bad_dates) {
    const std::wstring answer = std::wstring(LR"({"data":[{"MsgId":"a"},{"MsgId":"b","MsgEndDate":")") + date +
                                LR"("},{"MsgId":"c","MsgEndDate":"2026-12-31"}]})";
    EXPECT_EQ(Ids(Parse(answer)), (std::vector<std::wstring>{L"a", L"c"})) << date;
  }
  // Dates the rule takes: blanks and a time of day after the day are fine.
  EXPECT_EQ(Parse(LR"({[{"MsgEndDate":" 2026-2-28 23:59"}]})").at(0).end_date, kCalendar.At(2026, 2, 28));
  EXPECT_EQ(Parse(LR"({[{"MsgEndDate":"2028-02-29"}]})").at(0).end_date, kCalendar.At(2028, 2, 29));
}

TEST(PushAnswer, EmptyCutAndGarbageAnswers) {
  struct Case {
    const wchar_t* answer;
    std::vector<std::wstring> ids;
  } cases[] = {
      {L"", {}},
      {L"garbage", {}},
      {L"<html><body>502 Bad Gateway</body></html>", {}},
      {L"{", {}},
      {L"{{", {}},                                  // a lone brace at the end ends the walk
      {LR"({"MsgId":"outer"})", {}},                // the enclosing object is never a message
      {LR"({"data":[]})", {}},
      {LR"({"data":[{"MsgId":"7","timeType":0)", {L"7"}},  // cut inside the first message
      {LR"({"data":[{"MsgId":"7"},{"MsgId":"8)", {L"7", L"8"}},
      {LR"({"data":[{"MsgId":"7"},{)", {L"7"}},
      {LR"({"data":[{}]})", {L""}},                // an empty message: kept, never shown
      {L"}}}{{\"MsgId\":\"9\"}", {L"9"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Ids(Parse(c.answer)), c.ids) << c.answer;
}

TEST(PushAnswer, NumbersAreReadByTheirLeadingDigits) {
  const auto r = Parse(LR"({[{"PushNum":"3x","PushInterval":"abc","StarDelayNum":" 12","pageWidth":"99999999999"}]})");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].push_num, 3);
  EXPECT_EQ(r[0].push_interval, 0);
  EXPECT_EQ(r[0].start_delay, 12);
  EXPECT_EQ(r[0].page_width, 2147483647);  // held at the largest int, never wrapped
}

TEST(SystemCalendar, MidnightIsALocalDayStartAndRefusesDaysThatDoNotExist) {
  const LocalCalendar& calendar = SystemCalendar();
  const auto midnight = calendar.LocalMidnight(2026, 3, 1);
  ASSERT_TRUE(midnight.has_value());
  EXPECT_EQ(calendar.LocalHour(*midnight), 0);
  EXPECT_EQ(calendar.LocalHour(*midnight + 9 * 3600 + 59), 9);
  EXPECT_FALSE(calendar.LocalMidnight(2026, 2, 29).has_value());
  EXPECT_FALSE(calendar.LocalMidnight(2026, 4, 31).has_value());
  EXPECT_TRUE(calendar.LocalMidnight(2028, 2, 29).has_value());
}

}  // namespace
}  // namespace tarvolin
