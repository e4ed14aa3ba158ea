#include "ui/html_dialog.h"

#include <mshtml.h>

#include <atomic>

#include "common/com_ptr.h"
#include "common/files.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "host/push_popup_rules.h"

namespace tarvolin {

// The dialog's dispatch object. It can outlive the dialog (a page may keep
// window.external), so it counts its own references and forgets the dialog
// when the dialog goes; calls after that fail instead of reaching freed memory.
class CBaseHtmlDlg::External final : public IDispatch {
 public:
  explicit External(CBaseHtmlDlg* owner) : owner_(owner) {}
  void Forget() noexcept { owner_ = nullptr; }

  STDMETHODIMP QueryInterface(REFIID id, void** out) override {
    if (!out) return E_POINTER;
    if (id == IID_IUnknown || id == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    if (!owner_) return E_UNEXPECTED;
    const auto table = owner_->ExternalNames();
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (std::size_t k = 0; k < table.size(); ++k) {
        if (names[i] && ::lstrcmpiW(names[i], table[k]) == 0) ids[i] = static_cast<DISPID>(k + 1);
      }
      if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT* bad_argument) override {
    if (!owner_) return E_UNEXPECTED;
    if (id < 1 || static_cast<std::size_t>(id) > owner_->ExternalNames().size()) return DISP_E_MEMBERNOTFOUND;
    std::vector<std::wstring> arguments;
    const UINT count = params ? params->cArgs : 0;
    // The parameter block holds the last argument first.
    for (UINT i = count; i-- > 0;) {
      unique_variant text;
      if (FAILED(::VariantChangeType(text.put(), &params->rgvarg[i], 0, VT_BSTR))) {
        if (bad_argument) *bad_argument = i;
        return DISP_E_TYPEMISMATCH;
      }
      arguments.push_back(BstrText(text.get().bstrVal));
    }
    if (result) ::VariantInit(result);
    owner_->InvokeExternal(id, arguments);
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  CBaseHtmlDlg* owner_;
};

std::wstring ResourcePageUrl(int html_id) { return L"res://" + ExecutablePath() + L"/" + std::to_wstring(html_id); }

bool ApplyRoundedRegion(HWND window) {
  RECT bounds;
  if (!::GetWindowRect(window, &bounds)) return false;
  unique_hgdiobj region(::CreateRoundRectRgn(0, 0, bounds.right - bounds.left + 1, bounds.bottom - bounds.top, 6, 6));
  if (!region) return false;
  if (!::SetWindowRgn(window, static_cast<HRGN>(region.get()), TRUE)) return false;
  region.release();  // the window owns it now
  return true;
}

bool CallScriptFunction(IDispatch* script, const std::wstring& function, const std::vector<std::wstring>& arguments) {
  if (!script) return false;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(function.c_str());
  if (FAILED(script->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id))) return false;
  std::vector<VARIANT> block(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    VARIANT& slot = block[arguments.size() - 1 - i];
    ::VariantInit(&slot);
    slot.vt = VT_BSTR;
    slot.bstrVal = ::SysAllocStringLen(arguments[i].data(), static_cast<UINT>(arguments[i].size()));
  }
  DISPPARAMS params{block.empty() ? nullptr : block.data(), nullptr, static_cast<UINT>(block.size()), 0};
  unique_variant result;
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  const HRESULT called =
      script->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, result.put(), &exception, &bad_argument);
  for (VARIANT& slot : block) ::VariantClear(&slot);
  // The page's own errors are its business; their texts are dropped.
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  return SUCCEEDED(called);
}

CBaseHtmlDlg::CBaseHtmlDlg(int template_id, int html_id, HWND parent)
    : Dialog(template_id), html_id_(html_id), parent_(parent), external_(new External(this)) {}

CBaseHtmlDlg::~CBaseHtmlDlg() {
  browser_.Destroy();
  external_->Forget();
  external_->Release();
}

IDispatch* CBaseHtmlDlg::external() noexcept { return external_; }

std::wstring CBaseHtmlDlg::OwnPageUrl() const { return ResourcePageUrl(html_id_); }

bool CBaseHtmlDlg::OnBeforeNavigateIn(const std::wstring& url, bool top_level) {
  if (!top_level || IsOwnPage(url, OwnPageUrl())) return OnBeforeNavigate(url);
  WriteLog(L"The dialog's page tried to go to \"" + url + L"\"; stopped.");
  return true;
}

bool CBaseHtmlDlg::GivesExternalTo(const std::wstring& top_url) { return IsOwnPage(top_url, OwnPageUrl()); }

void CBaseHtmlDlg::InvokeExternal(DISPID, const std::vector<std::wstring>&) {}

BOOL CBaseHtmlDlg::OnInitDialog() {
  RECT client;
  ::GetClientRect(hwnd(), &client);
  browser_.Create(hwnd(), client, kHtmlDialogBrowserId, this, CanAccessExternal() ? external() : nullptr);
  browser_.Navigate(ResourcePageUrl(html_id_));
  ApplyRoundedRegion(hwnd());
  return TRUE;
}

bool CBaseHtmlDlg::CallScript(const std::wstring& function, const std::vector<std::wstring>& arguments) {
  IWebBrowser2* control = browser_.browser();
  if (!control) return false;
  com_ptr<IDispatch> document;
  if (FAILED(control->get_Document(document.put())) || !document) return false;
  com_ptr<IHTMLDocument> html;
  if (FAILED(document->QueryInterface(IID_IHTMLDocument, html.put_void())) || !html) return false;
  com_ptr<IDispatch> script;
  if (FAILED(html->get_Script(script.put())) || !script) return false;
  return CallScriptFunction(script.get(), function, arguments);
}

bool CBaseHtmlDlg::OnMessage(UINT message, WPARAM, LPARAM lparam, LRESULT&) {
  switch (message) {
    case WM_SIZE:
      ApplyRoundedRegion(hwnd());
      if (browser_.frame()) browser_.MoveTo(RECT{0, 0, LOWORD(lparam), HIWORD(lparam)});
      return false;
    case WM_DESTROY:
      browser_.Destroy();
      return false;
    default:
      return false;
  }
}

}  // namespace tarvolin
