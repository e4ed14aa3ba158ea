// A value shared between threads, read and written whole under its own lock.
#pragma once

#include <mutex>
#include <utility>

namespace tarvolin {

template <typename T>
class Guarded {
 public:
  T Get() const {
    std::lock_guard<std::mutex> hold(guard_);
    return value_;
  }
  void Set(T value) {
    std::lock_guard<std::mutex> hold(guard_);
    value_ = std::move(value);
  }

 private:
  mutable std::mutex guard_;
  T value_{};
};

}  // namespace tarvolin
