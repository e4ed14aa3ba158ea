// The window of the tray mode: a tray icon and a small pop-up drawn from
// bitmaps. It checks for updates at start and then every few minutes, pops up
// near the tray when files are due, counts down and then updates by itself
// unless the reader cancels; the reader may also check again or update at once.
//
// Thread affinity: the object and its window belong to the thread that runs
// DoModal. Checks and updates run on worker threads that hold only the window
// handle: they learn nothing from the window, and tell it their progress by
// the status message and their end by a posted message. When the window's
// object goes, a check still running is let run (it changes no file of the
// book, and the process ends it); an update is asked to stop after its
// current stage and waited for, so no file is left half replaced.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/unique_handle.h"
#include "config/worker_thread.h"
#include "ui/dialog.h"
#include "ui/tray_icon.h"
#include "ui/tray_rules.h"

namespace tarvolin {

class CDlgUpdaterIcon : public Dialog {
 public:
  // What the window runs and the clocks it reads; tests bring their own clocks.
  struct Procedures {
    // The update check, on a worker thread, reporting to the window.
    std::function<void(HWND)> check;
    // The whole update, on a worker thread, reporting to the window; it ends
    // at its next stage once the signal asks it to stop.
    std::function<void(HWND, const StopSignal&)> update;
    std::function<std::int64_t()> steady_ms;
    std::function<std::int64_t()> unix_seconds;
  };
  static Procedures RealProcedures();

  static constexpr UINT kTrayCallback = WM_USER + 100;
  static constexpr UINT kTrayIconId = 1026;
  static constexpr UINT kTimerId = 0;
  static constexpr UINT kTimerMs = 500;
  static constexpr WORD kMenuShow = 40096;
  static constexpr WORD kMenuExit = 40097;
  // Posted by the workers when they end.
  static constexpr UINT kCheckEnded = WM_APP + 61;
  static constexpr UINT kUpdateEnded = WM_APP + 62;

  explicit CDlgUpdaterIcon(Procedures procedures = RealProcedures());

  // What tests read.
  int countdown() const { return countdown_; }
  bool updating() const { return updating_; }
  int check_state() const { return check_state_; }
  const std::wstring& status_text() const { return status_text_; }
  const std::wstring& hover() const { return hover_; }
  const HotAreas& hot_areas() const { return hot_areas_; }
  std::wstring TrayTipText() const { return tray_.tip(); }
  bool checking() const { return check_running_; }
  // The window has ended itself (its modal loop ends when it next runs).
  bool ended() const { return ended_; }

  // The actions the links and the tray menu lead to. No check starts while
  // an update runs; an update asked for while a check runs starts after it.
  void StartCheck(bool hide_first);
  void Update();
  void ShowNearTray();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override {}
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

 private:
  void OnStatus(int state, int files);
  void OnTimer();
  void OnCheckEnded();
  void OnUpdateEnded();
  void LaunchUpdate();
  void OnMouseMove(int x, int y);
  void OnLeftButtonDown(int x, int y);
  void OnTrayCallback(UINT mouse_message);
  void ShowTrayMenu();
  void RebuildStatusText();
  // Places the links (hot areas) for the current state; painting draws them
  // where they are placed, and a click finds them before any painting.
  void Layout();
  std::wstring CountdownLine() const;
  void Paint(HDC dc);
  void DrawLink(HDC dc, const wchar_t* area, const wchar_t* text);
  void InvalidateArea(const std::wstring& name, int widen_by);
  void StartCountdown();
  void SetCountdown(int seconds);
  void End();

  Procedures procedures_;
  HICON icon_ = nullptr;  // shared resource icon
  unique_hgdiobj background_, close_bitmap_;
  unique_hgdiobj normal_font_, bold_font_, link_font_;
  TrayIcon tray_;
  int countdown_ = -1;
  std::int64_t countdown_started_ms_ = 0;
  int files_found_ = 0;
  int check_state_ = 0;
  bool updating_ = false;
  bool check_running_ = false;
  bool ended_ = false;
  std::wstring status_text_;
  std::wstring hover_;
  std::int64_t last_check_s_ = 0;
  HotAreas hot_areas_;
  std::wstring previous_skin_;
  WorkerThread check_worker_{WorkerThread::AtOwnerEnd::kLetRun, L"The tray window's check"};
  WorkerThread update_worker_{WorkerThread::AtOwnerEnd::kStopAndWait, L"The tray window's update"};
};

}  // namespace tarvolin
