#include "ui/host_window_rules.h"

#include <cwchar>

#include "status/status_numbers.h"

namespace tarvolin::host_window_rules {

double PercentAfterBytes(double percent, long long total, long long done, int file_index, int file_count) {
  if (total == 0 || file_count == 0) return percent;
  double share = (static_cast<double>(done) / static_cast<double>(total)) / file_count +
                 static_cast<double>(file_index) / file_count;
  double next = share * 90.0 + 10.0;
  return next > 100.0 ? 100.0 : next;
}

bool UpdateSucceeded(int status, int records_due) {
  return status == UpdateCopyOk || status == UpdateEnd || (status == UpdateCheckRemoteOk && records_due == 0);
}

bool MustStartOver(int status) {
  return status == UpdateCheckRemoteError || status == UpdateDownloadError || status == UpdateCheckLocalError ||
         status == UpdateCopyError;
}

std::optional<double> PercentAfterStatusText(double percent, int status) {
  switch (status) {
    case UpdateCheckRemoteError:
    case UpdateDownloadError:
    case UpdateCheckLocalError:
    case UpdateCopyError:
      return std::nullopt;
    case UpdateCheckRemoteOk:
      return 10.0;
    case UpdateCopyOk:
    case UpdateEnd:
      return 100.0;
    default:
      return percent;
  }
}

std::optional<TipChange> TipFor(double percent, int last_shown) {
  int whole = static_cast<int>(percent);
  if (whole >= 100) return TipChange{kTipAlmostDone, 100};
  if (whole <= last_shown) return std::nullopt;
  wchar_t text[128];
  std::swprintf(text, 128, kTipCachingFormat, whole);
  return TipChange{text, whole};
}

int FrameHitTest(int x, int y, int width, int height) {
  const bool left = x < kFrameBorder;
  const bool right = x >= width - kFrameBorder;
  const bool top = y < kFrameBorder;
  const bool bottom = y >= height - kFrameBorder;
  if (top && left) return kHitTopLeft;
  if (top && right) return kHitTopRight;
  if (bottom && left) return kHitBottomLeft;
  if (bottom && right) return kHitBottomRight;
  if (left) return kHitLeft;
  if (right) return kHitRight;
  if (top) return kHitTop;
  if (bottom) return kHitBottom;
  return kHitClient;
}

Origin FirstRestoreOrigin(int screen_width, int screen_height) {
  int x = (screen_width - kRestoredWidth) / 2;
  int y = (screen_height - kRestoredHeight) / 2;
  return Origin{x < 0 ? 0 : x, y < 0 ? 0 : y};
}

}  // namespace tarvolin::host_window_rules
