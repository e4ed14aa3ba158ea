#include "common/thread_pool.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

using namespace std::chrono_literals;

// Tasks that each wait until all of them have started: a pool that queued
// a task behind a busy thread would never let the last one start.
TEST(ThreadPool, TasksThatWaitForEachOtherAllRun) {
  ThreadPool pool(10s);
  TaskGroup group(pool);
  constexpr int kTasks = 12;
  std::mutex guard;
  std::condition_variable changed;
  int started = 0;
  std::atomic<int> finished{0};
  for (int i = 0; i < kTasks; ++i) {
    group.Run([&] {
      std::unique_lock<std::mutex> hold(guard);
      ++started;
      changed.notify_all();
      if (changed.wait_for(hold, 20s, [&] { return started == kTasks; })) ++finished;
    });
  }
  group.Wait();
  EXPECT_EQ(finished.load(), kTasks);
}

// The point of the pool: work handed in once a thread is idle again runs on
// that thread, not on a new one.
TEST(ThreadPool, AnIdleThreadTakesTheNextTask) {
  ThreadPool pool(60s);
  std::set<DWORD> threads;
  for (int round = 0; round < 5; ++round) {
    TaskGroup group(pool);
    group.Run([&] { threads.insert(::GetCurrentThreadId()); });
    group.Wait();
    for (int wait = 0; wait < 1000 && pool.IdleThreads() == 0; ++wait) ::Sleep(10);
    ASSERT_EQ(pool.IdleThreads(), 1);
  }
  EXPECT_EQ(threads.size(), 1u);
}

TEST(ThreadPool, AnIdleThreadEndsAndWorkStillRunsAfterwards) {
  ThreadPool pool(1ms);
  for (int round = 0; round < 3; ++round) {
    std::atomic<bool> ran{false};
    {
      TaskGroup group(pool);
      group.Run([&] { ran = true; });
    }
    EXPECT_TRUE(ran.load());
    ::Sleep(30);  // long past the idle life: the thread has gone
  }
}

TEST(ThreadPool, AThrowingTaskStillCountsAsEndedAndTheThreadServesOn) {
  ThreadPool pool(10s);
  TaskGroup group(pool);
  group.Run([] { throw std::runtime_error("task failed"); });
  group.Wait();
  std::atomic<bool> ran{false};
  group.Run([&] { ran = true; });
  group.Wait();
  EXPECT_TRUE(ran.load());
}

// Whatever the task holds is released before its group stops waiting.
TEST(ThreadPool, WhatATaskHoldsIsGoneWhenTheGroupReturns) {
  ThreadPool pool(10s);
  auto held = std::make_shared<int>(7);
  std::weak_ptr<int> watch = held;
  {
    TaskGroup group(pool);
    group.Run([held = std::move(held)] { (void)held; });
  }
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace tarvolin
