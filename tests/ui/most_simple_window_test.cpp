// The e-book host window as a real window under Wine: made from its template,
// driven from inside its own message loop with the navigations, messages and
// answers that the page, the pipeline and a person would give it.
#include "ui/most_simple_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

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

}  // namespace
}  // namespace tarvolin
