#include "ui/push_popup.h"

#include <shellapi.h>

#include "common/strings.h"
#include "common/window_texts.h"
#include "config/log.h"
#include "resource_ids.h"

namespace tarvolin {
namespace {

constexpr const wchar_t* kExternalNames[] = {L"HideMsgDialog", L"ResizeDlg", L"OpenUrl"};

bool VisibleAndRestored(HWND window) { return ::IsWindowVisible(window) && !::IsIconic(window); }

// Where centring the window on its owner (or on the screen without one) puts it.
POINT CentredPosition(HWND owner, int width, int height) {
  RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &area);
  return POINT{area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2};
}

}  // namespace

void OpenWithShell(const std::wstring& url) {
  ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOW);
}

CMsgDlg::CMsgDlg(HWND owner, PushSources sources, UrlOpener opener)
    : CBaseHtmlDlg(IDD_PUSH_POPUP, IDR_PUSH_PAGE, owner),
      owner_(owner),
      sources_(std::move(sources)),
      opener_(std::move(opener)),
      watch_({[this] { return ::IsWindowVisible(hwnd()) != FALSE; },
              [this](const std::wstring& msg_id) {
                {
                  std::lock_guard<std::mutex> hold(owned_guard_);
                  owned_id_ = msg_id;
                }
                ::PostMessageW(hwnd(), kPackageOwnedMessage, 0, 0);
              }}) {}

CMsgDlg::~CMsgDlg() { watch_.Stop(); }

BOOL CMsgDlg::OnInitDialog() {
  CBaseHtmlDlg::OnInitDialog();
  ::SetWindowTextW(hwnd(), kPushPopupTitle);
  return TRUE;
}

std::span<const wchar_t* const> CMsgDlg::ExternalNames() const { return kExternalNames; }

void CMsgDlg::InvokeExternal(DISPID id, const std::vector<std::wstring>& arguments) {
  const std::wstring first = arguments.empty() ? std::wstring() : arguments.front();
  switch (id) {
    case kHideMsgDialogId:
      HideMsgDialog();
      break;
    case kResizeDlgId:
      ResizeDlg(first);
      break;
    case kOpenUrlId:
      OpenUrl(first);
      break;
    default:
      break;
  }
}

void CMsgDlg::OnDocumentComplete(const std::wstring&) { page_ready_ = true; }

void CMsgDlg::ShowPushMessage(const std::wstring& text) {
  const PushShowing showing = ParseShowing(text);
  placement_ = {showing.position, showing.x_offset, showing.y_offset};
  switch (KindOfShowing(showing)) {
    case PopupKind::kPackage:
      PackagePopup(showing);
      break;
    case PopupKind::kPicture:
      PicturePopup(PictureArgument(showing));
      break;
    case PopupKind::kIgnored:
      break;
  }
}

void CMsgDlg::PicturePopup(const std::wstring& argument) {
  if (!VisibleAndRestored(owner_)) return;
  // The page sizes itself to the picture and calls ResizeDlg once it has arrived.
  CallScript(L"addImg", {argument});
  ::ShowWindow(hwnd(), SW_SHOW);
  ::SetForegroundWindow(hwnd());
  ::UpdateWindow(hwnd());
}

void CMsgDlg::PackagePopup(const PushShowing& showing) {
  const PackageIdentity identity =
      PackageIdentityFrom(sources_.launcher, sources_.configured_xa, sources_.configured_ebook_id);
  if (identity.product_id.empty()) return;
  const std::wstring check_url = PackageCheckUrl(sources_.server, sources_.machine_id, identity);
  if (PackageWatch::AlreadyOwned(check_url)) {
    PackageDone(showing.msg_id);
    return;
  }
  watch_.Watch(showing.msg_id, check_url);
  CallScript(L"setUrl", {SetUrlArgument(showing, identity, sources_.machine_id)});
  Place(static_cast<int>(ParseDecimal(showing.page_width)), static_cast<int>(ParseDecimal(showing.page_height)));
  ShowInFront();
}

void CMsgDlg::Place(int width, int height) {
  const POINT centred = CentredPosition(owner_, width, height);
  const auto at = PlacePopup(placement_, width, height, ::GetSystemMetrics(SM_CXSCREEN),
                             ::GetSystemMetrics(SM_CYSCREEN), centred.x, centred.y);
  if (!at) return;  // an unknown anchor leaves the window as it is
  ::SetWindowPos(hwnd(), HWND_TOPMOST, at->x, at->y, width, height, SWP_HIDEWINDOW | SWP_NOACTIVATE);
}

void CMsgDlg::ShowInFront() {
  ::ShowWindow(hwnd(), SW_SHOW);
  ::SetForegroundWindow(hwnd());
  ::UpdateWindow(hwnd());
  ::EnableWindow(hwnd(), TRUE);
}

void CMsgDlg::HideMsgDialog() { ::ShowWindow(hwnd(), SW_HIDE); }

void CMsgDlg::ResizeDlg(const std::wstring& size) {
  const auto [width, height] = ParseDialogSize(size);
  Place(width, height);
  ShowInFront();
}

void CMsgDlg::OpenUrl(const std::wstring& url) {
  if (!IsWebAddress(url)) {
    WriteLog(L"The pop-up's page asked to open \"" + url + L"\", which is not a web address; ignored.");
    return;
  }
  opener_(url);
}

void CMsgDlg::PackageDone(const std::wstring& msg_id) {
  HideMsgDialog();
  watch_.Clear();
  if (!retired_.insert(msg_id).second) return;
  ParkedWindowText parked(kRetirePushMessage, msg_id);
  ::SendMessageW(owner_, kRetirePushMessage, 0, static_cast<LPARAM>(parked.key()));
}

bool CMsgDlg::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  switch (message) {
    case kPackageOwnedMessage: {
      std::wstring msg_id;
      {
        std::lock_guard<std::mutex> hold(owned_guard_);
        msg_id.swap(owned_id_);
      }
      if (!msg_id.empty()) PackageDone(msg_id);
      return true;
    }
    case WM_DESTROY:
      // The polling thread ends before the window it posts to.
      watch_.Stop();
      return CBaseHtmlDlg::OnMessage(message, wparam, lparam, result);
    default:
      return CBaseHtmlDlg::OnMessage(message, wparam, lparam, result);
  }
}

}  // namespace tarvolin
