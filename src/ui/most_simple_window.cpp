#include "ui/most_simple_window.h"

#include <atomic>

#include <windowsx.h>

#include "common/process_state.h"
#include "common/window_texts.h"
#include "config/log.h"
#include "config/settings.h"
#include "host/host_command_rules.h"
#include "host/launcher_files.h"
#include "host/push_service.h"
#include "host/reading_page.h"
#include "pipeline/check_procedure.h"
#include "pipeline/update_sequence.h"
#include "resource_ids.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "ui/host_window_rules.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {

namespace rules = host_window_rules;
namespace sp = status_protocol;

namespace {

// The status messages this window asks for, from the first number on.
constexpr UINT kStatusMessage = sp::kStatusChangedMessage;            // 0x7B6
constexpr UINT kLogLineMessage = sp::kStatusLogMessage;               // 0x7B7
constexpr UINT kFilePositionMessage = sp::kStatusFileProgressMessage;  // 0x7B8
constexpr UINT kBytesMessage = sp::kStatusProgressMessage;            // 0x7BA
constexpr UINT kStatusTextMessage = sp::kStatusTextMessage;           // WM_USER + 10

constexpr UINT kTrayIconId = 0;

int DownloadStatusOf(HWND window) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(window, kDownloadStatusProperty)));
}

void SetDownloadStatus(HWND window, int value) {
  ::SetPropW(window, kDownloadStatusProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)));
}

BOOL CALLBACK FindUpdatingWindow(HWND window, LPARAM context) {
  wchar_t name[64];
  if (!::GetClassNameW(window, name, 64) || ::lstrcmpW(name, kHostWindowClass) != 0) return TRUE;
  if (DownloadStatusOf(window) == kDownloadRunning) {
    *reinterpret_cast<bool*>(context) = true;
    return FALSE;
  }
  return TRUE;
}

// A worker thread that must end with a message to its window, whatever happens.
void SendWorkerEnded(HWND window) {
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(CDlgMostSimple::kWorkerEndedCommand, 0), 0);
}

}  // namespace

// What the worker leaves for the end handler. Shared, because the worker may
// outlive the window when the reader quits in the middle of a download.
struct CDlgMostSimple::WorkerState {
  std::atomic<bool> running{false};
  std::atomic<bool> ran{false};
  std::atomic<bool> elevation_pending{false};
  std::atomic<bool> succeeded{false};
};

void RegisterHostWindowClass() {
  WNDCLASSEXW dialog_class{};
  dialog_class.cbSize = sizeof dialog_class;
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExW(module, kHostWindowClass, &existing)) return;
  if (!::GetClassInfoExW(nullptr, L"#32770", &dialog_class)) return;
  dialog_class.lpszClassName = kHostWindowClass;
  dialog_class.hInstance = module;
  dialog_class.hIcon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 32, 32, 0));
  dialog_class.hIconSm =
      static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 16, 16, 0));
  ::RegisterClassExW(&dialog_class);
}

bool AnyWindowIsUpdating() {
  bool found = false;
  ::EnumWindows(&FindUpdatingWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

CDlgMostSimple::CDlgMostSimple(int window_mode, HWND parent, HostWindowActions actions, HostWindowTimings timings)
    : Dialog(IDD_HOST_WINDOW),
      window_mode_(window_mode),
      parent_(parent),
      actions_(std::move(actions)),
      timings_(timings),
      worker_(std::make_shared<WorkerState>()) {}

CDlgMostSimple::~CDlgMostSimple() = default;

INT_PTR CDlgMostSimple::Run() {
  RegisterHostWindowClass();
  INT_PTR result = DoModal(parent_);
  MSG left;
  ::PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  return result;
}

BOOL CDlgMostSimple::OnInitDialog() {
  SetDownloadStatus(hwnd(), kDownloadIdle);
  // The background loses its border; the status text stays hidden.
  HWND background = ::GetDlgItem(hwnd(), IDC_HOST_BACKGROUND);
  ::SetWindowLongPtrW(background, GWL_STYLE, ::GetWindowLongPtrW(background, GWL_STYLE) & ~WS_BORDER);
  ::SetTimer(hwnd(), kWatchdogTimer, timings_.watchdog_first_ms, nullptr);

  host_title_ = HostTitle();
  ::SetWindowTextW(hwnd(), host_title_.c_str());
  page_url_ = ReadingPageAddressForThisRun();

  if (!browser_.CreateInPlaceOf(hwnd(), IDC_HOST_BROWSER, this))
    WriteLog(L"The reading page cannot be shown: the browser control could not be created.");
  browser_.Navigate(page_url_);
  push_.Start(hwnd(), ReadPushSources(LauncherFiles::OfThisProgram(), MachineID()));
  SetShowMode(show_mode_);
  AddTrayIcon();
  return TRUE;
}

void CDlgMostSimple::AddTrayIcon() {
  tip_ = rules::kTipQueued;
  tray_.Add(hwnd(), kTrayIconId, kTrayCallbackMessage,
            static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 16,
                                            16, LR_SHARED)),
            tip_);
}

void CDlgMostSimple::SetTip(const std::wstring& text) {
  tip_ = text;
  tray_.SetTip(tip_);
}

void CDlgMostSimple::RefreshTip() {
  if (auto change = rules::TipFor(percent_, last_shown_percent_)) {
    last_shown_percent_ = change->shown;
    SetTip(change->text);
  }
}

void CDlgMostSimple::Layout(int inset) {
  RECT client;
  ::GetClientRect(hwnd(), &client);
  const int width = client.right, height = client.bottom;
  if (HWND background = ::GetDlgItem(hwnd(), IDC_HOST_BACKGROUND)) ::MoveWindow(background, 0, 0, width, height, TRUE);
  browser_.MoveTo(RECT{inset, inset, width - inset, height - inset});
}

void CDlgMostSimple::SetSizingFrame(bool on) {
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd(), GWL_STYLE);
  const LONG_PTR wanted = on ? (style | WS_THICKFRAME) : (style & ~static_cast<LONG_PTR>(WS_THICKFRAME));
  if (wanted == style) return;
  ::SetWindowLongPtrW(hwnd(), GWL_STYLE, wanted);
  ::SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CDlgMostSimple::SetShowMode(int kind) {
  if (HWND frame = browser_.frame())
    ::SetWindowLongPtrW(frame, GWL_STYLE, ::GetWindowLongPtrW(frame, GWL_STYLE) & ~WS_BORDER);
  // The restored window is sized by the system's own loop, which needs a
  // sizing frame; the frame takes no room (WM_NCCALCSIZE), so the window
  // keeps its caption-less look. Maximised, it has none.
  if (kind == kShowRestored || kind == kShowMaximized) SetSizingFrame(kind == kShowRestored);
  switch (kind) {
    case kShowMaximized: {
      ::ShowWindow(hwnd(), SW_SHOW);
      ::ShowWindow(hwnd(), SW_MAXIMIZE);
      RECT own;
      ::GetWindowRect(hwnd(), &own);
      ::SetWindowPos(hwnd(), HWND_NOTOPMOST, own.left, own.top, own.right - own.left, own.bottom - own.top,
                     SWP_FRAMECHANGED);
      Layout(0);
      break;
    }
    case kShowRestored:
      ::ShowWindow(hwnd(), SW_SHOWNORMAL);
      if (first_show_) {
        auto origin = rules::FirstRestoreOrigin(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        ::SetWindowPos(hwnd(), HWND_NOTOPMOST, origin.x, origin.y, rules::kRestoredWidth, rules::kRestoredHeight,
                       SWP_FRAMECHANGED);
        first_show_ = false;
      }
      Layout(1);
      break;
    case kShowMinimized:
      ::ShowWindow(hwnd(), SW_MINIMIZE);
      break;
    case kShowHidden:
      ::ShowWindow(hwnd(), SW_HIDE);
      push_.OnOwnerHidden();
      break;
    default:
      break;
  }
}

bool CDlgMostSimple::HandleHostCommand(const std::wstring& url) {
  ::OutputDebugStringW((url + L"\n").c_str());
  try {
    const HostCommand command = ClassifyHostCommand(url);
    switch (command) {
      case HostCommand::None:
        return false;
      case HostCommand::HeartbeatPreinitialize:
      case HostCommand::HeartbeatApplicationComplete:
      case HostCommand::HeartbeatFirstPageLoaded:
        if (auto progress = ProgressOf(command)) {
          load_phase_ = progress->load_phase;
          DismissBox(progress->caption_suffix, progress->dismiss_result);
        }
        return true;
      case HostCommand::HeartbeatOther:
        return true;
      case HostCommand::LoadComplete:
        page_loaded_ = true;
        // A page loaded again while the update runs, or after it is done, queues nothing.
        if (!worker_->running && DownloadStatusOf(hwnd()) == kDownloadIdle)
          ::SetTimer(hwnd(), kQueueTimer, timings_.queue_ms, nullptr);
        return true;
      case HostCommand::PopShowEBookSetActive:
        LauncherFiles::OfThisProgram().LaunchEbookLauncher();
        return true;
      case HostCommand::Minimize:
        SetShowMode(kShowMinimized);
        return true;
      case HostCommand::Maximize:
        show_mode_ = kShowMaximized;
        SetShowMode(kShowMaximized);
        return true;
      case HostCommand::Restore:
        show_mode_ = kShowRestored;
        SetShowMode(kShowRestored);
        return true;
      case HostCommand::CloseApp:
        if (!caching_finished_ && page_loaded_) {
          SetShowMode(kShowHidden);
        } else if (AskQuit()) {
          SetShowMode(kShowMinimized);
          Quit();
        }
        return true;
      case HostCommand::MoveWindows:
        if (show_mode_ == kShowRestored) {
          // The button is down in the page: hand the drag to the system's caption logic.
          ::ReleaseCapture();
          ::SendMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
          ::SendMessageW(hwnd(), WM_LBUTTONUP, 0, 0);
        }
        return true;
      case HostCommand::ExternalCmd:
        return true;
    }
    return false;
  } catch (...) {
    return true;
  }
}

void CDlgMostSimple::OnDocumentComplete(const std::wstring& url) {
  ::OutputDebugStringW((url + L" >>>>>> OK\n").c_str());
  if (url != page_url_) return;  // a frame or another document
  load_phase_ = kDocumentCompleted.load_phase;
  DismissBox(kDocumentCompleted.caption_suffix, kDocumentCompleted.dismiss_result);
}

void CDlgMostSimple::DismissBox(const wchar_t* suffix, INT_PTR result) {
  std::wstring caption = host_title_ + suffix;
  if (HWND box = ::FindWindowW(nullptr, caption.c_str())) ::EndDialog(box, result);
}

void CDlgMostSimple::OnWatchdog() {
  ::KillTimer(hwnd(), kWatchdogTimer);
  auto message = WatchdogMessageFor(WatchdogBoxFor(load_phase_), ReadSetting(sections::kApplication, L"EBookID"));
  if (!message) return;
  std::wstring caption = host_title_ + message->caption_suffix;
  if (message->question) {
    int answer = ::MessageBoxW(hwnd(), message->text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) {
      ::SetTimer(hwnd(), kWatchdogTimer, timings_.watchdog_next_ms, nullptr);
    } else {
      SetShowMode(kShowMinimized);
      Quit();
    }
    return;
  }
  ::MessageBoxW(hwnd(), message->text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  if (DamagedContentEndsRun(load_phase_)) {
    SetShowMode(kShowMinimized);
    Quit();
  }
}

void CDlgMostSimple::OnQueueTick() {
  // This window counts too: its own update may still run.
  if (worker_->running || AnyWindowIsUpdating()) {
    ::SetTimer(hwnd(), kQueueTimer, timings_.queue_ms, nullptr);  // after a retry's longer wait
    return;
  }
  ::KillTimer(hwnd(), kQueueTimer);
  SetDownloadStatus(hwnd(), kDownloadRunning);
  StartUpdate();
}

void CDlgMostSimple::StartUpdate() {
  // One worker per window: a second would share the first one's state, and
  // its end would report the first update as over.
  if (worker_->running) return;
  RegisterStatusWindow(hwnd());  // sets "tarvolin.needmsg" to the first status message
  HWND window = hwnd();
  std::shared_ptr<WorkerState> state = worker_;
  state->running = true;
  state->ran = false;
  state->elevation_pending = false;
  state->succeeded = false;
  const bool full = window_mode_ == kModeUpdate;
  // The worker reports only through messages and the shared state; a reader
  // who quits mid-download must not wait for it, and the process ends it.
  const bool started = update_thread_.Start([window, state, full](const StopSignal&) { WorkerBody(window, *state, full); },
                                            [window, state] {
                                              state->running = false;
                                              SendWorkerEnded(window);
                                            });
  if (!started) state->running = false;
}

void CDlgMostSimple::WorkerBody(HWND window, WorkerState& state, bool full) {
  ComThreadScope com;
  if (!full) {
    if (CurrentStatus() < UpdateCheckRemoteOk) CheckEntry(window);
    state.ran = true;
    return;
  }
  if (!TryBeginFullUpdate()) return;
  state.ran = true;
  // A pass that failed before left its error; this one starts over.
  if (rules::MustStartOver(CurrentStatus())) SetStatus(UpdateNone, window);
  UpdateSequenceOptions options;
  options.recheck_with_mirrors = true;
  SequenceEnd end = RunUpdateSequence(window, [] { return QuitRequested(); }, options);
  EndFullUpdate();
  if (end == SequenceEnd::kNeedsAdministrator) state.elevation_pending = true;
  const int status = CurrentStatus();
  if (end == SequenceEnd::kEnded && (status == UpdateCopyOk || status == UpdateEnd))
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kCopyFinishedCommand, 0), 0);
  state.succeeded = end == SequenceEnd::kEnded && rules::UpdateSucceeded(status, RecordsToUpdate());
}

void CDlgMostSimple::OnWorkerEnded() {
  ::RemovePropW(hwnd(), sp::kNeedMessagesProperty);
  if (!worker_->ran) {
    // Another window of this process is updating; this one did nothing and
    // must not hold the machine's queue.
    SetDownloadStatus(hwnd(), kDownloadIdle);
    return;
  }
  if (worker_->elevation_pending) {
    SetDownloadStatus(hwnd(), kDownloadIdle);
    if (actions_.relaunch_elevated) actions_.relaunch_elevated();
    Quit();
    return;
  }
  switch (window_mode_) {
    case kModeUpdate:
      if (!worker_->succeeded) {
        // The tip keeps the last percent it showed; the queue tries again later.
        WriteLog(L"The update did not complete; it is tried again later.");
        SetDownloadStatus(hwnd(), kDownloadIdle);
        ::SetTimer(hwnd(), kQueueTimer, timings_.retry_ms, nullptr);
        break;
      }
      caching_finished_ = true;
      SetDownloadStatus(hwnd(), kDownloadFinished);
      SetTip(rules::kTipCached);
      break;
    case kModeCheck:
      SetDownloadStatus(hwnd(), kDownloadIdle);
      Quit();
      break;
    case kModeAppEnter:
      // The question may open an update window of its own, which must not
      // wait for this hidden one.
      SetDownloadStatus(hwnd(), kDownloadIdle);
      ::ShowWindow(hwnd(), SW_HIDE);
      if (actions_.prompt_and_update) actions_.prompt_and_update();
      Quit();
      break;
    default:
      break;
  }
}

void CDlgMostSimple::OnStatusText(const wchar_t* text) {
  status_text_ = text ? text : L"";
  if (auto percent = rules::PercentAfterStatusText(percent_, current_status_)) {
    percent_ = *percent;
    RefreshTip();
  }
}

void CDlgMostSimple::OnBytes(long long total, long long done) {
  if (total == 0) return;
  percent_ = rules::PercentAfterBytes(percent_, total, done, file_index_, file_count_);
  RefreshTip();
}

bool CDlgMostSimple::AskQuit() {
  return ::MessageBoxW(hwnd(), kCloseQuestionText, kCloseQuestionCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CDlgMostSimple::Quit() {
  SetQuitRequested(true);
  ::PostQuitMessage(0);
}

void CDlgMostSimple::OnTray(UINT mouse_message) {
  switch (mouse_message) {
    case WM_LBUTTONDOWN:
      ::SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, ::GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) | WS_EX_TOPMOST);
      SetShowMode(show_mode_);
      break;
    case WM_LBUTTONDBLCLK:
      ::SetForegroundWindow(hwnd());
      ::ShowWindow(hwnd(), SW_SHOWNORMAL);
      break;
    case WM_RBUTTONUP: {
      HMENU menu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_HOST_TRAY));
      if (!menu) break;
      POINT cursor;
      ::GetCursorPos(&cursor);
      // The menu closes when the user clicks elsewhere only if we are in front.
      ::SetForegroundWindow(hwnd());
      UINT command = ::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_RIGHTBUTTON | TPM_RETURNCMD, cursor.x, cursor.y, 0,
                                      hwnd(), nullptr);
      ::DestroyMenu(menu);
      if (command == ID_HOST_TRAY_OPEN) {
        SetShowMode(show_mode_);
      } else if (command == ID_HOST_TRAY_EXIT && AskQuit()) {
        Quit();
      }
      break;
    }
    default:
      break;
  }
}

void CDlgMostSimple::OnClose() {
  if (!caching_finished_ && page_loaded_) {
    SetShowMode(kShowHidden);  // the update goes on from the tray
    return;
  }
  if (!AskQuit()) return;
  SetQuitRequested(true);
  EndDialog(IDCANCEL);
  ::PostQuitMessage(0);
}

void CDlgMostSimple::OnSize(int width, int height) {
  if (show_mode_ == kShowRestored) ::InvalidateRect(hwnd(), nullptr, FALSE);
  if (::GetActiveWindow() != hwnd() || !browser_.frame()) return;
  if (HWND background = ::GetDlgItem(hwnd(), IDC_HOST_BACKGROUND)) ::MoveWindow(background, 0, 0, width, height, TRUE);
  browser_.MoveTo(RECT{1, 1, width - 1, height - 1});
}

bool CDlgMostSimple::PreTranslateMessage(MSG& message) {
  if (browser_.TranslateAccelerator(message)) return true;
  CMsgDlg* popup = push_.popup();
  return popup && popup->browser().TranslateAccelerator(message);
}

bool CDlgMostSimple::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  switch (message) {
    case kStatusMessage:
      current_status_ = static_cast<int>(wparam);
      return true;
    case kLogLineMessage:
      return true;
    case kFilePositionMessage:
      file_index_ = static_cast<int>(wparam);
      file_count_ = static_cast<int>(lparam);
      return true;
    case kBytesMessage:
      OnBytes(static_cast<long long>(wparam), static_cast<long long>(lparam));
      return true;
    case kStatusTextMessage:
      // Only a text parked by this process; a forged key is dropped.
      if (auto text = ParkedText(kStatusTextMessage, static_cast<UINT_PTR>(wparam))) OnStatusText(text->c_str());
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) == kWorkerEndedCommand) {
        OnWorkerEnded();
        return true;
      }
      return LOWORD(wparam) == kCopyFinishedCommand;
    case WM_SIZE:
      if (wparam == SIZE_MINIMIZED) push_.OnOwnerHidden();
      OnSize(LOWORD(lparam), HIWORD(lparam));
      return false;
    case kShowPushMessage:
      push_.OnShowPush(lparam);
      return true;
    case kRetirePushMessage:
      push_.OnRetirePush(lparam);
      return true;
    case WM_NCCALCSIZE:
      // The client area covers the whole window: the sizing frame is not drawn.
      if (!wparam || !(::GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_THICKFRAME)) return false;
      result = 0;
      return true;
    case WM_NCHITTEST: {
      if (show_mode_ != kShowRestored) return false;
      POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      ::ScreenToClient(hwnd(), &point);
      RECT client;
      ::GetClientRect(hwnd(), &client);
      result = rules::FrameHitTest(point.x, point.y, client.right, client.bottom);
      return true;
    }
    case WM_CLOSE:
      OnClose();
      return true;
    case kTrayCallbackMessage:
      OnTray(static_cast<UINT>(lparam));
      return true;
    case WM_ERASEBKGND:
      result = TRUE;
      return true;
    case WM_TIMER:
      if (wparam == kWatchdogTimer) OnWatchdog();
      if (wparam == kQueueTimer) OnQueueTick();
      return true;
    case WM_DESTROY:
      push_.Stop();  // its threads end before the window they send to
      SetQuitRequested(true);
      tray_.Remove();
      browser_.Destroy();
      return false;
    default:
      return false;
  }
}

}  // namespace tarvolin
