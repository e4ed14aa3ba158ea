// The e-book host window as a real window under Wine: made from its template,
// driven from inside its own message loop with the navigations, messages and
// answers that the page, the pipeline and a person would give it.
#include "ui/most_simple_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <oleidl.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "host/host_command_rules.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/ui_automation.h"
#include "ui/host_window_rules.h"
#include "window_driver.h"

namespace tarvolin {
namespace {

using testing::AfterDelay;
using testing::DialogAnswerer;
using testing::DriveModal;
using testing::PumpFor;
using testing::PumpUntil;
namespace rules = host_window_rules;

constexpr wchar_t kTitle[] = L"Reader";

int DownloadStatus(HWND window) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(window, kDownloadStatusProperty)));
}

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    SetQuitRequested(false);
    SetStatus(UpdateNone, nullptr);
    // No list address: a worker that starts ends at once with a check error.
    config_.WriteIni(L"[APPLICATION]\r\nApplication=Reader.exe\r\nEBookID=4711\r\n");
  }
  void TearDown() override {
    SetQuitRequested(false);
    ::OleUninitialize();
  }

  // Runs the window and `script` inside it; the window is ended afterwards
  // unless the script ended it. Returns what DoModal returned.
  INT_PTR RunWindow(CDlgMostSimple& window, const std::function<void()>& script) {
    return DriveModal([&] { return window.Run(); }, script, [&] {
      if (window.hwnd()) window.EndDialog(0);
    });
  }

  testing::ScopedConfigurationFolder config_;
  HostWindowActions no_actions_;
};

TEST_F(HostWindowTest, OpensMaximisedOnTheReadingPageWithItsTitleAndTrayTip) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    wchar_t class_name[64] = {};
    ::GetClassNameW(hwnd, class_name, 64);
    EXPECT_STREQ(class_name, kHostWindowClass);
    wchar_t title[64] = {};
    ::GetWindowTextW(hwnd, title, 64);
    EXPECT_STREQ(title, kTitle);
    EXPECT_TRUE(::IsZoomed(hwnd));
    EXPECT_EQ(DownloadStatus(hwnd), kDownloadIdle);
    EXPECT_EQ(window.tip(), rules::kTipQueued);
    EXPECT_TRUE(Contains(window.page_url(), L"id=4711&Type=package")) << window.page_url();
    // The browser took the placeholder's place and id.
    HWND browser = ::GetDlgItem(hwnd, 172);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser, window.browser().frame());
    // Enter and Escape do nothing.
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindow(hwnd));
  });
}

TEST_F(HostWindowTest, CommandNavigationsOfThePageAreCancelledAndCarriedOut) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    // Through the real control: the marker reaches the host and the control stays where it was.
    ASSERT_TRUE(window.browser().Navigate(L"about:blank?Type=restoreWindows"));
    ASSERT_TRUE(PumpUntil([&] { return window.show_mode() == CDlgMostSimple::kShowRestored; }, 5000));
    EXPECT_FALSE(::IsZoomed(hwnd));
    RECT area;
    ::GetWindowRect(hwnd, &area);
    EXPECT_EQ(area.right - area.left, rules::kRestoredWidth);
    EXPECT_EQ(area.bottom - area.top, rules::kRestoredHeight);

    // The restored window's own frame: corners first, then edges.
    POINT corner{area.left + 1, area.top + 1};
    EXPECT_EQ(::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)), HTTOPLEFT);
    POINT middle{area.left + 400, area.top + 300};
    EXPECT_EQ(::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(middle.x, middle.y)), HTCLIENT);

    EXPECT_TRUE(window.HandleHostCommand(L"about:blank?Type=maximizeWindows"));
    EXPECT_TRUE(::IsZoomed(hwnd));
    // Maximised: the frame is the system's again, and a drag request is only swallowed.
    EXPECT_NE(::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)), HTTOPLEFT);
    EXPECT_TRUE(window.HandleHostCommand(L"about:blank?Type=moveWindows"));
    EXPECT_TRUE(::IsZoomed(hwnd));

    EXPECT_FALSE(window.HandleHostCommand(L"about:blank?type=closeApp")) << "lower-case t is no command";
    EXPECT_TRUE(window.HandleHostCommand(L"x?Type=heartbeat&id=preinitialize&Type=closeApp"));
    EXPECT_EQ(window.load_phase(), load_phase::kPreinitialize) << "a heartbeat, not a close";
    EXPECT_TRUE(::IsWindowVisible(hwnd));
  });
}

TEST_F(HostWindowTest, CloseBeforeThePageLoadedAsksAndNoKeepsTheWindow) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  DialogAnswerer no(kCloseQuestionCaption, IDNO);
  RunWindow(window, [&] {
    EXPECT_TRUE(window.HandleHostCommand(L"about:blank?Type=closeApp"));
    EXPECT_TRUE(no.WaitForFirst(0));
    ASSERT_EQ(no.Seen().size(), 1u);
    EXPECT_EQ(no.Seen()[0].text, kCloseQuestionText);
    EXPECT_TRUE(::IsWindowVisible(window.hwnd()));
    EXPECT_FALSE(QuitRequested());
  });
}

TEST_F(HostWindowTest, CloseWhileCachingGoesToTheTray) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  DialogAnswerer any(kCloseQuestionCaption, IDNO);
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    // The page loaded: the queue starts (its worker ends at once without a list address).
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    EXPECT_TRUE(window.page_loaded());
    EXPECT_TRUE(window.HandleHostCommand(L"about:blank?Type=closeApp"));
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    ::SendMessageW(hwnd, CDlgMostSimple::kTrayCallbackMessage, 0, WM_LBUTTONDOWN);
    EXPECT_TRUE(::IsWindowVisible(hwnd)) << "a click on the tray icon brings it back";
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(hwnd)) << "the close button hides it while caching";
    EXPECT_TRUE(any.Seen().empty());
  });
}

TEST_F(HostWindowTest, ProgressMessagesMoveTheTipOnlyForward) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    namespace sp = status_protocol;
    ::SendMessageW(hwnd, sp::kStatusChangedMessage, UpdateDownload, 2);
    ::SendMessageW(hwnd, sp::kStatusFileProgressMessage, 0, 2);
    ::SendMessageW(hwnd, sp::kStatusProgressMessage, 100, 50);
    EXPECT_EQ(window.tip(), L"布伦诺克电子书（正在缓存数据 32%）");
    ::SendMessageW(hwnd, sp::kStatusFileProgressMessage, 0, 4);
    ::SendMessageW(hwnd, sp::kStatusProgressMessage, 100, 10);  // falls to 12 %
    EXPECT_EQ(window.tip(), L"布伦诺克电子书（正在缓存数据 32%）");
    // A text while the download failed changes nothing; the copy's success completes it.
    ::SendMessageW(hwnd, sp::kStatusChangedMessage, UpdateDownloadError, 2);
    SendStatusText(hwnd, L"failed", sp::kNoProgress);
    EXPECT_EQ(window.tip(), L"布伦诺克电子书（正在缓存数据 32%）");
    ::SendMessageW(hwnd, sp::kStatusChangedMessage, UpdateCopyOk, 2);
    SendStatusText(hwnd, L"copied", sp::kNoProgress);
    EXPECT_EQ(window.tip(), rules::kTipAlmostDone);
  });
}

// Any program on the desktop can send the window its text messages with any
// number as the text's "address". A number from another process is no text of
// ours: the window drops it, keeps its text and does not crash.
TEST_F(HostWindowTest, TextMessagesFromAnotherProcessAreDroppedWithoutACrash) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    namespace sp = status_protocol;
    SendStatusText(hwnd, L"from this process", sp::kNoProgress);
    ASSERT_EQ(window.status_text(), L"from this process");
    struct Case {
      UINT message;
      const wchar_t* parameter;
      const wchar_t* value;
    } cases[] = {
        {sp::kStatusTextMessage, L"wparam", L"own"},    // an address of the sender's
        {sp::kStatusTextMessage, L"wparam", L"0x10"},   // an address that is nowhere
        {kShowPushMessage, L"lparam", L"own"},
        {kShowPushMessage, L"lparam", L"0x10"},
        {kRetirePushMessage, L"lparam", L"own"},
        {kRetirePushMessage, L"lparam", L"0x10"},
    };
    for (const auto& c : cases) {
      const std::wstring command = L"\"" + testing::BuildOutputFolder() + L"\\message_forger.exe\" " +
                                   std::to_wstring(reinterpret_cast<UINT_PTR>(hwnd)) + L" " +
                                   std::to_wstring(c.message) + L" " + c.parameter + L" " + c.value;
      EXPECT_EQ(testing::RunAndWaitPumping(command, 30000), std::optional<DWORD>(0)) << command;
      EXPECT_TRUE(::IsWindow(hwnd));
      EXPECT_EQ(window.status_text(), L"from this process") << command;
      EXPECT_FALSE(::IsWindowVisible(::FindWindowW(nullptr, kPushPopupTitle))) << command;
    }
  });
}

TEST_F(HostWindowTest, WatchdogNoEndsTheRun) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  DialogAnswerer no(std::wstring(kTitle) + kSlowPageCaption, IDNO);
  bool ended_by_watchdog = false;
  DriveModal([&] { return window.Run(); },
             [&] {
               ::SendMessageW(window.hwnd(), WM_TIMER, CDlgMostSimple::kWatchdogTimer, 0);
               // The answer posted the quit; the modal loop ends the window.
               ended_by_watchdog = QuitRequested();
             },
             [] {});
  EXPECT_TRUE(ended_by_watchdog);
  ASSERT_EQ(no.Seen().size(), 1u);
  EXPECT_EQ(no.Seen()[0].text, kSlowPageText);
}

// The watchdog's own timer, shortened: it asks by itself, and "wait" asks
// again after the next wait. The program's 30 s run in the end-to-end tests.
TEST_F(HostWindowTest, WatchdogAsksByItselfAndAgainAfterWaiting) {
  HostWindowTimings timings;
  timings.watchdog_first_ms = 100;
  timings.watchdog_next_ms = 100;
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_, timings);
  DialogAnswerer wait(std::wstring(kTitle) + kSlowPageCaption, IDYES);
  RunWindow(window, [&] {
    EXPECT_TRUE(PumpUntil([&] { return wait.Seen().size() >= 2; }, 20000));
    EXPECT_FALSE(QuitRequested());
  });
  EXPECT_GE(wait.Seen().size(), 2u);
}

TEST_F(HostWindowTest, ProgressWhileAWaitingBoxIsOpenAnswersItYes) {
  // The page's own document closes the slow-page box; its first heartbeat the slow-content box.
  struct Case {
    const wchar_t* caption_suffix;
    bool document_first;
    std::function<void(CDlgMostSimple&)> progress;
    int phase_after;
  } cases[] = {
      {kSlowPageCaption, false, [](CDlgMostSimple& w) { w.OnDocumentComplete(w.page_url()); },
       load_phase::kDocumentComplete},
      {kSlowContentCaption, true,
       [](CDlgMostSimple& w) { w.HandleHostCommand(L"about:blank?Type=heartbeat&id=preinitialize"); },
       load_phase::kPreinitialize},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption_suffix);
    SetQuitRequested(false);
    CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
    RunWindow(window, [&] {
      if (c.document_first) window.OnDocumentComplete(window.page_url());
      const std::wstring caption = std::wstring(kTitle) + c.caption_suffix;
      bool box_was_open = false, box_closed = false;
      AfterDelay(500, [&] {
        box_was_open = ::FindWindowW(nullptr, caption.c_str()) != nullptr;
        c.progress(window);
        HWND left = ::FindWindowW(nullptr, caption.c_str());
        box_closed = left == nullptr || !::IsWindowVisible(left);
        if (!box_closed) ::EndDialog(left, IDNO);  // so a failure cannot hang the test
      });
      ::SendMessageW(window.hwnd(), WM_TIMER, CDlgMostSimple::kWatchdogTimer, 0);
      EXPECT_TRUE(box_was_open);
      EXPECT_TRUE(box_closed);
      EXPECT_EQ(window.load_phase(), c.phase_after);
      EXPECT_FALSE(QuitRequested()) << "the box closed as Yes: the watchdog waits on";
    });
  }
}

TEST_F(HostWindowTest, DamagedContentBoxIsSkippedWhenTheFirstPageArrives) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RunWindow(window, [&] {
    window.HandleHostCommand(L"about:blank?Type=heartbeat&id=applicationComplete");
    std::wstring seen_text;
    AfterDelay(500, [&] {
      HWND box = ::FindWindowW(nullptr, (std::wstring(kTitle) + kDamagedContentCaption).c_str());
      if (box) seen_text = testing::MessageBoxText(box);
      window.HandleHostCommand(L"about:blank?Type=heartbeat&id=firstPageLoaded");
    });
    ::SendMessageW(window.hwnd(), WM_TIMER, CDlgMostSimple::kWatchdogTimer, 0);
    EXPECT_TRUE(Contains(seen_text, L"4711")) << "the box names the book";
    EXPECT_EQ(window.load_phase(), load_phase::kFirstPageLoaded);
    EXPECT_FALSE(QuitRequested());
  });
}

TEST_F(HostWindowTest, DamagedContentBoxAnsweredEndsTheRun) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  DialogAnswerer ok(std::wstring(kTitle) + kDamagedContentCaption, IDOK);
  DriveModal([&] { return window.Run(); },
             [&] {
               window.HandleHostCommand(L"about:blank?Type=heartbeat&id=applicationComplete");
               ::SendMessageW(window.hwnd(), WM_TIMER, CDlgMostSimple::kWatchdogTimer, 0);
             },
             [] {});
  EXPECT_EQ(ok.Seen().size(), 1u);
  EXPECT_TRUE(QuitRequested());
}

TEST_F(HostWindowTest, DocumentCompleteOfThePageItselfOnlyMovesThePhase) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RunWindow(window, [&] {
    // Wine's control never completes a document, so the event comes through the sink's own entry.
    BrowserEvents& events = window;
    events.OnDocumentComplete(L"about:blank#frame");
    EXPECT_EQ(window.load_phase(), 0);
    events.OnDocumentComplete(window.page_url());
    EXPECT_EQ(window.load_phase(), load_phase::kDocumentComplete);
  });
}

// Stands in for the document the control makes active, which Wine's control
// (without an HTML engine) never does: it takes Tab and the clipboard keys.
class KeyTaker final : public IOleInPlaceActiveObject {
 public:
  STDMETHODIMP QueryInterface(REFIID id, void** out) override {
    *out = nullptr;
    if (id != IID_IUnknown && id != IID_IOleWindow && id != IID_IOleInPlaceActiveObject) return E_NOINTERFACE;
    *out = static_cast<IOleInPlaceActiveObject*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = nullptr;
    return E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG message) override {
    offered.push_back(message->wParam);
    return message->wParam == VK_TAB || message->wParam == 'C' ? S_OK : S_FALSE;
  }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  std::vector<WPARAM> offered;

 private:
  std::atomic<ULONG> references_{1};
};

// Makes `object` the control's active object the way the control does: through
// the frame its in-place site hands out.
bool MakeActive(WebBrowserHost& host, IOleInPlaceActiveObject* object) {
  IOleObject* control = nullptr;
  if (!host.browser() || FAILED(host.browser()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&control))))
    return false;
  IOleClientSite* client = nullptr;
  IOleInPlaceSite* site = nullptr;
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* document = nullptr;
  RECT position, clip;
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  bool made = SUCCEEDED(control->GetClientSite(&client)) && client &&
              SUCCEEDED(client->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))) &&
              SUCCEEDED(site->GetWindowContext(&frame, &document, &position, &clip, &info)) && frame &&
              SUCCEEDED(frame->SetActiveObject(object, L"page"));
  for (IUnknown* held : std::initializer_list<IUnknown*>{document, frame, site, client, control}) {
    if (held) held->Release();
  }
  return made;
}

// The modal loop offers every key meant for the page to the page first; what
// the page takes goes no further, and keys of other windows are not offered.
TEST_F(HostWindowTest, KeysInsideThePageGoToThePageFirst) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  KeyTaker* taker = new KeyTaker;
  std::vector<WPARAM> field_got;
  bool made_active = false;
  static std::vector<WPARAM>* field_keys = nullptr;
  field_keys = &field_got;
  struct Field {
    static LRESULT CALLBACK Proc(HWND field, UINT message, WPARAM wparam, LPARAM lparam) {
      if (message == WM_KEYDOWN && field_keys) field_keys->push_back(wparam);
      return ::DefWindowProcW(field, message, wparam, lparam);
    }
  };
  WNDCLASSW field_class{};
  field_class.lpfnWndProc = &Field::Proc;
  field_class.lpszClassName = L"TarvolinPageField";
  ::RegisterClassW(&field_class);
  DriveModal([&] { return window.Run(); },
             [&] {
               HWND frame = window.browser().frame();
               if (!frame) return window.EndDialog(0);
               // A window inside the frame, where the page's field would have the focus.
               HWND field = ::CreateWindowExW(0, L"TarvolinPageField", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20,
                                              frame, nullptr, nullptr, nullptr);
               made_active = MakeActive(window.browser(), taker);
               // Through the window's own loop, as a person's keys come.
               for (WPARAM key : {WPARAM{VK_TAB}, WPARAM{'C'}, WPARAM{VK_DELETE}})
                 ::PostMessageW(field, WM_KEYDOWN, key, 0);
               ::PostMessageW(window.hwnd(), WM_KEYDOWN, 'Q', 0);
               AfterDelay(300, [&] { window.EndDialog(0); });
             },
             [] {});
  field_keys = nullptr;
  EXPECT_TRUE(made_active);
  EXPECT_EQ(taker->offered, (std::vector<WPARAM>{VK_TAB, 'C', VK_DELETE})) << "the page was not offered its keys";
  EXPECT_EQ(field_got, std::vector<WPARAM>{VK_DELETE}) << "what the page takes goes no further";
  taker->Release();
}

// The restored window has no caption and no visible frame, but its edges size
// it: the system's own size loop, started on the right edge, follows the
// pointer until the button comes up.
TEST_F(HostWindowTest, TheRestoredWindowIsSizedByDraggingItsEdge) {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, no_actions_);
  RECT before{}, after{};
  LRESULT edge_code = 0;
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=restoreWindows"));
    ::GetWindowRect(hwnd, &before);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, before.right - before.left) << "the frame takes no room";
    // Wine's loop sizes any window; Windows' only one with a sizing frame.
    EXPECT_TRUE(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_THICKFRAME);
    const POINT edge{before.right - 2, (before.top + before.bottom) / 2};
    edge_code = ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(edge.x, edge.y));
    // The button goes down on the edge; the system's size loop then follows
    // the pointer 100 pixels to the right until the button comes up. The loop
    // dispatches the timers that move the pointer.
    ::SetCursorPos(edge.x, edge.y);
    bool released = false;
    AfterDelay(200, [hwnd, edge] {
      ::SetCursorPos(edge.x + 100, edge.y);
      ::PostMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, 0);
    });
    AfterDelay(400, [hwnd, &released] {
      ::PostMessageW(hwnd, WM_LBUTTONUP, 0, 0);
      released = true;
    });
    // Should the loop miss the button, Escape ends it with the size it had.
    AfterDelay(5000, [hwnd] { ::PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0); });
    ::PostMessageW(hwnd, WM_NCLBUTTONDOWN, edge_code, MAKELPARAM(edge.x, edge.y));
    // The loop runs inside the dispatch of the press and ends at the button's message.
    PumpUntil([&] { return released; }, 10000);
    ::GetWindowRect(hwnd, &after);
  });
  EXPECT_EQ(edge_code, HTRIGHT);
  EXPECT_EQ(after.right - after.left, before.right - before.left + 100)
      << "from (" << before.left << "," << before.top << ")-(" << before.right << "," << before.bottom << ") to ("
      << after.left << "," << after.top << ")-(" << after.right << "," << after.bottom << "), screen "
      << ::GetSystemMetrics(SM_CXSCREEN);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
}

}  // namespace
}  // namespace tarvolin
