// The notification-area icon of a window: added once, its tip changed while
// it is there, and removed when the window goes or its owner ends.
// Thread affinity: the thread of the window it belongs to.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace tarvolin {

class TrayIcon {
 public:
  TrayIcon() = default;
  ~TrayIcon() { Remove(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon; mouse events come to `window` as `callback_message` with
  // `id` in wParam. False when the shell refused it (no tray).
  bool Add(HWND window, UINT id, UINT callback_message, HICON icon, const std::wstring& tip);
  // The tip as the shell keeps it (cut to its length); shown at once while
  // the icon is there.
  void SetTip(const std::wstring& tip);
  void Remove();

  bool added() const noexcept { return added_; }
  std::wstring tip() const { return data_.szTip; }

 private:
  NOTIFYICONDATAW data_{};
  bool added_ = false;
};

}  // namespace tarvolin
