// A dialog that the WebBrowser control fills with a page from the program's
// own resources. The dialog's dispatch object is the page's window.external,
// so the page calls the dialog's methods; the dialog calls the page's script
// functions in return (CallScript).
//
// Thread affinity: apartment-threaded; the dialog, its browser and its
// dispatch object are used only on the thread that created the window.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <span>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/web_browser.h"

namespace tarvolin {

// The child id of the browser's frame inside an HTML dialog.
inline constexpr int kHtmlDialogBrowserId = 1000;

// "res://<full path of the executable>/<id>": a page among the program's resources.
std::wstring ResourcePageUrl(int html_id);
// The window's shape: rounded corners of 6 x 6 over (0, 0)-(width + 1, height)
// of the window rectangle. The window owns the region afterwards.
bool ApplyRoundedRegion(HWND window);
// Calls a named function of a script object with string arguments (the last
// argument first in the parameter block, as dispatch wants). False when the
// object has no such name or the call failed.
bool CallScriptFunction(IDispatch* script, const std::wstring& function, const std::vector<std::wstring>& arguments);

class CBaseHtmlDlg : public Dialog, public BrowserEvents {
 public:
  CBaseHtmlDlg(int template_id, int html_id, HWND parent);
  ~CBaseHtmlDlg() override;

  bool Create() { return CreateModeless(parent_); }
  // window.external: the names of ExternalNames, matched in any letter case,
  // with the ids 1, 2, 3 ... in table order.
  IDispatch* external() noexcept;
  // Calls a function of the page's script; does nothing (false) when the
  // page has no document or script yet, or no function of that name.
  bool CallScript(const std::wstring& function, const std::vector<std::wstring>& arguments);
  WebBrowserHost& browser() noexcept { return browser_; }
  HWND parent() const noexcept { return parent_; }

  // Events of the browser control. The dialog shows its own resource page
  // only: a top-level navigation anywhere else is cancelled (pages open web
  // addresses through window.external), frames inside the page may go where
  // the page sends them, and window.external is handed out only while the top
  // document is that page.
  bool OnBeforeNavigate(const std::wstring&) override { return false; }
  bool OnBeforeNavigateIn(const std::wstring& url, bool top_level) override;
  void OnDocumentComplete(const std::wstring&) override {}
  bool GivesExternalTo(const std::wstring& top_url) override;
  // The address of the dialog's own page.
  std::wstring OwnPageUrl() const;

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  bool PreTranslateMessage(MSG& message) override { return browser_.TranslateAccelerator(message); }
  // Whether any page, in any frame and zone, may reach window.external.
  virtual bool CanAccessExternal() const { return true; }
  // The page's callable methods, in table order; id = position + 1.
  virtual std::span<const wchar_t* const> ExternalNames() const { return {}; }
  // A call from the page, with its arguments as strings in call order.
  virtual void InvokeExternal(DISPID id, const std::vector<std::wstring>& arguments);

 private:
  class External;
  friend class External;

  int html_id_;
  HWND parent_;
  External* external_ = nullptr;  // one reference held; released with the dialog
  WebBrowserHost browser_;
};

}  // namespace tarvolin
