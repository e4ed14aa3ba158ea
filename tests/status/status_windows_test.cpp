// The status protocol across processes: a host program in another process
// registers nothing itself; this test process registers its window, as the
// updater does, and reads back what the host received.
#include "status/status_windows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "common/process_state.h"
#include "config/log.h"
#include "config/settings.h"
#include "status/status_protocol.h"
#include "status/update_status.h"
#include "status_host_commands.h"
#include "status_host_process.h"
#include "support/temp_folder.h"
#include "common/window_texts.h"

namespace tarvolin {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::StatusHostProcess;
namespace sp = status_protocol;
namespace host = testing::status_host;

INT_PTR Property(HWND window, const wchar_t* name) { return reinterpret_cast<INT_PTR>(::GetPropW(window, name)); }

class StatusWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunParameters().Clear();
    SetConfigurationFolder(config_.path() + L"\\");
    testing::WriteTextFile(config_ / L"tarvolin.ini", L"[Tarvolin]\r\n");
    ASSERT_NE(host_.window(), nullptr) << "the host program did not start";
  }
  void TearDown() override {
    ReleaseStatusWindows();
    SetRecordsToUpdate(0);
    RunParameters().Clear();
  }

  testing::TempFolder config_;
  StatusHostProcess host_;
  // As the application sets it at start-up.
  ScopedLogSink log_to_status_windows_{&SendLogLineToStatusWindows};
};

TEST_F(StatusWindowsTest, StatusChangesAndProgressArriveInOrderWithCounts) {
  RegisterStatusWindow(host_.window());
  EXPECT_EQ(Property(host_.window(), sp::kNeedMessagesProperty), 1974);

  SetRecordsToUpdate(40);
  SetStatus(UpdateCheckRemote, nullptr);
  SetStatus(UpdateCheckRemoteOk, nullptr);
  SetStatus(UpdateDownload, nullptr);
  SendFileProgressToStatusWindows(3, 40);
  SendTransferProgressToStatusWindows(100000, 4096);
  SetRecordsToUpdate(39);
  SetStatus(UpdateDownloadOk, nullptr);
  SetStatus(UpdateEnd, nullptr);

  EXPECT_THAT(host_.Records(), ElementsAre(L"1974|1|40", L"1974|3|40", L"1974|4|40", L"1976|3|40",
                                           L"1978|100000|4096", L"1974|6|39", L"1974|13|39"));
  EXPECT_EQ(Property(host_.window(), sp::kStatusProperty), UpdateEnd);
  EXPECT_EQ(Property(host_.window(), sp::kFileCountProperty), 39);
  EXPECT_EQ(CurrentStatus(), UpdateEnd);
}

TEST_F(StatusWindowsTest, RegisteringTwiceDoesNotDoubleTheMessages) {
  RegisterStatusWindow(host_.window());
  RegisterStatusWindow(host_.window());
  SetStatus(UpdateCopy, nullptr);
  EXPECT_THAT(host_.Records(), ElementsAre(L"1974|10|0"));
}

TEST_F(StatusWindowsTest, HostWithoutNeedMessagesKeepsPropertiesAndTheMessagesForEveryWindow) {
  RegisterStatusWindow(host_.window());
  host_.Tell(host::kRemoveNeedMessages);
  SetRecordsToUpdate(7);

  SetStatus(UpdateCopy, nullptr);
  SendFileProgressToStatusWindows(1, 7);
  SendToStatusWindows(sp::kStatusDescriptionMessage, L"What is new");
  SendTransferProgressToStatusWindows(10, 5);
  WriteLog(L"copying");

  // Status, file progress and description need the property; progress and log lines do not.
  EXPECT_THAT(host_.Records(), ElementsAre(L"1978|10|5", L"1975|copying"));
  EXPECT_EQ(Property(host_.window(), sp::kStatusProperty), UpdateCopy);
  EXPECT_EQ(Property(host_.window(), sp::kFileCountProperty), 7);
}

TEST_F(StatusWindowsTest, LogLinesArriveWithoutTheConfigurationFolderAndCutToTheBuffer) {
  RegisterStatusWindow(host_.window());
  const std::wstring long_line(3000, L'L');

  WriteLog(L"Copied " + ConfigurationFolder() + L"book\\a.dll");
  WriteLog(long_line);
  WriteLog(L"short after long");  // nothing of the long line may show through
  WriteLog(L"");

  EXPECT_THAT(host_.Records(), ElementsAre(L"1975|Copied book\\a.dll", L"1975|" + std::wstring(1023, L'L'),
                                           L"1975|short after long", L"1975|"));
}

TEST_F(StatusWindowsTest, DescriptionArrivesWholeAndOnlyWhenNotEmpty) {
  RegisterStatusWindow(host_.window());
  // 2048 characters fill a page exactly: the text must still end where it ends.
  const std::wstring page_sized(2048, L'd');
  const std::wstring longer = std::wstring(5000, L'e') + L"\u4e2d\u6587";

  SendToStatusWindows(sp::kStatusDescriptionMessage, L"");
  SendToStatusWindows(sp::kStatusDescriptionMessage, L"Version 2: new chapters");
  SendToStatusWindows(sp::kStatusDescriptionMessage, page_sized);
  SendToStatusWindows(sp::kStatusDescriptionMessage, longer);
  SendToStatusWindows(sp::kStatusChangedMessage, L"not a text message");

  EXPECT_THAT(host_.Records(),
              ElementsAre(L"1977|Version 2: new chapters", L"1977|" + page_sized, L"1977|" + longer));
}

TEST_F(StatusWindowsTest, StatusTextsLoseTheMarkerAndCarryTheProgress) {
  RegisterStatusWindow(host_.window());
  SendStatusText(host_.window(), L"Unpack{zip}{process} a.zip", 50);
  SendStatusText(host_.window(), L"Checking", sp::kNoProgress);
  SendStatusText(host_.window(), std::wstring(1500, L's'), 1);
  EXPECT_THAT(host_.Records(),
              ElementsAre(L"1034|Unpack a.zip|50", L"1034|Checking|-1", L"1034|" + std::wstring(1023, L's') + L"|1"));
}

TEST_F(StatusWindowsTest, UnregisteredWindowOfAnotherProcessGetsNoForeignAddress) {
  SendStatusText(host_.window(), L"continue update as administrator", sp::kNoProgress);
  EXPECT_THAT(host_.Records(), ElementsAre(L"1034|<none>|-1"));
}

TEST_F(StatusWindowsTest, PausedHostHoldsTheRunUntilThePropertyGoes) {
  host_.Tell(host::kSetPaused);
  std::atomic<bool> returned{false};
  bool end_run = true;
  std::thread run([&] {
    end_run = WaitWhileHostPaused(host_.window());
    returned = true;
  });
  ::Sleep(700);
  EXPECT_FALSE(returned) << "the run went on while the host was paused";
  host_.Tell(host::kClearPaused);
  run.join();
  EXPECT_FALSE(end_run);
  EXPECT_FALSE(WaitWhileHostPaused(host_.window()));
}

TEST_F(StatusWindowsTest, HostWindowThatDisappearsEndsTheRunOnlyWhenItAskedFor) {
  // Asked, and the window goes while the run is paused. The request is seen at
  // a pause point first, so the outcome does not hang on when the thread starts.
  host_.Tell(host::kSetExitWhenKilled);
  EXPECT_FALSE(WaitWhileHostPaused(host_.window()));
  host_.Tell(host::kSetPaused);
  bool end_run = false;
  std::thread run([&] { end_run = WaitWhileHostPaused(host_.window()); });
  ASSERT_TRUE(host_.Quit());
  run.join();
  EXPECT_TRUE(end_run);
  EXPECT_TRUE(WaitWhileHostPaused(host_.window())) << "the request is remembered at later pause points";

  // Asked, and the window goes between two pause points.
  StatusHostProcess second;
  ASSERT_NE(second.window(), nullptr);
  second.Tell(host::kSetExitWhenKilled);
  EXPECT_FALSE(WaitWhileHostPaused(second.window()));
  ASSERT_TRUE(second.Quit());
  EXPECT_TRUE(WaitWhileHostPaused(second.window()));

  // Never asked: a vanished host does not end the run.
  StatusHostProcess third;
  ASSERT_NE(third.window(), nullptr);
  EXPECT_FALSE(WaitWhileHostPaused(third.window()));
  ASSERT_TRUE(third.Quit());
  EXPECT_FALSE(WaitWhileHostPaused(third.window()));
  EXPECT_FALSE(WaitWhileHostPaused(nullptr));
}

TEST_F(StatusWindowsTest, ReleasedRegistrationsReceiveNothing) {
  RegisterStatusWindow(host_.window());
  ReleaseStatusWindows();
  EXPECT_FALSE(IsStatusWindow(host_.window()));
  SetStatus(UpdateCheckRemote, nullptr);
  WriteLog(L"after release");
  EXPECT_THAT(host_.Records(), IsEmpty());
}

// A status window of this process receives the sender's own texts.
class LocalStatusWindow {
 public:
  LocalStatusWindow() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &LocalStatusWindow::Procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TarvolinLocalStatusWindow";
    ::RegisterClassW(&window_class);
    window_ = ::CreateWindowW(window_class.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              window_class.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~LocalStatusWindow() { ::DestroyWindow(window_); }
  HWND window() const { return window_; }
  const std::vector<std::wstring>& records() const { return records_; }
  // Runs on this window's thread when a log line arrives.
  void OnLogLine(std::function<void()> action) { on_log_line_ = std::move(action); }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<LocalStatusWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      switch (message) {
        case sp::kStatusChangedMessage:
          self->records_.push_back(L"1974|" + std::to_wstring(wparam) + L"|" + std::to_wstring(lparam));
          return 0;
        case sp::kStatusLogMessage:
          self->records_.push_back(L"1975|" + std::wstring(reinterpret_cast<const wchar_t*>(wparam)));
          if (self->on_log_line_) self->on_log_line_();
          return 0;
        case sp::kStatusDescriptionMessage:
          self->records_.push_back(L"1977|" + std::wstring(reinterpret_cast<const wchar_t*>(lparam)));
          return 0;
        case sp::kStatusTextMessage:
          self->records_.push_back(L"1034|" + ParkedText(sp::kStatusTextMessage, wparam).value_or(L"(not parked)"));
          return 0;
      }
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  HWND window_ = nullptr;
  std::vector<std::wstring> records_;
  std::function<void()> on_log_line_;
};

TEST_F(StatusWindowsTest, WindowsOfThisProcessAndOfAnotherBothFollow) {
  LocalStatusWindow local;
  RegisterStatusWindow(local.window());
  RegisterStatusWindow(host_.window());
  SetRecordsToUpdate(2);

  SetStatus(UpdateCheckLocal, nullptr);
  WriteLog(L"Check " + ConfigurationFolder() + L"x.exe");
  SendToStatusWindows(sp::kStatusDescriptionMessage, L"notes");
  SendStatusText(local.window(), L"Local{zip}{process}", sp::kNoProgress);

  const std::vector<std::wstring> shared{L"1974|7|2", L"1975|Check x.exe", L"1977|notes"};
  EXPECT_THAT(host_.Records(), ElementsAreArray(shared));
  std::vector<std::wstring> local_expected = shared;
  local_expected.push_back(L"1034|Local");
  EXPECT_THAT(local.records(), ElementsAreArray(local_expected));
  EXPECT_EQ(Property(local.window(), sp::kStatusProperty), UpdateCheckLocal);
}

// At exit the registrations are freed while a helper thread that was given up
// may still be broadcasting a log line. The line it is sending must still
// reach every window it set out for, through buffers that are still there.
TEST_F(StatusWindowsTest, ReleasingAtExitLeavesALateSenderItsWindows) {
  LocalStatusWindow local;
  RegisterStatusWindow(local.window());
  RegisterStatusWindow(host_.window());
  // The exit comes while the late line is between the two windows.
  local.OnLogLine([] { ReleaseStatusWindows(); });

  std::atomic<bool> sent{false};
  std::thread late([&] {
    WriteLog(L"late line");
    sent = true;
  });
  // The local window lives on this thread: pump until the sender is through.
  for (int i = 0; i < 1000 && !sent; ++i) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  late.join();

  EXPECT_FALSE(IsStatusWindow(host_.window()));
  EXPECT_THAT(local.records(), ElementsAre(L"1975|late line"));
  EXPECT_THAT(host_.Records(), ElementsAre(L"1975|late line"));
}

}  // namespace
}  // namespace tarvolin
