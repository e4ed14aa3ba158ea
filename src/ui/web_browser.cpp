#include "ui/web_browser.h"

#include <mshtmhst.h>
#include <ocidl.h>
#include <oleidl.h>

#include <atomic>

namespace tarvolin {
namespace {

constexpr wchar_t kFrameClass[] = L"TarvolinBrowserFrame";

// The right-button filter is a message hook per thread, kept while any host
// of the thread lives: the press goes to the deepest window of the page,
// which is the control's, not ours.
thread_local HHOOK right_button_hook = nullptr;
thread_local int hosts_on_thread = 0;

LRESULT CALLBACK SwallowRightButton(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && wparam == PM_REMOVE) {
    auto* message = reinterpret_cast<MSG*>(lparam);
    if (message->message == WM_RBUTTONDOWN && IsInsideBrowserFrame(message->hwnd)) message->message = WM_NULL;
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

void HoldRightButtonFilter() {
  if (hosts_on_thread++ == 0)
    right_button_hook = ::SetWindowsHookExW(WH_GETMESSAGE, &SwallowRightButton, nullptr, ::GetCurrentThreadId());
}

void ReleaseRightButtonFilter() {
  if (--hosts_on_thread == 0 && right_button_hook) {
    ::UnhookWindowsHookEx(right_button_hook);
    right_button_hook = nullptr;
  }
}

void ResizeSite(BrowserSite* site);

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_RBUTTONDOWN:
      return 0;
    case WM_SIZE:
      // The control fills its frame.
      if (auto* site = reinterpret_cast<BrowserSite*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) ResizeSite(site);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

bool RegisterFrameClass() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  if (::GetClassInfoExW(module, kFrameClass, &existing)) return true;
  WNDCLASSEXW frame_class{};
  frame_class.cbSize = sizeof frame_class;
  frame_class.lpfnWndProc = &FrameProc;
  frame_class.hInstance = module;
  frame_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  frame_class.lpszClassName = kFrameClass;
  return ::RegisterClassExW(&frame_class) != 0;
}

// The string inside a by-reference or plain variant.
std::wstring VariantText(const VARIANT& value) {
  const VARIANT* inner = &value;
  if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) inner = value.pvarVal;
  if (inner->vt == VT_BSTR && inner->bstrVal) return std::wstring(inner->bstrVal, ::SysStringLen(inner->bstrVal));
  if (inner->vt == (VT_BYREF | VT_BSTR) && inner->pbstrVal && *inner->pbstrVal) return *inner->pbstrVal;
  return {};
}

GUID ParseGuid(const wchar_t* text) {
  GUID id{};
  ::CLSIDFromString(text, &id);
  return id;
}

}  // namespace

bool IsInsideBrowserFrame(HWND window) noexcept {
  wchar_t name[64];
  for (HWND current = window; current; current = ::GetParent(current)) {
    if (::GetClassNameW(current, name, 64) && ::lstrcmpW(name, kFrameClass) == 0) return true;
  }
  return false;
}

// Client site, in-place site and frame, UI handler and event sink of one
// control. It may outlive its host (the control lets go of it when it
// pleases), so the host detaches it when it goes.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler,
                          public IDispatch {
 public:
  BrowserSite(HWND frame, BrowserEvents* events, IDispatch* external)
      : frame_(frame), events_(events), external_(external) {
    if (external_) external_->AddRef();
  }

  // The control itself, to tell its top-level navigations from a frame's and
  // to read where it is. Not a reference: the control holds the site.
  void SetControl(IWebBrowser2* control) { control_ = control; }

  void Detach() {
    if (frame_) ::SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
    frame_ = nullptr;
    events_ = nullptr;
    control_ = nullptr;
    if (IDispatch* old = std::exchange(external_, nullptr)) old->Release();
    in_place_.reset();
    active_.reset();
  }

  // The object the control made active (the document in it), which gets the
  // keys before the dialog's own navigation; null before it is active.
  IOleInPlaceActiveObject* active_object() const noexcept { return active_.get(); }

  void Resize() {
    if (!in_place_ || !frame_) return;
    RECT area;
    ::GetClientRect(frame_, &area);
    in_place_->SetObjectRects(&area, &area);
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID id, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (id == IID_IUnknown || id == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (id == IID_IOleWindow || id == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (id == IID_IOleInPlaceUIWindow || id == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (id == IID_IDocHostUIHandler) {
      *out = static_cast<IDocHostUIHandler*>(this);
    } else if (id == IID_IDispatch || id == DIID_DWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = frame_;
    return frame_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    com_ptr<IOleInPlaceObject> object;
    if (object_) object_->QueryInterface(IID_IOleInPlaceObject, object.put_void());
    in_place_ = object;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    ::GetClientRect(frame_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(frame_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    in_place_.reset();
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT area) override {
    if (in_place_) in_place_->SetObjectRects(area, area);
    return S_OK;
  }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: a frame with no menus, tools or status bar.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    active_.reset();
    if (object) object->QueryInterface(IID_IOleInPlaceActiveObject, active_.put_void());
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }  // none, ever
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    *key = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
    *target = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    if (!external) return E_POINTER;
    *external = nullptr;
    if (!external_ || (events_ && !events_->GivesExternalTo(TopLocation()))) return S_FALSE;
    *external = external_;
    external_->AddRef();
    return S_OK;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }

  // IDispatch: the control's events.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (!events_ || !params) return S_OK;
    // Arguments arrive last first: BeforeNavigate2 has the URL at 5 and the
    // cancel flag at 0, DocumentComplete the URL at 0.
    if (id == kBeforeNavigate2DispatchId && params->cArgs == 7) {
      std::wstring url = VariantText(params->rgvarg[5]);
      bool cancel = events_->OnBeforeNavigateIn(url, IsThisControl(params->rgvarg[6]));
      VARIANT& flag = params->rgvarg[0];
      if (cancel && flag.vt == (VT_BYREF | VT_BOOL) && flag.pboolVal) *flag.pboolVal = VARIANT_TRUE;
    } else if (id == kDocumentCompleteDispatchId && params->cArgs == 2) {
      events_->OnDocumentComplete(VariantText(params->rgvarg[0]));
    }
    return S_OK;
  }

  void SetObject(IOleObject* object) { object_ = object; }

  std::wstring TopLocation() const {
    if (!control_) return std::wstring();
    BSTR location = nullptr;
    if (FAILED(control_->get_LocationURL(&location)) || !location) return std::wstring();
    std::wstring text = BstrText(location);
    ::SysFreeString(location);
    return text;
  }

 private:
  // Whether an event's browser argument is the control (the top document)
  // rather than one of its frames. Compared as COM identities.
  bool IsThisControl(const VARIANT& browser) const {
    if (!control_ || browser.vt != VT_DISPATCH || !browser.pdispVal) return false;
    com_ptr<IUnknown> theirs;
    com_ptr<IUnknown> ours;
    if (FAILED(browser.pdispVal->QueryInterface(IID_IUnknown, theirs.put_void()))) return false;
    if (FAILED(control_->QueryInterface(IID_IUnknown, ours.put_void()))) return false;
    return theirs.get() == ours.get();
  }

  std::atomic<ULONG> references_{1};
  HWND frame_;
  BrowserEvents* events_;
  IDispatch* external_;
  IOleObject* object_ = nullptr;  // the control, while it is being activated
  IWebBrowser2* control_ = nullptr;  // the control, once made; not a reference
  com_ptr<IOleInPlaceObject> in_place_;
  com_ptr<IOleInPlaceActiveObject> active_;
};

namespace {
void ResizeSite(BrowserSite* site) { site->Resize(); }
}  // namespace

WebBrowserHost::~WebBrowserHost() { Destroy(); }

bool WebBrowserHost::Create(HWND parent, const RECT& area, int control_id, BrowserEvents* events,
                            IDispatch* external) {
  Destroy();
  if (!RegisterFrameClass()) return false;
  frame_ = ::CreateWindowExW(0, kFrameClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, area.left, area.top,
                             area.right - area.left, area.bottom - area.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id)), ::GetModuleHandleW(nullptr),
                             nullptr);
  if (!frame_) return false;
  HoldRightButtonFilter();

  com_ptr<IOleObject> object;
  if (FAILED(::CoCreateInstance(ParseGuid(kWebBrowserClassId), nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                object.put_void())))
    return false;
  // The site starts with one reference, which the host keeps.
  site_ = new BrowserSite(frame_, events, external);
  site_->SetObject(object.get());
  ::SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site_));
  object->SetClientSite(static_cast<IOleClientSite*>(site_));
  RECT inside;
  ::GetClientRect(frame_, &inside);
  HRESULT activated = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0,
                                     frame_, &inside);
  site_->SetObject(nullptr);
  if (FAILED(activated) || FAILED(object->QueryInterface(IID_IWebBrowser2, browser_.put_void()))) {
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    return false;
  }
  site_->Resize();
  site_->SetControl(browser_.get());

  com_ptr<IConnectionPointContainer> points;
  com_ptr<IConnectionPoint> point;
  if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, points.put_void())) &&
      SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())))
    point->Advise(static_cast<IDispatch*>(site_), &advise_cookie_);
  return true;
}

bool WebBrowserHost::CreateInPlaceOf(HWND dialog, int control_id, BrowserEvents* events, IDispatch* external) {
  HWND placeholder = ::GetDlgItem(dialog, control_id);
  if (!placeholder) return false;
  RECT area;
  ::GetWindowRect(placeholder, &area);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
  // The placeholder's place in the tab and z order goes to the browser.
  ::DestroyWindow(placeholder);
  return Create(dialog, area, control_id, events, external);
}

void WebBrowserHost::Destroy() {
  if (browser_) {
    if (advise_cookie_) {
      com_ptr<IConnectionPointContainer> points;
      com_ptr<IConnectionPoint> point;
      if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, points.put_void())) &&
          SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())))
        point->Unadvise(advise_cookie_);
      advise_cookie_ = 0;
    }
    browser_->Stop();
    com_ptr<IOleInPlaceObject> in_place;
    if (SUCCEEDED(browser_->QueryInterface(IID_IOleInPlaceObject, in_place.put_void()))) in_place->InPlaceDeactivate();
    com_ptr<IOleObject> object;
    if (SUCCEEDED(browser_->QueryInterface(IID_IOleObject, object.put_void()))) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
    }
    browser_.reset();
  }
  if (site_) {
    site_->Detach();
    static_cast<IOleClientSite*>(site_)->Release();
    site_ = nullptr;
  }
  if (frame_) {
    ::DestroyWindow(frame_);
    frame_ = nullptr;
    ReleaseRightButtonFilter();
  }
}

bool WebBrowserHost::Navigate(const std::wstring& url) {
  if (!browser_) return false;
  VARIANT empty[4];
  VARIANT arguments[5];
  for (int i = 0; i < 4; ++i) {
    ::VariantInit(&empty[i]);
    ::VariantInit(&arguments[i]);
    arguments[i].vt = VT_BYREF | VT_VARIANT;
    arguments[i].pvarVal = &empty[i];
  }
  unique_bstr address = MakeBstr(url);
  ::VariantInit(&arguments[4]);
  arguments[4].vt = VT_BSTR;
  arguments[4].bstrVal = address.get();
  DISPPARAMS params{arguments, nullptr, 5, 0};
  VARIANT result;
  ::VariantInit(&result);
  HRESULT invoked = browser_->Invoke(kNavigateDispatchId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                     &result, nullptr, nullptr);
  ::VariantClear(&result);
  return SUCCEEDED(invoked);
}

bool WebBrowserHost::TranslateAccelerator(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !frame_ || !site_) return false;
  if (message.hwnd != frame_ && !::IsChild(frame_, message.hwnd)) return false;
  IOleInPlaceActiveObject* active = site_->active_object();
  return active && active->TranslateAccelerator(&message) == S_OK;
}

void WebBrowserHost::MoveTo(const RECT& area) {
  if (frame_) ::MoveWindow(frame_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

std::wstring WebBrowserHost::LocationUrl() const { return site_ ? site_->TopLocation() : std::wstring(); }

com_ptr<IDocHostUIHandler> WebBrowserHost::UiHandler() const {
  com_ptr<IDocHostUIHandler> handler;
  com_ptr<IOleObject> object;
  com_ptr<IOleClientSite> site;
  if (browser_ && SUCCEEDED(browser_->QueryInterface(IID_IOleObject, object.put_void())) &&
      SUCCEEDED(object->GetClientSite(site.put())) && site)
    site->QueryInterface(IID_IDocHostUIHandler, handler.put_void());
  return handler;
}

}  // namespace tarvolin
