// The window of the minimal run modes: the e-book's reading page in an
// embedded browser, a tray icon whose tip tells how far the background update
// has come, and that update itself on a worker thread, queued so that one
// window on the machine updates at a time.
//
// Thread affinity: the object and its window belong to the thread that runs
// DoModal. The worker holds only the window handle and a shared state; it
// talks to the window by SendMessage (status messages, 4380 at its end).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "config/worker_thread.h"
#include "host/host_command_rules.h"
#include "ui/dialog.h"
#include "ui/push_messages.h"
#include "ui/tray_icon.h"
#include "ui/web_browser.h"

namespace tarvolin {

// The class of the host window; every instance on the machine shares it, and
// the update queue finds the others through it.
inline constexpr wchar_t kHostWindowClass[] = L"brennoak_Install_MainClass";
// A copy of the system's dialog class under the host window's name.
void RegisterHostWindowClass();

// What the window asks of the application when an update ends, so that it
// need not know the run modes.
struct HostWindowActions {
  // Relaunches the program elevated to finish the copy; false when no one carries it on.
  std::function<bool()> relaunch_elevated;
  // Window mode 2: the start-up question after the check, with the window hidden.
  std::function<void()> prompt_and_update;
};

// How long the window waits for things; tests shorten them.
struct HostWindowTimings {
  UINT queue_ms = 5000;                          // between two looks at the update queue
  UINT watchdog_first_ms = kWatchdogFirstWaitMs;  // until the load watchdog first asks
  UINT watchdog_next_ms = kWatchdogNextWaitMs;    // until it asks again after "wait"
  UINT retry_ms = 60000;                         // after a failed update, until the queue tries again
};

class CDlgMostSimple : public Dialog, public BrowserEvents {
 public:
  // Window modes.
  static constexpr int kModeUpdate = 0;    // full update while the reading page is open
  static constexpr int kModeCheck = 1;     // check only, then close
  static constexpr int kModeAppEnter = 2;  // check only, then hide and ask

  // Show modes (SetShowMode's kinds).
  static constexpr int kShowHidden = -1;
  static constexpr int kShowMinimized = 0;
  static constexpr int kShowRestored = 1;
  static constexpr int kShowMaximized = 2;

  // Window messages and properties that other programs and instances rely on.
  static constexpr UINT kTrayCallbackMessage = 0x2341;
  static constexpr WORD kWorkerEndedCommand = 4380;
  static constexpr WORD kCopyFinishedCommand = 4323;
  static constexpr UINT_PTR kWatchdogTimer = 1;
  static constexpr UINT_PTR kQueueTimer = 2;

  CDlgMostSimple(int window_mode, HWND parent, HostWindowActions actions, HostWindowTimings timings = {});
  ~CDlgMostSimple() override;

  // Runs the window until it ends; a quit message that ended it is taken
  // off the queue, so it cannot end a later window of this thread.
  INT_PTR Run();

  void SetShowMode(int kind);
  // Begins this window's update; nothing while its worker still runs.
  void StartUpdate();

  int load_phase() const noexcept { return load_phase_; }
  bool page_loaded() const noexcept { return page_loaded_; }
  bool caching_finished() const noexcept { return caching_finished_; }
  int show_mode() const noexcept { return show_mode_; }
  const std::wstring& page_url() const noexcept { return page_url_; }
  const std::wstring& host_title() const noexcept { return host_title_; }
  const std::wstring& tip() const noexcept { return tip_; }
  const std::wstring& status_text() const noexcept { return status_text_; }
  WebBrowserHost& browser() noexcept { return browser_; }

  // The reading page's command navigations; true when the navigation was a
  // command and must not happen.
  virtual bool HandleHostCommand(const std::wstring& url);

  // Events of the browser control.
  bool OnBeforeNavigate(const std::wstring& url) override { return HandleHostCommand(url); }
  void OnDocumentComplete(const std::wstring& url) override;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}  // Enter never closes the window
  void OnCancel() override {}  // nor does Escape
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  // The reading page and the pop-up's page get their keys first.
  bool PreTranslateMessage(MSG& message) override;

 private:
  struct WorkerState;

  // The worker's whole run: the check only, or the full update.
  static void WorkerBody(HWND window, WorkerState& state, bool full);

  void OnWatchdog();
  void OnQueueTick();
  void OnStatusText(const wchar_t* text);
  void OnBytes(long long total, long long done);
  void OnWorkerEnded();
  void OnTray(UINT mouse_message);
  void OnClose();
  void OnSize(int width, int height);
  bool AskQuit();
  void Quit();
  void Layout(int inset);
  void SetSizingFrame(bool on);
  void RefreshTip();
  void SetTip(const std::wstring& text);
  void AddTrayIcon();
  void DismissBox(const wchar_t* suffix, INT_PTR result);

  int window_mode_;
  HWND parent_;
  HostWindowActions actions_;
  HostWindowTimings timings_;
  WebBrowserHost browser_;
  PushMessages push_;
  std::shared_ptr<WorkerState> worker_;
  // Let run when the window goes: it holds only the handle and the shared state.
  WorkerThread update_thread_{WorkerThread::AtOwnerEnd::kLetRun, L"The update worker"};
  TrayIcon tray_;
  std::wstring host_title_;
  std::wstring page_url_;
  std::wstring status_text_;
  std::wstring tip_;
  int show_mode_ = kShowMaximized;
  bool first_show_ = true;
  bool page_loaded_ = false;
  bool caching_finished_ = false;
  int load_phase_ = 0;
  int current_status_ = 0;
  int file_index_ = 0;
  int file_count_ = 0;
  double percent_ = 0;
  int last_shown_percent_ = 0;
};

// Properties of the host window.
inline constexpr wchar_t kDownloadStatusProperty[] = L"downloadStatus";
inline constexpr int kDownloadIdle = 0;
inline constexpr int kDownloadRunning = 1;
inline constexpr int kDownloadFinished = 2;

// True when a window of the host class, in any process, is updating now.
bool AnyWindowIsUpdating();

}  // namespace tarvolin
