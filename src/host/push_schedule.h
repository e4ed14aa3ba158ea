// When each push message is due. The decision is window-free: a pass is given
// the time, a calendar and whether it may act at all (the host window in front,
// the pop-up ready and hidden), so a test drives it with a clock of its own.
//
// Threads: Pass runs on the scheduler thread, MarkDone on the host window's
// thread; one lock guards the showing state of every message.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/push_answer.h"

namespace tarvolin {

inline constexpr long long kSecondsPerDay = 86400;

// (now - last) without its whole days: 86 410 s apart counts as 10 s.
long long ElapsedWithinDay(long long now, long long last);
// The text the host window gets for one showing:
// task|MsgId|MsgUrl|eleUrl|eleTransUrl|pageWidth|pageHeight|Position|xOffset|yOffset.
std::wstring ShowingText(const PushRecord& record);

class PushSchedule {
 public:
  PushSchedule() = default;
  // Every message counts as last shown at `parsed_at`, so the first delay runs from then.
  PushSchedule(std::vector<PushRecord> records, long long parsed_at) { Load(std::move(records), parsed_at); }
  // Replaces the list (the scheduler thread loads it once fetched).
  void Load(std::vector<PushRecord> records, long long parsed_at);
  PushSchedule(const PushSchedule&) = delete;
  PushSchedule& operator=(const PushSchedule&) = delete;

  // One pass: the showing text of the first message in list order that is
  // due now, with that showing counted; nothing when none is due or when the
  // pass may not act.
  std::optional<std::wstring> Pass(bool may_act, long long now, const LocalCalendar& calendar);
  // Every message with this id (in any letter case) is never shown again, also
  // not in a later hour of hour mode.
  void MarkDone(std::wstring_view msg_id);
  std::size_t size() const;

 private:
  struct Entry {
    PushRecord record;
    bool shown = false;
    long long last_shown = 0;
    int count = 0;
    bool retired = false;
  };
  static bool FireIfDue(Entry& entry, long long now, const LocalCalendar& calendar);

  mutable std::mutex guard_;
  std::vector<Entry> entries_;
};

}  // namespace tarvolin
