// The WebBrowser control hosted in a plain child window. The host is the
// control's client site, in-place site and frame, its UI handler (which hands
// out `window.external` and shows no context menu) and its event sink; the
// owner hears about navigations through BrowserEvents.
// Thread affinity: apartment-threaded; everything runs on the thread that made it.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <oaidl.h>

#include <string>

#include "common/com_ptr.h"

namespace tarvolin {

// Class id of the WebBrowser control.
inline constexpr wchar_t kWebBrowserClassId[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
// Dispatch ids of the control's members and events that the host uses.
inline constexpr DISPID kNavigateDispatchId = 104;
inline constexpr DISPID kBeforeNavigate2DispatchId = 250;
inline constexpr DISPID kDocumentCompleteDispatchId = 259;

class BrowserEvents {
 public:
  virtual ~BrowserEvents() = default;
  // Every navigation the control is about to make; true cancels it.
  virtual bool OnBeforeNavigate(const std::wstring& url) = 0;
  // The same, told whether the navigation replaces the top document (not a
  // frame's); by default it goes to OnBeforeNavigate.
  virtual bool OnBeforeNavigateIn(const std::wstring& url, bool top_level) {
    static_cast<void>(top_level);
    return OnBeforeNavigate(url);
  }
  virtual void OnDocumentComplete(const std::wstring& url) = 0;
  // Whether a document may have window.external while the top document is
  // `top_url` (asked each time a document asks for it). By default, always.
  virtual bool GivesExternalTo(const std::wstring& top_url) {
    static_cast<void>(top_url);
    return true;
  }
};

class BrowserSite;

class WebBrowserHost {
 public:
  WebBrowserHost() = default;
  ~WebBrowserHost();
  WebBrowserHost(const WebBrowserHost&) = delete;
  WebBrowserHost& operator=(const WebBrowserHost&) = delete;

  // Creates the frame window (child `control_id` of `parent`, at `area`) and
  // the control inside it, in-place active and connected to `events` (may be
  // null). `external` (may be null) becomes the page's window.external.
  // False when the control cannot be made; the frame window then stays empty.
  bool Create(HWND parent, const RECT& area, int control_id, BrowserEvents* events, IDispatch* external = nullptr);
  // Replaces the dialog control `control_id` of `dialog` (a placeholder the
  // template carries) with the browser, at the placeholder's rectangle.
  bool CreateInPlaceOf(HWND dialog, int control_id, BrowserEvents* events, IDispatch* external = nullptr);
  void Destroy();

  // Navigate through the control's dispatch (id 104), the URL as a string and
  // the flags, target frame, post data and headers as empty by-reference
  // variants. False when there is no control or it refused.
  bool Navigate(const std::wstring& url);

  HWND frame() const noexcept { return frame_; }
  IWebBrowser2* browser() const noexcept { return browser_.get(); }
  // Offers a key message meant for a window inside the frame to the page
  // first (Tab between its fields, Delete, the clipboard keys), as the
  // message loop must before the dialog's own key handling. True when the
  // page took it: the loop must not handle it further.
  bool TranslateAccelerator(MSG& message);
  // Moves the frame window; the control follows it.
  void MoveTo(const RECT& area);
  // The top document's address, or "" when there is none.
  std::wstring LocationUrl() const;
  // The control's client site as the control sees it (its UI handler hands
  // out window.external), for a caller that must ask what a page would get.
  com_ptr<IDocHostUIHandler> UiHandler() const;

 private:
  HWND frame_ = nullptr;
  com_ptr<IWebBrowser2> browser_;
  BrowserSite* site_ = nullptr;  // one reference, released by Destroy
  DWORD advise_cookie_ = 0;
};

// Swallows right-button presses meant for the browser frame or any window
// inside it, so no context menu opens in the page (installed per thread while
// a host lives).
bool IsInsideBrowserFrame(HWND window) noexcept;

}  // namespace tarvolin
