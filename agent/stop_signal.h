// The agent's stop request: set once by the console control handler, read
// by every supervisor pass, and waited for by a supervisor that has nothing
// to do, so that such a wait ends the moment a stop is asked for. Portable.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zu {

class StopSignal {
 public:
  StopSignal() = default;
  explicit StopSignal(bool requested) : requested_(requested) {}
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  void Request() {
    {
      std::lock_guard lock(mutex_);
      requested_ = true;
    }
    changed_.notify_all();
  }

  bool Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
  }

  // Returns at a stop request or after `milliseconds`; true when requested.
  bool WaitFor(uint32_t milliseconds) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return requested_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool requested_ = false;
};

}  // namespace zu
