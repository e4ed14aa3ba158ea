// The real WebBrowser control in a real window: navigations reach the owner
// before they happen and can be cancelled; right presses never reach the page.
#include "ui/web_browser.h"

#include <gtest/gtest.h>

#include <vector>

#include "check_fixture.h"
#include "common/strings.h"
#include "window_driver.h"

namespace tarvolin {
namespace {

using testing::PumpFor;
using testing::PumpUntil;

// Cancels navigations whose URL carries "Type=" with a capital T, like the host window.
class RecordingEvents final : public BrowserEvents {
 public:
  bool OnBeforeNavigate(const std::wstring& url) override {
    before.push_back(url);
    return Contains(url, L"Type=");
  }
  void OnDocumentComplete(const std::wstring& url) override { completed.push_back(url); }
  std::vector<std::wstring> before;
  std::vector<std::wstring> completed;
};

class WebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    parent_ = ::CreateWindowExW(0, L"STATIC", L"browser parent", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400,
                                300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    ASSERT_TRUE(host_.Create(parent_, RECT{10, 10, 310, 210}, 172, &events_));
  }
  void TearDown() override {
    host_.Destroy();
    if (parent_) ::DestroyWindow(parent_);
    ::OleUninitialize();
  }

  HWND parent_ = nullptr;
  RecordingEvents events_;
  WebBrowserHost host_;
};

TEST_F(WebBrowserTest, FrameIsTheControlIdAtTheRectangle) {
  HWND frame = host_.frame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(::GetDlgCtrlID(frame), 172);
  RECT area;
  ::GetWindowRect(frame, &area);
  ::MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&area), 2);
  EXPECT_EQ(area.left, 10);
  EXPECT_EQ(area.top, 10);
  EXPECT_EQ(area.right - area.left, 300);
  EXPECT_EQ(area.bottom - area.top, 200);
  EXPECT_NE(host_.browser(), nullptr);
}

// Where the control is; empty when it cannot say.
std::wstring LocationOf(IWebBrowser2* browser) {
  BSTR location = nullptr;
  std::wstring where;
  if (browser && SUCCEEDED(browser->get_LocationURL(&location)) && location) where = location;
  ::SysFreeString(location);
  return where;
}

TEST_F(WebBrowserTest, CommandNavigationIsSeenAndCancelledOthersGoAhead) {
  ASSERT_TRUE(host_.Navigate(L"about:blank?Type=closeApp"));
  ASSERT_TRUE(PumpUntil([&] { return !events_.before.empty(); }, 5000));
  EXPECT_EQ(events_.before.front(), L"about:blank?Type=closeApp");
  PumpFor(300);
  // A cancelled navigation raises nothing more.
  EXPECT_EQ(events_.before.size(), 1u);

  ASSERT_TRUE(host_.Navigate(L"about:blank?type=closeApp"));
  ASSERT_TRUE(PumpUntil([&] { return events_.before.size() >= 2; }, 5000));
  EXPECT_EQ(events_.before[1], L"about:blank?type=closeApp");
  // Not cancelled, it goes ahead: the control arrives there.
  EXPECT_TRUE(PumpUntil([&] { return LocationOf(host_.browser()) == L"about:blank?type=closeApp"; }, 5000))
      << "the navigation did not go ahead; the control is at \"" << testing::Narrow(LocationOf(host_.browser()))
      << "\"";
}

TEST_F(WebBrowserTest, CancelledNavigationLeavesTheLocationWhereItWas) {
  ASSERT_TRUE(host_.Navigate(L"about:blank?start"));
  ASSERT_TRUE(PumpUntil([&] { return LocationOf(host_.browser()) == L"about:blank?start"; }, 5000))
      << "the first navigation never arrived; the control is at \"" << testing::Narrow(LocationOf(host_.browser()))
      << "\"";
  ASSERT_TRUE(host_.Navigate(L"about:blank?Type=closeApp"));
  ASSERT_TRUE(PumpUntil([&] { return events_.before.size() >= 2; }, 5000)) << "the command was never seen";
  PumpFor(500);
  EXPECT_EQ(LocationOf(host_.browser()), L"about:blank?start");
}

// A window inside the browser frame that writes down the presses it gets.
struct PressLog {
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_RBUTTONDOWN) ++right;
    if (message == WM_LBUTTONDOWN) ++left;
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  static inline int right = 0;
  static inline int left = 0;
};

TEST_F(WebBrowserTest, RightPressesInsideTheFrameAreSwallowed) {
  WNDCLASSW inner_class{};
  inner_class.lpfnWndProc = &PressLog::Proc;
  inner_class.lpszClassName = L"TarvolinPressLog";
  ::RegisterClassW(&inner_class);
  HWND inner = ::CreateWindowExW(0, L"TarvolinPressLog", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, host_.frame(),
                                 nullptr, nullptr, nullptr);
  ASSERT_NE(inner, nullptr);
  HWND outside = ::CreateWindowExW(0, L"TarvolinPressLog", L"", WS_CHILD | WS_VISIBLE, 320, 0, 50, 50, parent_,
                                   nullptr, nullptr, nullptr);
  ASSERT_NE(outside, nullptr);
  EXPECT_TRUE(IsInsideBrowserFrame(inner));
  EXPECT_FALSE(IsInsideBrowserFrame(outside));

  PressLog::right = PressLog::left = 0;
  ::PostMessageW(inner, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(inner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PumpFor(200);
  EXPECT_EQ(PressLog::right, 0);
  EXPECT_EQ(PressLog::left, 1);

  ::PostMessageW(outside, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  PumpFor(200);
  EXPECT_EQ(PressLog::right, 1) << "presses outside the page are left alone";
  ::DestroyWindow(inner);
  ::DestroyWindow(outside);
}

}  // namespace
}  // namespace tarvolin
