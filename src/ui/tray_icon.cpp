#include "ui/tray_icon.h"

namespace tarvolin {

bool TrayIcon::Add(HWND window, UINT id, UINT callback_message, HICON icon, const std::wstring& tip) {
  Remove();
  data_ = {};
  data_.cbSize = NOTIFYICONDATAW_V2_SIZE;
  data_.hWnd = window;
  data_.uID = id;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = callback_message;
  data_.hIcon = icon;
  ::lstrcpynW(data_.szTip, tip.c_str(), ARRAYSIZE(data_.szTip));
  added_ = ::Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
  return added_;
}

void TrayIcon::SetTip(const std::wstring& tip) {
  ::lstrcpynW(data_.szTip, tip.c_str(), ARRAYSIZE(data_.szTip));
  if (added_) ::Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void TrayIcon::Remove() {
  if (added_) ::Shell_NotifyIconW(NIM_DELETE, &data_);
  added_ = false;
}

}  // namespace tarvolin
