#include "ui/tray_rules.h"

#include <algorithm>

#include "common/strings.h"

namespace tarvolin {
namespace {

constexpr int kShortestSpanMinutes = 5;
constexpr int kLongestSpanMinutes = 60;
constexpr int kTrayMarginRight = 5;
constexpr int kTrayMarginBottom = 45;

}  // namespace

int CheckSpanMinutes(const std::wstring& setting) {
  const long long minutes = ParseDecimal(Trim(setting));
  if (minutes <= 0) return kShortestSpanMinutes;
  if (minutes >= kLongestSpanMinutes) return kLongestSpanMinutes;
  return static_cast<int>(minutes);
}

int CountdownRemaining(std::int64_t started_ms, std::int64_t now_ms) {
  const std::int64_t elapsed_s = std::max<std::int64_t>(0, now_ms - started_ms) / 1000;
  return static_cast<int>(std::max<std::int64_t>(0, kCountdownSeconds - elapsed_s));
}

bool PeriodicCheckDue(std::int64_t now_s, std::int64_t last_check_s, int span_minutes, bool checking, bool updating) {
  if (checking || updating) return false;
  return now_s - last_check_s >= std::int64_t{span_minutes} * 60;
}

TrayStatusText StatusTextFor(bool updating, int check_state, int files) {
  if (updating) return {translation_sections::kTrayIcon, L"updater is running..."};
  switch (check_state) {
    case kTrayCheckFailed:
      return {translation_sections::kMain, L"Can't connection update server!"};
    case kTrayCheckDone:
      return files < 1 ? TrayStatusText{translation_sections::kMain, L"Find nothing to update."}
                       : TrayStatusText{translation_sections::kMain, L"Found %d files need to update..."};
    case kTrayChecking:
      return {translation_sections::kMain, L"Check update files"};
    default:
      return {translation_sections::kMain, L""};
  }
}

std::wstring TrayTip(const std::wstring& name, const std::wstring& status) {
  if (name.empty()) return L"";
  return L"[" + name + L"]\n" + status;
}

TrayPoint NearTrayPosition(int screen_width, int screen_height, int window_width, int window_height) {
  return {screen_width - window_width - kTrayMarginRight, screen_height - window_height - kTrayMarginBottom};
}

std::wstring HotAreaAt(const HotAreas& areas, int x, int y) {
  for (const auto& [name, rect] : areas) {
    if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom) return name;
  }
  return L"";
}

HotRect Widened(const HotRect& rect, int by) {
  return {rect.left - by, rect.top - by, rect.right + by, rect.bottom + by};
}

}  // namespace tarvolin
