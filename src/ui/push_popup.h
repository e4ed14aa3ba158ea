// The push messages' pop-up: the resource page in a small borderless dialog
// that shows either a picture linking to a web page or the publisher's
// package page, placed at one of nine screen anchors.
//
// Thread affinity: the host window's thread. The package polling thread only
// posts to the pop-up.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "host/push_popup_rules.h"
#include "host/push_service.h"
#include "ui/html_dialog.h"

namespace tarvolin {

// Host window messages of the push messages.
// Their texts are parked (common/window_texts.h); lParam is the key.
inline constexpr UINT kShowPushMessage = WM_USER + 5;    // wParam 1, lParam: the showing text
inline constexpr UINT kRetirePushMessage = WM_USER + 6;  // lParam: the MsgId
// From the polling thread to the pop-up: the watched package is the user's now.
inline constexpr UINT kPackageOwnedMessage = WM_APP + 0x51;

inline constexpr wchar_t kPushPopupTitle[] = L"brennoakmsgdlg";

// Opens a web address in the user's browser.
using UrlOpener = std::function<void(const std::wstring& url)>;
void OpenWithShell(const std::wstring& url);

class CMsgDlg : public CBaseHtmlDlg {
 public:
  // window.external's methods, ids 1, 2, 3.
  static constexpr DISPID kHideMsgDialogId = 1;
  static constexpr DISPID kResizeDlgId = 2;
  static constexpr DISPID kOpenUrlId = 3;

  CMsgDlg(HWND owner, PushSources sources, UrlOpener opener = OpenWithShell);
  ~CMsgDlg() override;

  void ShowPushMessage(const std::wstring& text);
  void HideMsgDialog();
  void ResizeDlg(const std::wstring& size);
  // Only http and https addresses: the pop-up's frames show remote pages.
  void OpenUrl(const std::wstring& url);
  void PackageDone(const std::wstring& msg_id);

  bool page_ready() const noexcept { return page_ready_.load(); }
  void OnDocumentComplete(const std::wstring& url) override;

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  std::span<const wchar_t* const> ExternalNames() const override;
  void InvokeExternal(DISPID id, const std::vector<std::wstring>& arguments) override;

 private:
  void PicturePopup(const std::wstring& argument);
  void PackagePopup(const PushShowing& showing);
  // Sizes and places the pop-up for the message being shown, topmost, while hidden.
  void Place(int width, int height);
  void ShowInFront();

  HWND owner_;
  PushSources sources_;
  UrlOpener opener_;
  PopupPlacement placement_{8, 0, 0};
  std::atomic<bool> page_ready_{false};
  std::mutex owned_guard_;
  std::wstring owned_id_;  // set by the polling thread, taken on this thread
  // Messages already retired: the watch's answer and a later showing's first
  // question can both find one package owned, and it is retired once.
  std::set<std::wstring> retired_;
  PackageWatch watch_;
};

}  // namespace tarvolin
