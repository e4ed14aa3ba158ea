// The host window's update against the test publisher: the page's
// "loadComplete" starts the queue, the queue waits for other processes'
// windows, and the full worker runs the one update sequence.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "check_fixture.h"
#include "common/files.h"
#include "common/process_state.h"
#include "install/rights_list.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "ui/host_window_rules.h"
#include "ui/most_simple_window.h"
#include "window_driver.h"

namespace tarvolin {
namespace {

using testing::CheckTest;
using testing::DriveModal;
using testing::PumpFor;
using testing::PumpUntil;
using testing::ReportWindow;

constexpr char kList[] = R"(<update><file path="a.dll" ver="2"/><file path="data\c.dat" ver="1"/></update>)";
constexpr char kInstalledList[] = R"(<update><file path="a.dll" ver="1"/></update>)";

// The queue looks every 50 ms here; the program's own 5 s wait runs in the
// first test below.
HostWindowTimings ShortTimings() {
  HostWindowTimings timings;
  timings.queue_ms = 50;
  timings.retry_ms = 300;
  return timings;
}

int DownloadStatus(HWND window) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(window, kDownloadStatusProperty)));
}

// Another process's host window, holding "downloadStatus" as the test says.
class QueueHolder {
 public:
  explicit QueueHolder(int status) {
    std::wstring command = L"\"" + testing::BuildOutputFolder() + L"\\queue_holder.exe\" " + std::to_wstring(status);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
      return;
    ::CloseHandle(process_.hThread);
    for (int i = 0; i < 100 && !window_; ++i, ::Sleep(100))
      window_ = ::FindWindowW(kHostWindowClass, L"queue holder");
  }
  ~QueueHolder() {
    if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    if (process_.hProcess) {
      if (::WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(process_.hProcess, 1);
      ::CloseHandle(process_.hProcess);
    }
  }
  HWND window() const { return window_; }
  void Set(int status) { ::SendMessageW(window_, ::RegisterWindowMessageW(L"queue_holder.set"), status, 0); }
  void Close() {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
    window_ = nullptr;
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

class HostWindowUpdateTest : public CheckTest {
 protected:
  void SetUp() override {
    CheckTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    SetQuitRequested(false);
    WriteConfiguration();
    Publish("tarvolin.xml", kList);
    Publish("main.xml", "<update/>");
    Publish("a.dll", "new a");
    Publish("data/c.dat", "new c");
    WriteInstalledList(kInstalledList);
    ASSERT_TRUE(WriteWholeFile(config_ / L"a.dll", "old a"));
  }
  void TearDown() override {
    SetQuitRequested(false);
    ::OleUninitialize();
    CheckTest::TearDown();
  }

  void RunWindow(CDlgMostSimple& window, const std::function<void()>& script) {
    DriveModal([&] { return window.Run(); }, script, [&] {
      if (window.hwnd()) window.EndDialog(0);
    });
  }
};

// On the program's own timings: the queue's first look comes after 5 s.
TEST_F(HostWindowUpdateTest, LoadCompleteStartsTheFullUpdateAndTheWindowStays) {
  ReportWindow host;
  RegisterStatusWindow(host.get());
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {});
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    EXPECT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadRunning; }, 10000))
        << "the queue's first tick starts the update";
    EXPECT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadFinished; }, 60000));
    EXPECT_EQ(window.tip(), host_window_rules::kTipCached);
    EXPECT_TRUE(window.caching_finished());
    EXPECT_TRUE(::IsWindow(hwnd)) << "the reader goes on reading";
    EXPECT_EQ(::GetPropW(hwnd, L"tarvolin.needmsg"), nullptr) << "no more status messages after the end";
  });
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("new a"));
  EXPECT_EQ(ReadWholeFile(config_ / L"data\\c.dat"), std::optional<std::string>("new c"));
  for (int status : {UpdateCheckRemoteOk, UpdateDownloadOk, UpdateCheckLocalOk, UpdateCopyOk})
    EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), status), host.statuses.end()) << status;
}

// A download that fails in every pass: the reader must not be told that the
// book is cached, and a later pass of the queue tries again.
TEST_F(HostWindowUpdateTest, AFailedUpdateKeepsTheTipAndIsTriedAgain) {
  ASSERT_TRUE(testing::DeletePublishedFile(PathOf("data/c.dat")));
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {}, ShortTimings());
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    ASSERT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadRunning; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) != kDownloadRunning; }, 90000));
    EXPECT_EQ(DownloadStatus(hwnd), kDownloadIdle);
    EXPECT_FALSE(window.caching_finished());
    EXPECT_NE(window.tip(), host_window_rules::kTipCached);
    EXPECT_NE(window.tip(), host_window_rules::kTipQueued) << "the tip keeps the percent it reached";
    EXPECT_EQ(::GetPropW(hwnd, L"tarvolin.needmsg"), nullptr);
    EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("old a"));

    Publish("data/c.dat", "new c");
    EXPECT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadFinished; }, 90000))
        << "the queue tries again";
    EXPECT_EQ(window.tip(), host_window_rules::kTipCached);
    EXPECT_TRUE(window.caching_finished());
  });
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("new a"));
  EXPECT_EQ(ReadWholeFile(config_ / L"data\\c.dat"), std::optional<std::string>("new c"));
}

// The page may report its load again (a reload) while the update runs: the
// window keeps one worker, and the end of the update is still reported.
TEST_F(HostWindowUpdateTest, ASecondLoadCompleteDuringTheUpdateStartsNoSecondWorker) {
  ASSERT_TRUE(testing::SetFault("{\"path\": " + testing::JsonQuote(PathOf("data/c.dat")) +
                                ", \"fault\": \"stall\", \"seconds\": 3, \"times\": 1}"));
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {}, ShortTimings());
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    ASSERT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadRunning; }, 5000));
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    PumpFor(1000);  // many ticks of the queue while the download stalls
    EXPECT_EQ(DownloadStatus(hwnd), kDownloadRunning);
    EXPECT_NE(::GetPropW(hwnd, L"tarvolin.needmsg"), nullptr) << "the status messages still come";
    EXPECT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadFinished; }, 60000));
    EXPECT_EQ(window.tip(), host_window_rules::kTipCached);
  });
  EXPECT_EQ(ReadWholeFile(config_ / L"data\\c.dat"), std::optional<std::string>("new c"));
}

// A destination that needs administrator rights (a folder of the reader's
// stands where a file goes: opening it for writing is denied) hands the run to
// an elevated copy; this window then ends without claiming the cache.
TEST_F(HostWindowUpdateTest, FilesThatNeedAdministratorRightsRelaunchElevatedAndEnd) {
  ASSERT_TRUE(CreateDirectoryTree(config_ / L"data\\c.dat"));
  int relaunches = 0;
  int status_at_relaunch = -1;
  CDlgMostSimple* self = nullptr;
  HostWindowActions actions;
  actions.relaunch_elevated = [&] {
    ++relaunches;
    status_at_relaunch = DownloadStatus(self->hwnd());
    return true;
  };
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, actions, ShortTimings());
  self = &window;
  bool ended_itself = false;
  RunWindow(window, [&] {
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    ended_itself = PumpUntil([&] { return QuitRequested(); }, 60000);
    EXPECT_FALSE(window.caching_finished());
    EXPECT_NE(window.tip(), host_window_rules::kTipCached);
  });
  EXPECT_TRUE(ended_itself);
  EXPECT_EQ(relaunches, 1);
  EXPECT_EQ(status_at_relaunch, kDownloadIdle) << "the elevated copy must not wait for this window";
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("old a")) << "the elevated copy installs";
  RightsList().Clear();
}

TEST_F(HostWindowUpdateTest, QueueWaitsWhileAnotherProcessUpdatesAndStartsWhenItFinishes) {
  QueueHolder other(kDownloadRunning);
  ASSERT_NE(other.window(), nullptr);
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {}, ShortTimings());
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    PumpFor(500);  // several ticks of the queue
    EXPECT_EQ(DownloadStatus(hwnd), kDownloadIdle) << "the other window still updates";
    other.Set(kDownloadFinished);
    EXPECT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadFinished; }, 60000));
  });
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("new a"));
}

TEST_F(HostWindowUpdateTest, QueueStartsWhenTheUpdatingWindowCloses) {
  QueueHolder other(kDownloadRunning);
  ASSERT_NE(other.window(), nullptr);
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {}, ShortTimings());
  RunWindow(window, [&] {
    HWND hwnd = window.hwnd();
    ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
    PumpFor(500);
    EXPECT_EQ(DownloadStatus(hwnd), kDownloadIdle);
    other.Close();
    EXPECT_TRUE(PumpUntil([&] { return DownloadStatus(hwnd) == kDownloadFinished; }, 60000));
  });
}

TEST_F(HostWindowUpdateTest, CheckOnlyWindowEndsAfterTheCheckWithTheCount) {
  CDlgMostSimple window(CDlgMostSimple::kModeCheck, nullptr, {}, ShortTimings());
  bool ended_itself = false;
  DriveModal([&] { return window.Run(); },
             [&] {
               ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
               ended_itself = PumpUntil([&] { return QuitRequested(); }, 30000);
             },
             [&] {
               if (window.hwnd()) window.EndDialog(0);
             });
  EXPECT_TRUE(ended_itself);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  EXPECT_EQ(RecordsToUpdate(), 2);
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("old a")) << "a check changes no file";
}

TEST_F(HostWindowUpdateTest, AppEnterWindowAsksAfterTheCheckWithoutBlockingTheQueue) {
  bool asked = false;
  int status_while_asked = -1;
  HostWindowActions actions;
  CDlgMostSimple* self = nullptr;
  actions.prompt_and_update = [&] {
    asked = true;
    status_while_asked = DownloadStatus(self->hwnd());
  };
  CDlgMostSimple window(CDlgMostSimple::kModeAppEnter, nullptr, actions, ShortTimings());
  self = &window;
  DriveModal([&] { return window.Run(); },
             [&] {
               ASSERT_TRUE(window.HandleHostCommand(L"about:blank?Type=loadComplete"));
               PumpUntil([&] { return asked; }, 30000);
             },
             [&] {
               if (window.hwnd()) window.EndDialog(0);
             });
  EXPECT_TRUE(asked);
  EXPECT_NE(status_while_asked, kDownloadRunning) << "an update window opened by the question must not wait for this one";
}

}  // namespace
}  // namespace tarvolin
