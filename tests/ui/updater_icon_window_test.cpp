// The tray window as a real window: the first check runs against the test
// publisher, the window pops up near the tray, counts down on a clock the
// test moves, and the update it then runs installs the files.
#include "ui/updater_icon_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "check_fixture.h"
#include "common/files.h"
#include "status/status_protocol.h"
#include "status/update_status.h"
#include "window_driver.h"

namespace tarvolin {
namespace {

using testing::CheckTest;
using testing::DriveModal;
using testing::PumpUntil;

constexpr DWORD kWaitMs = 60000;
constexpr char kList[] = R"(<update><file path="a.dll" ver="2"/><file path="data\c.dat" ver="1"/></update>)";
constexpr char kInstalledList[] = R"(<update><file path="a.dll" ver="1"/></update>)";

struct FakeClock {
  std::atomic<std::int64_t> ms{1000000};
  std::atomic<std::int64_t> seconds{1700000000};
  void Advance(std::int64_t by_seconds) {
    ms += by_seconds * 1000;
    seconds += by_seconds;
  }
};

POINT CentreOf(const HotRect& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

class TrayWindowTest : public CheckTest {
 protected:
  void SetUp() override {
    CheckTest::SetUp();
    Publish("tarvolin.xml", kList);
    Publish("main.xml", "<update/>");
    Publish("a.dll", "new a");
    Publish("data/c.dat", "new c");
    WriteInstalledList(kInstalledList);
    ASSERT_TRUE(WriteWholeFile(config_ / L"a.dll", "old a"));
  }
  void Configure(const std::wstring& check_span_line) {
    config_.WriteIni(L"[Tarvolin]\r\nTempAppPath=1\r\nQuickCheck=0\r\n" + check_span_line +
                     L"[UPDATEINFO]\r\nListURL=" + UrlOf("tarvolin.xml") + L"\r\nMainListURL=" + UrlOf("main.xml") +
                     L"\r\n[APPLICATION]\r\nApplication=book.exe\r\nEBookID=77\r\nName=TrayBook\r\n");
  }
  CDlgUpdaterIcon::Procedures WithClock(CDlgUpdaterIcon::Procedures procedures) {
    procedures.steady_ms = [this] { return clock_.ms.load(); };
    procedures.unix_seconds = [this] { return clock_.seconds.load(); };
    return procedures;
  }
  void Run(CDlgUpdaterIcon& window, const std::function<void()>& script) {
    DriveModal([&] { return window.DoModal(nullptr); }, script, [&] {
      if (window.hwnd()) window.EndDialog(IDCANCEL);
    });
  }
  static void Tick(CDlgUpdaterIcon& window) {
    ::SendMessageW(window.hwnd(), WM_TIMER, CDlgUpdaterIcon::kTimerId, 0);
  }
  static void Click(CDlgUpdaterIcon& window, const wchar_t* area) {
    // The links' areas are measured as they are drawn.
    ::RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    auto found = window.hot_areas().find(area);
    ASSERT_NE(found, window.hot_areas().end()) << "no hot area " << testing::Narrow(area);
    POINT at = CentreOf(found->second);
    ::SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  }
  static bool PoppedUp(CDlgUpdaterIcon& window) {
    return ::IsWindowVisible(window.hwnd()) && window.countdown() == kCountdownSeconds;
  }

  FakeClock clock_;
};

TEST_F(TrayWindowTest, FindsTwoFilesPopsUpCountsDownAndInstallsThem) {
  Configure(L"CheckTmSpan=5\r\n");
  CDlgUpdaterIcon window(WithClock(CDlgUpdaterIcon::RealProcedures()));
  Run(window, [&] {
    ASSERT_TRUE(PumpUntil([&] { return PoppedUp(window) && !window.checking(); }, kWaitMs));
    EXPECT_EQ(window.status_text(), L"Found 2 files need to update...");
    EXPECT_EQ(window.TrayTipText(), L"[TrayBook]\nFound 2 files need to update...");
    RECT placed{};
    ::GetWindowRect(window.hwnd(), &placed);
    EXPECT_EQ(placed.right - placed.left, 219);
    EXPECT_EQ(placed.bottom - placed.top, 141);
    EXPECT_EQ(placed.left, ::GetSystemMetrics(SM_CXSCREEN) - 219 - 5);
    EXPECT_EQ(placed.top, ::GetSystemMetrics(SM_CYSCREEN) - 141 - 45);

    clock_.Advance(60);
    Tick(window);
    EXPECT_EQ(window.countdown(), 60);
    EXPECT_FALSE(window.updating());
    clock_.Advance(60);
    Tick(window);
    EXPECT_TRUE(window.updating());
    EXPECT_FALSE(::IsWindowVisible(window.hwnd()));
    EXPECT_EQ(window.status_text(), L"updater is running...");
    ASSERT_TRUE(PumpUntil([&] { return !window.updating(); }, kWaitMs));
    EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("new a"));
    EXPECT_EQ(ReadWholeFile(config_ / L"data\\c.dat"), std::optional<std::string>("new c"));
    // With periodic checks the window stays and shows itself again.
    EXPECT_TRUE(::IsWindowVisible(window.hwnd()));

    // Five minutes later the next check starts by itself.
    clock_.Advance(299);
    Tick(window);
    EXPECT_FALSE(window.checking());
    clock_.Advance(1);
    Tick(window);
    EXPECT_TRUE(window.checking());
    ASSERT_TRUE(PumpUntil([&] { return !window.checking(); }, kWaitMs));
    EXPECT_EQ(window.status_text(), L"Find nothing to update.");
    window.EndDialog(IDCANCEL);
  });
}

TEST_F(TrayWindowTest, CancelStopsTheCountdownAndAPlacedWindowStaysWhereItWas) {
  Configure(L"CheckTmSpan=5\r\n");
  std::atomic<int> updates{0};
  auto procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
  procedures.update = [&](HWND, const StopSignal&) { ++updates; };
  CDlgUpdaterIcon window(procedures);
  Run(window, [&] {
    ASSERT_TRUE(PumpUntil([&] { return PoppedUp(window) && !window.checking(); }, kWaitMs));
    ::SetWindowPos(window.hwnd(), nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SendMessageW(window.hwnd(), status_protocol::kStatusChangedMessage, 3, 2);  // found again
    RECT rect{};
    ::GetWindowRect(window.hwnd(), &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 120);

    clock_.Advance(10);
    Tick(window);
    EXPECT_EQ(window.countdown(), 110);
    Click(window, L"cancel");
    EXPECT_EQ(window.countdown(), -1);
    clock_.Advance(200);
    Tick(window);
    EXPECT_FALSE(window.updating());
    EXPECT_EQ(updates.load(), 0);
    EXPECT_TRUE(::IsWindowVisible(window.hwnd()));  // cancelled, not closed
    window.EndDialog(IDCANCEL);
  });
}

TEST_F(TrayWindowTest, ClicksOnCheckAndUpdateAreIgnoredWhileUpdating) {
  Configure(L"CheckTmSpan=5\r\n");
  std::atomic<int> updates{0}, checks{0};
  std::atomic<bool> release{false};
  CDlgUpdaterIcon::Procedures procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
  procedures.check = [&](HWND window) {
    ++checks;
    ::SendMessageW(window, status_protocol::kStatusChangedMessage, 3, 2);
  };
  // An update that lasts until the test lets it end.
  procedures.update = [&](HWND, const StopSignal&) {
    ++updates;
    while (!release) ::Sleep(10);
  };
  CDlgUpdaterIcon window(procedures);
  // Lets the held update end even when an assertion leaves the script early,
  // before the window's end waits for it.
  struct Release {
    std::atomic<bool>& flag;
    ~Release() { flag = true; }
  } release_at_end{release};
  Run(window, [&] {
    ASSERT_TRUE(PumpUntil([&] { return PoppedUp(window) && !window.checking(); }, kWaitMs));
    Click(window, L"update");
    EXPECT_TRUE(window.updating());
    ::ShowWindow(window.hwnd(), SW_SHOWNA);  // so its links can be hit while the update runs
    Click(window, L"update");
    Click(window, L"check");
    EXPECT_EQ(checks.load(), 1);
    EXPECT_FALSE(window.checking());
    release = true;
    ASSERT_TRUE(PumpUntil([&] { return !window.updating(); }, kWaitMs));
    EXPECT_EQ(updates.load(), 1);
    // Once it is over, "check" works again.
    Click(window, L"check");
    ASSERT_TRUE(PumpUntil([&] { return checks.load() == 2 && !window.checking(); }, kWaitMs));
    window.EndDialog(IDCANCEL);
  });
}

// A check that finds two files at once the first time and is held by the
// test every later time; it reports whether an update ran while it did.
struct HeldChecks {
  std::atomic<int> checks{0}, updates{0};
  std::atomic<bool> checking{false}, release{false}, overlapped{false};
  void Into(CDlgUpdaterIcon::Procedures& procedures) {
    procedures.check = [this](HWND window) {
      checking = true;
      if (checks++ > 0) {
        for (int waited = 0; !release && waited < 60000; waited += 10) ::Sleep(10);
      }
      ::SendMessageW(window, status_protocol::kStatusChangedMessage, 3, 2);
      checking = false;
    };
    procedures.update = [this](HWND, const StopSignal&) {
      if (checking) overlapped = true;
      ++updates;
    };
  }
  // The held check ends even when an assertion leaves the script early, and
  // is over before what it uses goes.
  ~HeldChecks() {
    release = true;
    for (int waited = 0; checking && waited < 10000; waited += 10) ::Sleep(10);
  }
};

// An update asked for while a check runs (by the link, or by the countdown
// reaching 0) waits for the check: the check would delete the list under it.
TEST_F(TrayWindowTest, AnUpdateAskedForDuringACheckStartsAfterIt) {
  Configure(L"CheckTmSpan=1\r\n");
  for (const bool by_countdown : {true, false}) {
    SCOPED_TRACE(by_countdown ? "the countdown reaches 0" : "the update link");
    HeldChecks held;
    CDlgUpdaterIcon::Procedures procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
    held.Into(procedures);
    CDlgUpdaterIcon window(procedures);
    Run(window, [&] {
      ASSERT_TRUE(PumpUntil([&] { return PoppedUp(window) && !window.checking(); }, kWaitMs));
      clock_.Advance(60);  // a minute: the periodic check starts, and is held
      Tick(window);
      ASSERT_TRUE(window.checking());
      ASSERT_TRUE(PumpUntil([&] { return held.checks.load() == 2; }, kWaitMs));
      if (by_countdown) {
        clock_.Advance(60);
        Tick(window);
      } else {
        Click(window, L"update");
      }
      EXPECT_TRUE(window.updating());
      testing::PumpFor(200);
      EXPECT_EQ(held.updates.load(), 0) << "no update while the check runs";
      held.release = true;
      ASSERT_TRUE(PumpUntil([&] { return held.updates.load() == 1 && !window.updating(); }, kWaitMs));
      EXPECT_FALSE(held.overlapped);
      // No check starts during an update either: the periodic one waits.
      EXPECT_EQ(held.checks.load(), 2);
      window.EndDialog(IDCANCEL);
    });
  }
}

// "Exit" while a check waits for the server ends the program at once; the
// check's time-outs are not waited for.
TEST_F(TrayWindowTest, ExitDuringACheckDoesNotWaitForIt) {
  Configure(L"CheckTmSpan=5\r\n");
  std::atomic<bool> release{false}, window_gone{false}, exit_chosen{false}, check_over{false};
  auto procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
  procedures.check = [&](HWND) {
    for (int waited = 0; !release && waited < 60000; waited += 10) ::Sleep(10);
    check_over = true;  // the last thing it touches of this test
  };
  std::thread owner([&] {
    {
      CDlgUpdaterIcon window(procedures);
      DriveModal([&] { return window.DoModal(nullptr); },
                 [&] {
                   if (!PumpUntil([&] { return window.checking(); }, kWaitMs)) return;
                   ::SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(CDlgUpdaterIcon::kMenuExit, 0), 0);
                   exit_chosen = window.ended();
                 },
                 [&] {
                   if (window.hwnd()) window.EndDialog(IDCANCEL);
                 });
    }
    window_gone = true;
  });
  bool gone_while_checking = false;
  for (int waited = 0; waited < 20000 && !(gone_while_checking = window_gone); waited += 20) ::Sleep(20);
  release = true;
  owner.join();
  for (int waited = 0; !check_over && waited < 10000; waited += 10) ::Sleep(10);
  EXPECT_TRUE(exit_chosen);
  EXPECT_TRUE(gone_while_checking) << "the window waited for the check";
}

// The links are placed when the state changes, not when the window paints:
// a click reaches them in a window that has never painted.
TEST_F(TrayWindowTest, LinksAnswerClicksBeforeTheWindowHasPainted) {
  Configure(L"CheckTmSpan=5\r\n");
  const struct {
    const wchar_t* area;
    bool counting_down;
  } cases[] = {{L"update", false}, {L"check", false}, {L"cancel", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Narrow(c.area));
    std::atomic<int> updates{0};
    auto procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
    procedures.check = [](HWND) {};
    procedures.update = [&](HWND, const StopSignal&) { ++updates; };
    CDlgUpdaterIcon window(procedures);
    // Made but never shown, and no message of its queue is dispatched until
    // the click: nothing has painted it.
    ASSERT_TRUE(window.CreateModeless(nullptr));
    ASSERT_FALSE(::IsWindowVisible(window.hwnd()));
    if (c.counting_down) {
      // A check found files and ended: the countdown runs, the window is still hidden.
      ::SendMessageW(window.hwnd(), status_protocol::kStatusChangedMessage, 3, 2);
      ::ShowWindow(window.hwnd(), SW_HIDE);
      ::SendMessageW(window.hwnd(), CDlgUpdaterIcon::kCheckEnded, 0, 0);
      ASSERT_EQ(window.countdown(), kCountdownSeconds);
    }
    const auto found = window.hot_areas().find(c.area);
    ASSERT_TRUE(found != window.hot_areas().end()) << "no link placed before any painting";
    const HotRect placed = found->second;
    const POINT at = CentreOf(placed);
    ::SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    if (c.counting_down) {
      EXPECT_EQ(window.countdown(), -1);
      EXPECT_FALSE(window.updating());
    } else {
      EXPECT_EQ(window.updating(), std::wstring(c.area) == L"update");
      EXPECT_EQ(window.checking(), std::wstring(c.area) == L"check");
    }
    if (!c.counting_down) {
      // Painting later draws the links where the layout put them.
      ::ShowWindow(window.hwnd(), SW_SHOWNA);
      ::RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      EXPECT_EQ(window.hot_areas().at(c.area), placed);
    }
    ASSERT_TRUE(PumpUntil([&] { return !window.updating() && !window.checking(); }, kWaitMs));
    EXPECT_EQ(updates.load(), std::wstring(c.area) == L"update" ? 1 : 0);
    window.EndDialog(IDCANCEL);
  }
}

// "Exit" while an update runs ends the window; the update is asked to stop
// after its current stage, and the window's end waits for that.
TEST_F(TrayWindowTest, ExitDuringAnUpdateStopsItAndWaitsForIt) {
  Configure(L"CheckTmSpan=5\r\n");
  std::atomic<bool> updating{false}, stop_seen{false}, update_over{false};
  auto procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
  procedures.check = [](HWND window) { ::SendMessageW(window, status_protocol::kStatusChangedMessage, 3, 2); };
  // A stage that lasts until the update is asked to stop, or a minute.
  procedures.update = [&](HWND, const StopSignal& stop) {
    updating = true;
    stop_seen = stop.WaitFor(60000);
    update_over = true;
  };
  bool exit_chosen = false;
  {
    CDlgUpdaterIcon window(procedures);
    Run(window, [&] {
      ASSERT_TRUE(PumpUntil([&] { return PoppedUp(window) && !window.checking(); }, kWaitMs));
      Click(window, L"update");
      ASSERT_TRUE(PumpUntil([&] { return updating.load(); }, kWaitMs));
      ::SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(CDlgUpdaterIcon::kMenuExit, 0), 0);
      exit_chosen = window.ended();
    });
  }
  EXPECT_TRUE(exit_chosen);
  EXPECT_TRUE(update_over) << "the window's end did not wait for the update";
  EXPECT_TRUE(stop_seen) << "the update was not asked to stop";
}

TEST_F(TrayWindowTest, WithoutCheckSpanTheRunEndsAfterACheckThatFoundNothing) {
  WriteInstalledList(kList);  // everything is installed already
  Configure(L"");
  CDlgUpdaterIcon window(WithClock(CDlgUpdaterIcon::RealProcedures()));
  bool ended_by_itself = false;
  Run(window, [&] {
    ended_by_itself = PumpUntil([&] { return window.ended(); }, kWaitMs);
  });
  EXPECT_TRUE(ended_by_itself);
  EXPECT_EQ(window.status_text(), L"Find nothing to update.");
}

TEST_F(TrayWindowTest, StatusTextsAndTip) {
  Configure(L"CheckTmSpan=5\r\n");
  CDlgUpdaterIcon::Procedures procedures = WithClock(CDlgUpdaterIcon::RealProcedures());
  procedures.check = [](HWND) {};
  CDlgUpdaterIcon window(procedures);
  Run(window, [&] {
    ASSERT_TRUE(PumpUntil([&] { return !window.checking() && window.check_state() == 0; }, kWaitMs));
    const struct {
      int state, files;
      const wchar_t* text;
    } cases[] = {
        {1, 0, L"Check update files"},
        {2, 0, L"Can't connection update server!"},
        {3, 0, L"Find nothing to update."},
        {3, 7, L"Found 7 files need to update..."},
        {9, 7, L""},
    };
    for (const auto& c : cases) {
      ::SendMessageW(window.hwnd(), status_protocol::kStatusChangedMessage, c.state, c.files);
      EXPECT_EQ(window.status_text(), c.text) << c.state;
      EXPECT_EQ(window.TrayTipText(), std::wstring(L"[TrayBook]\n") + c.text) << c.state;
    }
    // The tray menu's items and the icon's double click.
    ::SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(CDlgUpdaterIcon::kMenuShow, 0), 0);
    EXPECT_TRUE(::IsWindowVisible(window.hwnd()));
    ::SendMessageW(window.hwnd(), WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_FALSE(::IsWindowVisible(window.hwnd()));
    ::SendMessageW(window.hwnd(), CDlgUpdaterIcon::kTrayCallback, CDlgUpdaterIcon::kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsWindowVisible(window.hwnd()));
    // Hovering a link, then the close area.
    ::RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    POINT at = CentreOf(window.hot_areas().at(L"update"));
    ::SendMessageW(window.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(window.hover(), L"update");
    ::SendMessageW(window.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(200, 10));
    EXPECT_EQ(window.hover(), L"close");
    ::SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 10));
    EXPECT_FALSE(::IsWindowVisible(window.hwnd()));
    EXPECT_FALSE(window.ended());
    ::SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(CDlgUpdaterIcon::kMenuExit, 0), 0);
    EXPECT_TRUE(window.ended());
  });
}

}  // namespace
}  // namespace tarvolin
