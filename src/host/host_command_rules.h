// What the reading page asks of its host window, and what the load watchdog
// shows while the page is slow. The page talks to the host by starting
// navigations whose URL carries a "Type=" marker; these rules decide which
// command a URL is, and the window carries it out. Window-free.
#pragma once

#include <optional>
#include <string>

namespace tarvolin {

enum class HostCommand {
  None,  // not a command: the navigation goes ahead
  HeartbeatPreinitialize,
  HeartbeatApplicationComplete,
  HeartbeatFirstPageLoaded,
  HeartbeatOther,
  LoadComplete,
  PopShowEBookSetActive,
  Minimize,
  Maximize,
  Restore,
  CloseApp,
  MoveWindows,
  ExternalCmd,
};

// Markers are searched case-sensitively in a fixed order and the first found
// decides, so a heartbeat URL that also names another command is a heartbeat.
HostCommand ClassifyHostCommand(const std::wstring& url);

// How far the reading page has come (the host window's LoadPhase).
namespace load_phase {
inline constexpr int kNothing = 0;
inline constexpr int kDocumentComplete = 1;
inline constexpr int kPreinitialize = 3;
inline constexpr int kApplicationComplete = 7;
inline constexpr int kFirstPageLoaded = 15;
}  // namespace load_phase

// Suffixes of the watchdog boxes' captions after the host title; a progress
// report closes the box that waits for it by this caption.
inline constexpr wchar_t kSlowPageCaption[] = L"(CODE:1)";
inline constexpr wchar_t kSlowContentCaption[] = L"(CODE:3)";
inline constexpr wchar_t kApplicationCompleteCaption[] = L"(CODE:7)";
inline constexpr wchar_t kDamagedContentCaption[] = L"(CODE:15)";

// Dialog results a progress report ends a waiting box with.
inline constexpr int kDismissAsYes = 6;  // IDYES: the watchdog keeps waiting
inline constexpr int kDismissQuietly = 0;

// A heartbeat's progress: the new LoadPhase and the box it closes.
struct PageProgress {
  int load_phase;
  const wchar_t* caption_suffix;
  int dismiss_result;
};
// For the three heartbeats that report progress; none for the others.
std::optional<PageProgress> ProgressOf(HostCommand command);
// The reading page's own document completed.
inline constexpr PageProgress kDocumentCompleted{load_phase::kDocumentComplete, kSlowPageCaption, kDismissAsYes};

// The load watchdog: its first wait, and the wait after the user chose to go on.
inline constexpr unsigned kWatchdogFirstWaitMs = 30000;
inline constexpr unsigned kWatchdogNextWaitMs = 40000;

enum class WatchdogBox {
  None,            // the first page is there: the watchdog is done
  SlowPage,        // Yes/No question, caption suffix (CODE:1)
  SlowContent,     // Yes/No question, caption suffix (CODE:3)
  DamagedContent,  // error with OK, caption suffix (CODE:15)
};
WatchdogBox WatchdogBoxFor(int load_phase);

struct WatchdogMessage {
  std::wstring text;
  const wchar_t* caption_suffix;
  bool question;  // Yes/No with a question icon; otherwise OK with an error icon
};
// Nothing for WatchdogBox::None.
std::optional<WatchdogMessage> WatchdogMessageFor(WatchdogBox box, const std::wstring& ebook_id);

// After the damaged-content box: the run ends unless the first page arrived
// while the box was open.
inline bool DamagedContentEndsRun(int load_phase) { return load_phase < load_phase::kFirstPageLoaded; }

inline constexpr wchar_t kSlowPageText[] = L"服务器忙，页面加载有点慢，可能需要您耐心等待一会儿，是否继续等待？";
inline constexpr wchar_t kSlowContentText[] = L"服务器忙，内容加载有点慢，可能需要您耐心等待一会儿，是否继续等待？";
inline constexpr wchar_t kDamagedContentFormat[] = L"　本书（ID号：%s）内容已损坏，请联系客服协助修复！";
inline constexpr wchar_t kSupportContactLines[] =
    L"客服邮箱：support@publisher.example\n客服电话：010-5550-0199（工作日 9:00-18:00）";

// "Type=closeApp" once the user may leave.
inline constexpr wchar_t kCloseQuestionText[] = L"您要退出布伦诺克电子书吗？";
inline constexpr wchar_t kCloseQuestionCaption[] = L"布伦诺克电子书";

}  // namespace tarvolin
