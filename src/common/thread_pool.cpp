#include "common/thread_pool.h"

#include <thread>
#include <utility>

namespace tarvolin {

ThreadPool::ThreadPool(std::chrono::milliseconds idle_life) : idle_life_(idle_life) {}

ThreadPool::~ThreadPool() {
  std::unique_lock<std::mutex> hold(guard_);
  closing_ = true;
  work_arrived_.notify_all();
  thread_ended_.wait(hold, [this] { return alive_ == 0; });
}

void ThreadPool::Run(std::function<void()> task) {
  std::lock_guard<std::mutex> hold(guard_);
  waiting_.push_back(std::move(task));
  if (static_cast<int>(waiting_.size()) <= idle_) {
    work_arrived_.notify_one();
    return;
  }
  try {
    std::thread([this] { Serve(); }).detach();
  } catch (...) {
    waiting_.pop_back();
    throw;
  }
  ++alive_;
}

int ThreadPool::IdleThreads() {
  std::lock_guard<std::mutex> hold(guard_);
  return idle_;
}

void ThreadPool::Serve() {
  std::unique_lock<std::mutex> hold(guard_);
  for (;;) {
    if (waiting_.empty()) {
      ++idle_;
      bool woken = work_arrived_.wait_for(hold, idle_life_, [this] { return !waiting_.empty() || closing_; });
      --idle_;
      if (!woken || waiting_.empty()) break;
    }
    std::function<void()> task = std::move(waiting_.front());
    waiting_.pop_front();
    hold.unlock();
    try {
      task();
    } catch (...) {
    }
    task = nullptr;  // what the task holds goes before the pool may
    hold.lock();
  }
  // Notified under the lock: once the destructor sees the count, nothing of
  // the pool is touched again.
  --alive_;
  thread_ended_.notify_all();
}

void TaskGroup::Run(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> hold(guard_);
    ++running_;
  }
  try {
    pool_.Run([this, task = std::move(task)]() mutable {
      try {
        task();
      } catch (...) {
      }
      task = nullptr;  // what it holds goes while its starter still waits
      std::lock_guard<std::mutex> hold(guard_);
      --running_;
      task_ended_.notify_all();
    });
  } catch (...) {
    std::lock_guard<std::mutex> hold(guard_);
    --running_;
    throw;
  }
}

void TaskGroup::Wait() {
  std::unique_lock<std::mutex> hold(guard_);
  task_ended_.wait(hold, [this] { return running_ == 0; });
}

}  // namespace tarvolin
