// The update check: validates the configuration, gets the current list,
// compares it with the installed one and leaves the due files, the
// description and the tasks in the download list, announcing the check
// statuses on the way.
//
// Threads: CheckThreadProc runs on the worker thread its caller created (or
// on the silent mode's main thread). It talks to windows only by synchronous
// status texts and posted WM_COMMAND notifications, and to the update window
// through CheckFileListView, whose owner must accept calls from that thread.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

// Notifications posted as WM_COMMAND command ids: a check found its result
// (to the report window's parent, or the report window itself), and a check
// ended (to the update window).
inline constexpr WORD kCheckSucceededCommand = 1056;
inline constexpr WORD kCheckEndedCommand = 3246;

// Image of a due file in the update window's file list.
inline constexpr int kDueFileImage = 4;

// The part of the tray mode's update window that the check fills.
class CheckFileListView {
 public:
  virtual ~CheckFileListView() = default;
  virtual HWND Window() const = 0;
  virtual void ClearFiles() = 0;
  virtual void AddFile(const std::wstring& path, int image_index) = 0;
  // Lets the window bring its buttons and texts up to date with the list.
  virtual void RefreshState() = 0;
  virtual void HideFiles() = 0;
};

// The window that gets the status texts: `window` when it exists, else the
// update window's own window when that exists, else none.
HWND ReportWindowOf(HWND window, const CheckFileListView* update_window);

// The entry every caller uses. Without [APPLICATION] CheckVerNumber it runs
// the full check; with it only the version probe, whose answer decides the
// status (3 when it names a version, 2 otherwise).
void CheckEntry(HWND window, CheckFileListView* update_window = nullptr);

// The full check on the calling thread; always 0. A process checks once:
// later calls keep a successful result and turn any other into an error,
// unless a probe has supplied mirrors.
DWORD CheckThreadProc(HWND window, CheckFileListView* update_window = nullptr);

// ListURL must be configured. When it is not and `interactive`, the user may
// have a sample configuration written (in memory) first; the check still
// fails this time.
bool CheckConfig(HWND report_window, bool interactive);

// Retrieval (or quick-check reuse), parsing and comparison. False when the
// list address is unusable or the list could not be downloaded.
bool RunCheck(HWND report_window);

}  // namespace tarvolin
