// The pop-up as a real window under Wine: window.external through the real
// dispatch object, its shape, its placement, and the push messages of a host
// window from the publisher's list to the retired message. Wine has no HTML
// engine, so the page never loads here: the page's own script is tested in
// Chromium (page_test.py), and the tests below call window.external the way
// the page does and tell the pop-up that its page is ready.
#include "ui/push_messages.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "host/push_popup_rules.h"
#include "push_pump.h"
#include "resource_ids.h"
#include "support/publisher_client.h"
#include "common/window_texts.h"

namespace tarvolin {
namespace {

using namespace std::chrono_literals;
using testing::PumpUntil;

// A host window of the test's thread: it forwards the push messages' host
// messages the way the e-book host window does, and stops them when it goes.
class TestHost {
 public:
  TestHost() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &TestHost::Proc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"PushTestHost";
    ::RegisterClassW(&window_class);
    window_ = ::CreateWindowExW(0, L"PushTestHost", L"host", WS_OVERLAPPEDWINDOW, 100, 100, 600, 400, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), this);
  }
  ~TestHost() {
    if (window_) ::DestroyWindow(window_);
  }
  HWND window() const { return window_; }
  void BringToFront() {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
  }
  void Destroy() {
    ::DestroyWindow(window_);
    window_ = nullptr;
  }

  PushMessages push;
  std::vector<std::wstring> shown;
  std::vector<std::wstring> retired;
  std::atomic<int> messages_after_destroy{0};

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
      case kShowPushMessage:
        if (!self->window_) ++self->messages_after_destroy;
        self->shown.push_back(ParkedText(message, static_cast<UINT_PTR>(lparam)).value_or(L"(not parked)"));
        self->push.OnShowPush(lparam);
        return 0;
      case kRetirePushMessage:
        self->retired.push_back(ParkedText(message, static_cast<UINT_PTR>(lparam)).value_or(L"(not parked)"));
        self->push.OnRetirePush(lparam);
        return 0;
      case WM_DESTROY:
        self->push.Stop();
        return 0;
      default:
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
  }
  HWND window_ = nullptr;
};

RECT WindowRect(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return r;
}

HRESULT CallExternal(IDispatch* external, const wchar_t* name, const std::vector<std::wstring>& arguments) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT found = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) return found;
  std::vector<VARIANT> block(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    VARIANT& slot = block[arguments.size() - 1 - i];
    ::VariantInit(&slot);
    slot.vt = VT_BSTR;
    slot.bstrVal = ::SysAllocString(arguments[i].c_str());
  }
  DISPPARAMS params{block.empty() ? nullptr : block.data(), nullptr, static_cast<UINT>(block.size()), 0};
  unique_variant result;
  HRESULT called = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(),
                                    nullptr, nullptr);
  for (VARIANT& slot : block) ::VariantClear(&slot);
  return called;
}

class PushPopupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    ASSERT_NE(host_.window(), nullptr);
  }
  void TearDown() override {
    host_.push.Stop();
    ::OleUninitialize();
  }
  // The pop-up alone, without the scheduler.
  CMsgDlg& MakePopup(PushSources sources = {}) {
    popup_ = std::make_unique<CMsgDlg>(host_.window(), std::move(sources),
                                       [this](const std::wstring& url) { opened_.push_back(url); });
    EXPECT_TRUE(popup_->Create());
    return *popup_;
  }

  TestHost host_;
  std::unique_ptr<CMsgDlg> popup_;
  std::vector<std::wstring> opened_;
};

TEST_F(PushPopupTest, ExternalNamesAreFoundInAnyCaseWithIdsInTableOrder) {
  CMsgDlg& popup = MakePopup();
  IDispatch* external = popup.external();
  ASSERT_NE(external, nullptr);
  struct Case {
    const wchar_t* name;
    DISPID id;
  } cases[] = {{L"HideMsgDialog", 1}, {L"hidemsgdialog", 1}, {L"ResizeDlg", 2},
               {L"resizedlg", 2},     {L"RESIZEDLG", 2},     {L"OpenUrl", 3}, {L"openURL", 3}};
  for (const auto& c : cases) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    EXPECT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
  }
  DISPID id = 0;
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"ResizeDialog")};
  EXPECT_EQ(external->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  unique_variant nothing;
  DISPPARAMS none{};
  EXPECT_EQ(external->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &none, nothing.put(), nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(PushPopupTest, ResizeDlgFromThePagePlacesAndShowsThePopup) {
  CMsgDlg& popup = MakePopup();
  EXPECT_FALSE(::IsWindowVisible(popup.hwnd()));  // made hidden
  wchar_t title[64] = {};
  ::GetWindowTextW(popup.hwnd(), title, 64);
  EXPECT_STREQ(title, kPushPopupTitle);

  host_.BringToFront();
  // A picture showing at anchor 9, 10 pixels in from the right and 40 up from the bottom.
  popup.ShowPushMessage(L"|7|http://p/pkg|http://p/a.gif|http://p/go|0|0|9|-10|-40");
  ASSERT_EQ(CallExternal(popup.external(), L"resizedlg", {L"300|200"}), S_OK);
  EXPECT_TRUE(::IsWindowVisible(popup.hwnd()));
  const RECT r = WindowRect(popup.hwnd());
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.bottom - r.top, 200);
  EXPECT_EQ(r.right, ::GetSystemMetrics(SM_CXSCREEN) - 10);
  EXPECT_EQ(r.bottom, ::GetSystemMetrics(SM_CYSCREEN) - 40);
  EXPECT_TRUE(::GetWindowLongPtrW(popup.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);

  ASSERT_EQ(CallExternal(popup.external(), L"HideMsgDialog", {}), S_OK);
  EXPECT_FALSE(::IsWindowVisible(popup.hwnd()));
}

TEST_F(PushPopupTest, ThePopupIsRoundedOnEverySizeChange) {
  CMsgDlg& popup = MakePopup();
  for (auto [w, h] : {std::pair{100, 50}, std::pair{320, 144}}) {
    ASSERT_TRUE(::SetWindowPos(popup.hwnd(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    unique_hgdiobj actual(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(popup.hwnd(), static_cast<HRGN>(actual.get())), ERROR);
    unique_hgdiobj expected(::CreateRoundRectRgn(0, 0, w + 1, h, 6, 6));
    // Equal shapes, however their bands are split: nothing is left of their difference.
    unique_hgdiobj difference(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(::CombineRgn(static_cast<HRGN>(difference.get()), static_cast<HRGN>(actual.get()),
                           static_cast<HRGN>(expected.get()), RGN_XOR),
              NULLREGION)
        << w << "x" << h;
  }
}

TEST_F(PushPopupTest, OpenUrlOpensOnlyWebAddresses) {
  CMsgDlg& popup = MakePopup();
  for (const wchar_t* url : {L"file:///C:/windows/system32/notepad.exe", L"C:\\windows\\system32\\notepad.exe",
                             L"javascript:alert(1)", L"https://pub.example/go", L"HTTP://pub.example/x"}) {
    ASSERT_EQ(CallExternal(popup.external(), L"OpenUrl", {url}), S_OK) << url;
  }
  EXPECT_EQ(opened_, (std::vector<std::wstring>{L"https://pub.example/go", L"HTTP://pub.example/x"}));
}

TEST_F(PushPopupTest, CallScriptDoesNothingWithoutAPageAndReachesAScriptObject) {
  CMsgDlg& popup = MakePopup();
  // Wine has no HTML engine: there is no document, so nothing happens.
  EXPECT_FALSE(popup.CallScript(L"addImg", {L"7|a.gif|http://p/go"}));
  EXPECT_FALSE(::IsWindowVisible(popup.hwnd()));
  // The call path itself, on a script object that exists here: the pop-up's own.
  EXPECT_FALSE(CallScriptFunction(popup.external(), L"noSuchFunction", {L"1"}));
  EXPECT_TRUE(CallScriptFunction(popup.external(), L"ResizeDlg", {L"120|80"}));
  const RECT r = WindowRect(popup.hwnd());
  EXPECT_EQ(r.right - r.left, 120);
  EXPECT_EQ(r.bottom - r.top, 80);
}

// An HTML dialog whose page may call one method with two arguments, to see
// the order of arguments through dispatch in both directions.
class TwoArgumentDialog final : public CBaseHtmlDlg {
 public:
  explicit TwoArgumentDialog(HWND parent) : CBaseHtmlDlg(IDD_PUSH_POPUP, IDR_PUSH_PAGE, parent) {}
  std::vector<std::wstring> received;

 protected:
  std::span<const wchar_t* const> ExternalNames() const override {
    static constexpr const wchar_t* kNames[] = {L"Unused", L"Pair"};
    return kNames;
  }
  void InvokeExternal(DISPID id, const std::vector<std::wstring>& arguments) override {
    if (id == 2) received = arguments;
  }
};

TEST_F(PushPopupTest, ArgumentsKeepTheirOrderThroughDispatch) {
  TwoArgumentDialog dialog(host_.window());
  ASSERT_TRUE(dialog.Create());
  // As a script engine calls window.external: the last argument first in the block.
  ASSERT_EQ(CallExternal(dialog.external(), L"pair", {L"first", L"second"}), S_OK);
  EXPECT_EQ(dialog.received, (std::vector<std::wstring>{L"first", L"second"}));
  dialog.received.clear();
  // As the program calls a page function.
  EXPECT_TRUE(CallScriptFunction(dialog.external(), L"PAIR", {L"one", L"two"}));
  EXPECT_EQ(dialog.received, (std::vector<std::wstring>{L"one", L"two"}));
}

// A showing whose MsgUrl or eleUrl is not a web address would load it into
// the resource page, which has window.external: the pop-up never shows it.
TEST_F(PushPopupTest, AShowingWithAScriptAddressNeverShows) {
  PushSources sources;
  sources.server = L"http://127.0.0.1:1";  // nobody answers the package check: a package would show
  sources.machine_id = L"MAC1";
  sources.configured_ebook_id = L"book42";
  CMsgDlg& popup = MakePopup(sources);
  host_.BringToFront();
  struct Case {
    const wchar_t* text;
    bool shows;
  } cases[] = {
      {L"appshopdalibao|8|javascript:alert(document.cookie)|||300|200|5|0|0", false},
      {L"appshopdalibao|8|JavaScript:window.external.OpenUrl('http://x')|||300|200|5|0|0", false},
      {L"|7||javascript:alert(1)|http://p/go|0|0|9|0|0", false},
      {L"|7|javascript:alert(1)|http://p/a.gif|http://p/go|0|0|9|0|0", false},
      // The same showings with web addresses do show: the cases above are refused for their addresses.
      {L"appshopdalibao|8|http://p/pkg|||300|200|5|0|0", true},
      {L"|7||http://p/a.gif|http://p/go|0|0|9|0|0", true},
  };
  for (const auto& c : cases) {
    popup.HideMsgDialog();
    popup.ShowPushMessage(c.text);
    testing::PumpFor(200ms);
    EXPECT_EQ(::IsWindowVisible(popup.hwnd()) != FALSE, c.shows) << c.text;
  }
}

// The dialog's control leaves its own page for nothing: a top-level navigation
// elsewhere is cancelled before it happens, wherever it comes from.
TEST_F(PushPopupTest, TheTopDocumentNeverLeavesTheResourcePage) {
  CMsgDlg& popup = MakePopup();
  testing::PumpFor(300ms);
  for (const wchar_t* url : {L"about:blank", L"http://127.0.0.1:1/elsewhere", L"javascript:alert(1)"}) {
    ASSERT_TRUE(popup.browser().Navigate(url)) << url;
    testing::PumpFor(500ms);
    const std::wstring location = popup.browser().LocationUrl();
    EXPECT_TRUE(location.empty() || IsOwnPage(location, popup.OwnPageUrl())) << url << " -> " << location;
  }
  // Frames inside the page may go where the page sends them (the package page's frame does).
  EXPECT_FALSE(popup.OnBeforeNavigateIn(L"http://p/pkg", false));
  EXPECT_TRUE(popup.OnBeforeNavigateIn(L"http://p/pkg", true));
  EXPECT_FALSE(popup.OnBeforeNavigateIn(popup.OwnPageUrl(), true));
}

// An HTML dialog whose control may go anywhere, to put a document that is not
// its page on top and ask the control's site what that document would get as
// window.external.
class WanderingDialog final : public CBaseHtmlDlg {
 public:
  explicit WanderingDialog(HWND parent) : CBaseHtmlDlg(IDD_PUSH_POPUP, IDR_PUSH_PAGE, parent) {}
  bool OnBeforeNavigateIn(const std::wstring&, bool) override { return false; }
};

com_ptr<IDispatch> ExternalAsThePageGetsIt(CBaseHtmlDlg& dialog) {
  com_ptr<IDispatch> external;
  com_ptr<IDocHostUIHandler> handler = dialog.browser().UiHandler();
  if (handler) handler->GetExternal(external.put());
  return external;
}

TEST_F(PushPopupTest, ADocumentThatIsNotTheResourcePageGetsNoExternal) {
  WanderingDialog dialog(host_.window());
  ASSERT_TRUE(dialog.Create());
  ASSERT_TRUE(dialog.browser().UiHandler());
  ASSERT_TRUE(dialog.browser().Navigate(L"about:blank"));
  ASSERT_TRUE(testing::PumpUntil([&] { return dialog.browser().LocationUrl() == L"about:blank"; }, 5s))
      << dialog.browser().LocationUrl();
  EXPECT_EQ(ExternalAsThePageGetsIt(dialog).get(), nullptr);
  EXPECT_FALSE(dialog.GivesExternalTo(L"http://attacker.example/"));
  EXPECT_TRUE(dialog.GivesExternalTo(dialog.OwnPageUrl()));
  // Back on its own page (where Wine's control can show it), the page gets the dialog's object.
  ASSERT_TRUE(dialog.browser().Navigate(dialog.OwnPageUrl()));
  if (testing::PumpUntil([&] { return IsOwnPage(dialog.browser().LocationUrl(), dialog.OwnPageUrl()); }, 5s)) {
    EXPECT_EQ(ExternalAsThePageGetsIt(dialog).get(), dialog.external());
  }
}

class PushFromPublisherTest : public PushPopupTest {
 protected:
  void SetUp() override {
    PushPopupTest::SetUp();
    ASSERT_TRUE(testing::PublisherAvailable());
    ASSERT_TRUE(testing::ResetPublisher());
  }
  void TearDown() override {
    PushPopupTest::TearDown();
    testing::ResetPublisher();
  }
  static bool Reply(const std::string& path, const std::string& body) {
    return testing::SetPostReply("{\"path\":" + testing::JsonQuote(path) + ",\"status\":200,\"body\":" +
                                 testing::JsonQuote(body) + "}");
  }
  // Starts the host's push messages with one package message due at once.
  void StartWithPackageMessage() {
    ASSERT_TRUE(Reply("/App/MessageHandler/PushMessage.ashx",
                      R"({"result":1,"data":[{"MsgId":"Gift8","timeType":"0","PushNum":"5","PushInterval":"1",)"
                      R"("MsgUrl":"http://p/pkg","pageWidth":"300","pageHeight":"200","Position":"5",)"
                      R"("task":"appshopdalibao"}]})"));
    PushSources sources;
    sources.server = testing::PublisherUrl();
    sources.machine_id = L"MAC1";
    sources.configured_ebook_id = L"book42";
    host_.BringToFront();
    ASSERT_TRUE(host_.push.Start(host_.window(), sources, [](const std::wstring&) {}));
    // The page would report its load; Wine has no engine to load it.
    host_.push.popup()->OnDocumentComplete(L"res://page");
  }
};

TEST_F(PushFromPublisherTest, AnOwnedPackageNeverShowsAndIsRetired) {
  ASSERT_TRUE(Reply("/app/AppPackageHandle.ashx", R"({"result":1})"));
  StartWithPackageMessage();
  ASSERT_TRUE(PumpUntil([&] { return !host_.retired.empty(); }, 10s));
  EXPECT_EQ(host_.shown.size(), 1u);
  EXPECT_EQ(host_.retired, (std::vector<std::wstring>{L"Gift8"}));
  EXPECT_FALSE(::IsWindowVisible(host_.push.popup()->hwnd()));
  // Retired: not shown again, although PushNum allows five.
  testing::PumpFor(2500ms);
  EXPECT_EQ(host_.shown.size(), 1u);
}

TEST_F(PushFromPublisherTest, APackageShowsUntilThePublisherSaysItIsOwned) {
  ASSERT_TRUE(Reply("/app/AppPackageHandle.ashx", R"({"result":0})"));
  StartWithPackageMessage();
  ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(host_.push.popup()->hwnd()) != FALSE; }, 10s));
  const RECT r = WindowRect(host_.push.popup()->hwnd());
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.bottom - r.top, 200);
  testing::PumpFor(2500ms);
  EXPECT_TRUE(host_.retired.empty());

  ASSERT_TRUE(Reply("/app/AppPackageHandle.ashx", R"({"result":1})"));
  ASSERT_TRUE(PumpUntil([&] { return !host_.retired.empty(); }, 10s));
  EXPECT_EQ(host_.retired, (std::vector<std::wstring>{L"Gift8"}));
  EXPECT_FALSE(::IsWindowVisible(host_.push.popup()->hwnd()));
}

TEST_F(PushFromPublisherTest, TheThreadsEndWithTheHostWindow) {
  ASSERT_TRUE(Reply("/app/AppPackageHandle.ashx", R"({"result":0})"));
  StartWithPackageMessage();
  ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(host_.push.popup()->hwnd()) != FALSE; }, 10s));
  host_.Destroy();  // its WM_DESTROY stops the push messages
  EXPECT_EQ(host_.push.popup(), nullptr);
  const int requests = static_cast<int>(testing::PublisherLog().size());
  testing::PumpFor(3s);
  EXPECT_EQ(static_cast<int>(testing::PublisherLog().size()), requests) << "a thread still polls";
  EXPECT_EQ(host_.messages_after_destroy.load(), 0);
}

}  // namespace
}  // namespace tarvolin
