// The publisher's list of push messages for one e-book, read from its answer by
// plain text search (the answer is JSON-like but is not trusted to be JSON).
// Window-free, so it can be driven by tables and fuzzed natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

// Local time as the push messages need it. The program uses the system's;
// tests bring a calendar and a clock of their own.
class LocalCalendar {
 public:
  virtual ~LocalCalendar() = default;
  // Seconds since 1970 of local midnight of that day; nothing when the
  // calendar has no such day (31 February) or cannot represent it.
  virtual std::optional<long long> LocalMidnight(int year, int month, int day) const = 0;
  // The local hour of the day (0-23) at that time.
  virtual int LocalHour(long long time) const = 0;
};

// The C runtime's local time zone.
const LocalCalendar& SystemCalendar();
// Seconds since 1970, now.
long long CurrentTime();

// timeType values: interval mode, hour mode; anything else is never shown.
inline constexpr int kLastIntervalTimeType = 2;
inline constexpr int kHourTimeType = 3;

// One message of the answer, with the answer's defaults.
struct PushRecord {
  std::wstring msg_id;
  int start_delay = 0;      // StarDelayNum: seconds before the first showing
  int push_num = 0;         // showings (per hour in hour mode)
  int push_interval = 0;    // seconds between showings
  std::wstring msg_url;     // page of the package pop-up
  std::wstring ele_url;     // picture of the picture pop-up
  std::wstring ele_trans_url;  // opened when the picture is clicked
  long long end_date = 0;   // local midnight of MsgEndDate; parse time without one
  int time_type = -1;
  std::vector<int> time_value;  // hours of the day for hour mode
  int position = 1;         // screen anchor 1-9
  int page_width = 0;
  int page_height = 0;
  int x_offset = 0;
  int y_offset = 0;
  std::wstring task;        // empty: picture; "appshopdalibao": package
  std::wstring task_memo;
};

// Every message object after the enclosing one, in answer order. A record
// whose MsgEndDate is present but not a real day is dropped alone; empty,
// cut or garbage answers give fewer records or none, never a failure.
std::vector<PushRecord> ParsePushAnswer(std::wstring_view answer, long long now, const LocalCalendar& calendar);

}  // namespace tarvolin
