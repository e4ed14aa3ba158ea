#include "host/push_schedule.h"

#include <algorithm>

#include "common/strings.h"

namespace tarvolin {
namespace {

bool HourListed(const std::vector<int>& hours, int hour) {
  return std::find(hours.begin(), hours.end(), hour) != hours.end();
}

}  // namespace

long long ElapsedWithinDay(long long now, long long last) { return (now - last) % kSecondsPerDay; }

std::wstring ShowingText(const PushRecord& record) {
  std::wstring text = record.task + L'|' + record.msg_id + L'|' + record.msg_url + L'|' + record.ele_url + L'|' +
                      record.ele_trans_url;
  for (int number : {record.page_width, record.page_height, record.position, record.x_offset, record.y_offset}) {
    text += L'|' + std::to_wstring(number);
  }
  return text;
}

void PushSchedule::Load(std::vector<PushRecord> records, long long parsed_at) {
  std::vector<Entry> entries;
  entries.reserve(records.size());
  for (PushRecord& record : records) {
    Entry entry;
    entry.record = std::move(record);
    entry.last_shown = parsed_at;
    entries.push_back(std::move(entry));
  }
  std::lock_guard<std::mutex> hold(guard_);
  entries_ = std::move(entries);
}

// Decides one message and, when it is due, counts the showing.
bool PushSchedule::FireIfDue(Entry& entry, long long now, const LocalCalendar& calendar) {
  const PushRecord& record = entry.record;
  const long long elapsed = ElapsedWithinDay(now, entry.last_shown);
  bool due = false;
  if (record.time_type == kHourTimeType) {
    const int hour = calendar.LocalHour(now);
    if (!HourListed(record.time_value, hour)) return false;
    if (!entry.shown) {
      due = elapsed >= record.start_delay;
    } else {
      // The count is per hour: a new hour starts it again.
      if (calendar.LocalHour(entry.last_shown) != hour) entry.count = 0;
      due = entry.count < record.push_num && elapsed >= record.push_interval;
    }
  } else if (!entry.shown) {
    // The first showing does not look at the count: PushNum 0 still shows once.
    due = elapsed >= record.start_delay;
  } else {
    due = entry.count < record.push_num && elapsed >= record.push_interval;
  }
  if (!due) return false;
  entry.shown = true;
  entry.last_shown = now;
  ++entry.count;
  return true;
}

std::optional<std::wstring> PushSchedule::Pass(bool may_act, long long now, const LocalCalendar& calendar) {
  if (!may_act) return std::nullopt;
  std::lock_guard<std::mutex> hold(guard_);
  for (Entry& entry : entries_) {
    if (entry.retired) continue;
    // Past its end date by a whole day or more.
    if ((entry.record.end_date - now) / kSecondsPerDay < 0) continue;
    if (entry.record.time_type < 0 || entry.record.time_type > kHourTimeType) continue;
    if (FireIfDue(entry, now, calendar)) return ShowingText(entry.record);
  }
  return std::nullopt;
}

void PushSchedule::MarkDone(std::wstring_view msg_id) {
  const std::wstring wanted = ToLower(std::wstring(msg_id));
  std::lock_guard<std::mutex> hold(guard_);
  for (Entry& entry : entries_) {
    if (ToLower(entry.record.msg_id) != wanted) continue;
    entry.count = entry.record.push_num;
    entry.retired = true;
  }
}

std::size_t PushSchedule::size() const {
  std::lock_guard<std::mutex> hold(guard_);
  return entries_.size();
}

}  // namespace tarvolin
