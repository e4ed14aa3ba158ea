// Threads that are kept and handed the next task instead of ending. Starting a
// thread is dear on this platform (its whole stack is cleared first), and a
// pass of many small files would otherwise start one for every file and block.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tarvolin {

class ThreadPool {
 public:
  // A thread left without work for `idle_life` ends.
  explicit ThreadPool(std::chrono::milliseconds idle_life);
  // Waits for every task handed in and for every thread to end.
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // Runs `task` on an idle thread, or on a new one when none is idle: a task
  // never waits behind another, so tasks may wait for each other. Throws what
  // starting a thread throws (the task is then not run). An exception that
  // leaves a task is swallowed: tasks report their own failures.
  void Run(std::function<void()> task);

  // Threads waiting for work now.
  int IdleThreads();

 private:
  void Serve();

  const std::chrono::milliseconds idle_life_;
  std::mutex guard_;
  std::condition_variable work_arrived_;
  std::condition_variable thread_ended_;
  std::deque<std::function<void()>> waiting_;
  int idle_ = 0;
  int alive_ = 0;
  bool closing_ = false;
};

// Tasks handed to a pool that their starter waits for: Wait() returns once
// every task run through the group has returned.
class TaskGroup {
 public:
  explicit TaskGroup(ThreadPool& pool) : pool_(pool) {}
  ~TaskGroup() { Wait(); }
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  // As ThreadPool::Run; when starting fails, the group does not count the task.
  void Run(std::function<void()> task);
  void Wait();

 private:
  ThreadPool& pool_;
  std::mutex guard_;
  std::condition_variable task_ended_;
  int running_ = 0;
};

}  // namespace tarvolin
