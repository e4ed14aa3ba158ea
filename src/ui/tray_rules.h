// Decisions of the tray window that need no window: the re-check interval,
// the countdown, the status text and tip, where the pop-up goes and which hot
// area a point is in. No Windows headers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "config/translation_table.h"

namespace tarvolin {

// [Tarvolin] CheckTmSpan as minutes: 0, less or empty -> 5; 60 or more -> 60.
int CheckSpanMinutes(const std::wstring& setting);

// Seconds before the automatic update, counted from when the countdown started.
inline constexpr int kCountdownSeconds = 120;
// Remaining seconds at `now_ms` of a countdown started at `started_ms` (both
// from one steady clock); never below 0.
int CountdownRemaining(std::int64_t started_ms, std::int64_t now_ms);

// Whether the periodic check is due: neither a check nor an update runs and
// the span has passed since the last check.
bool PeriodicCheckDue(std::int64_t now_s, std::int64_t last_check_s, int span_minutes, bool checking, bool updating);

// Check states the window receives (status numbers).
inline constexpr int kTrayChecking = 1;
inline constexpr int kTrayCheckFailed = 2;
inline constexpr int kTrayCheckDone = 3;

// The status text in English, the way it is looked up in the translation
// table (section MAIN, except "updater is running..." in TRYICON), with the
// placeholder still in it; `files` fills it after translation.
struct TrayStatusText {
  const wchar_t* section = translation_sections::kMain;
  const wchar_t* text = L"";
};
TrayStatusText StatusTextFor(bool updating, int check_state, int files);

// The tip: "[" + name + "]\n" + status, or nothing when the book has no name.
std::wstring TrayTip(const std::wstring& name, const std::wstring& status);

struct TrayPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TrayPoint&) const = default;
};
// Where the pop-up goes the first time: above the tray's corner.
TrayPoint NearTrayPosition(int screen_width, int screen_height, int window_width, int window_height);

struct HotRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const HotRect&) const = default;
};
using HotAreas = std::map<std::wstring, HotRect>;
// The name of the hot area that holds the point (right and bottom edges
// outside), or empty.
std::wstring HotAreaAt(const HotAreas& areas, int x, int y);
HotRect Widened(const HotRect& rect, int by);

}  // namespace tarvolin
