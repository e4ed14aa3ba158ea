// What the e-book host window decides, apart from the window: the progress
// percent, the tray tip, the custom frame's hit test and the first restore's
// place. No window headers, so tests call these with tables.
#pragma once

#include <optional>
#include <string>

namespace tarvolin::host_window_rules {

// Percent after a bytes message: this file's share of the download, ninety
// points for the download, ten for the check. Unchanged when the total is 0.
double PercentAfterBytes(double percent, long long total, long long done, int file_index, int file_count);

// Percent after a status text, or nothing when the status is an error (the
// tip keeps what it showed).
std::optional<double> PercentAfterStatusText(double percent, int status);

// The tray tip to show for `percent`, and the integer percent it stands for;
// nothing when the tip stays (a falling or unchanged percent).
struct TipChange {
  std::wstring text;
  int shown;
};
std::optional<TipChange> TipFor(double percent, int last_shown);

// True when a full update that ended with `status` and `records_due` left the
// book's files complete: copied, or nothing was due.
bool UpdateSucceeded(int status, int records_due);
// True when a status left by an earlier, failed pass must be set back before
// the update runs again (the sequence goes on only from a check or a list).
bool MustStartOver(int status);

inline constexpr wchar_t kTipQueued[] = L"布伦诺克电子书（暂未缓存，排队中）";
inline constexpr wchar_t kTipAlmostDone[] = L"布伦诺克电子书（数据缓存即将完毕）";
inline constexpr wchar_t kTipCachingFormat[] = L"布伦诺克电子书（正在缓存数据 %d%%）";
inline constexpr wchar_t kTipCached[] = L"布伦诺克电子书（数据缓存完毕，不联网也可以使用了）";

// Hit-test codes of the restored window's frame (the system's HT* values).
enum HitCode : int {
  kHitClient = 1,
  kHitLeft = 10,
  kHitRight = 11,
  kHitTop = 12,
  kHitTopLeft = 13,
  kHitTopRight = 14,
  kHitBottom = 15,
  kHitBottomLeft = 16,
  kHitBottomRight = 17,
};
inline constexpr int kFrameBorder = 5;
// `x`, `y` in client coordinates of a client area `width` x `height`.
int FrameHitTest(int x, int y, int width, int height);

// Left and top of the first restore (800 x 600, centred on the screen; on a
// smaller screen the window starts at its top left corner).
inline constexpr int kRestoredWidth = 800;
inline constexpr int kRestoredHeight = 600;
struct Origin {
  int x;
  int y;
};
Origin FirstRestoreOrigin(int screen_width, int screen_height);

}  // namespace tarvolin::host_window_rules
