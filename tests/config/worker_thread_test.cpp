// The worker thread: what its owner's end does with a run still going, the
// catch-all and its log line, and the end notice that comes whatever happened.
#include "config/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/log.h"

namespace tarvolin {
namespace {

constexpr DWORD kLongMs = 30000;

std::mutex g_lines_guard;
std::vector<std::wstring> g_lines;
void KeepLine(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(g_lines_guard);
  g_lines.push_back(text);
}

// A run that lasts until it is asked to stop or the test releases it.
struct HeldRun {
  std::atomic<bool> started{false}, release{false}, stop_seen{false}, body_over{false}, ended{false};
  void Body(const StopSignal& stop) {
    started = true;
    for (DWORD waited = 0; !release && !stop.Requested() && waited < kLongMs; waited += 10) ::Sleep(10);
    stop_seen = stop.Requested();
    body_over = true;
  }
};

bool WaitFor(const std::atomic<bool>& flag) {
  for (DWORD waited = 0; !flag && waited < kLongMs; waited += 10) ::Sleep(10);
  return flag;
}

TEST(WorkerThread, TheOwnersEndWaitsStopsOrLetsTheRunGo) {
  const struct {
    WorkerThread::AtOwnerEnd at_end;
    bool over_when_owner_gone;  // the run has ended when the owner's end returns
    bool stop_seen;             // the run was asked to stop
  } cases[] = {
      {WorkerThread::AtOwnerEnd::kStopAndWait, true, true},
      {WorkerThread::AtOwnerEnd::kLetRun, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.at_end));
    auto run = std::make_shared<HeldRun>();
    {
      WorkerThread worker(c.at_end, L"A test worker");
      ASSERT_TRUE(worker.Start([run](const StopSignal& stop) { run->Body(stop); }, [run] { run->ended = true; }));
      ASSERT_TRUE(WaitFor(run->started));
    }
    EXPECT_EQ(run->body_over.load(), c.over_when_owner_gone);
    EXPECT_EQ(run->ended.load(), c.over_when_owner_gone);
    // A run let go holds its own share, ends on its own and still reports it.
    run->release = true;
    EXPECT_TRUE(WaitFor(run->ended));
    EXPECT_EQ(run->stop_seen.load(), c.stop_seen);
  }
}

TEST(WorkerThread, AJoinedRunIsWaitedForWithoutBeingAskedToStop) {
  std::atomic<bool> over{false}, stop_seen{false};
  {
    WorkerThread worker(WorkerThread::AtOwnerEnd::kWait, L"A test worker");
    ASSERT_TRUE(worker.Start([&](const StopSignal& stop) {
      stop_seen = stop.WaitFor(200);
      over = true;
    }));
  }
  EXPECT_TRUE(over);
  EXPECT_FALSE(stop_seen);
}

TEST(WorkerThread, ABodyThatThrowsIsLoggedAndItsEndStillReported) {
  {
    std::lock_guard<std::mutex> hold(g_lines_guard);
    g_lines.clear();
  }
  ScopedLogSink sink(&KeepLine);
  std::atomic<int> ends{0};
  WorkerThread worker(WorkerThread::AtOwnerEnd::kWait, L"The throwing worker");
  for (const bool throws : {true, false}) {
    ASSERT_TRUE(worker.Start(
        [throws](const StopSignal&) {
          if (throws) throw std::runtime_error("broken");
        },
        [&ends] { ++ends; }));
    worker.Wait();
  }
  EXPECT_EQ(ends.load(), 2);
  std::lock_guard<std::mutex> hold(g_lines_guard);
  EXPECT_EQ(g_lines, std::vector<std::wstring>{L"The throwing worker stopped on an unexpected error."});
}

// While its owner waits, the run can still send to the owner's thread: the
// wait answers sent messages, as the windows' workers need.
TEST(WorkerThread, TheWaitAnswersWhatTheRunSendsToTheOwnersWindow) {
  HWND window = ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  std::atomic<bool> answered{false};
  {
    WorkerThread worker(WorkerThread::AtOwnerEnd::kWait, L"A test worker");
    ASSERT_TRUE(worker.Start([window, &answered](const StopSignal&) {
      DWORD_PTR result = 0;
      answered = ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, kLongMs, &result) != 0;
    }));
  }
  EXPECT_TRUE(answered);
  ::DestroyWindow(window);
}

}  // namespace
}  // namespace tarvolin
