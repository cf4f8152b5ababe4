// Rules the "start" and "stop" commands follow while the service manager
// reports the service as pending.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zu::service {

// Time to sleep between two status queries: a tenth of the reported wait
// hint, but at least one and at most ten seconds.
constexpr uint32_t PendingPollInterval(uint32_t waitHint) {
  return std::clamp<uint32_t>(waitHint / 10, 1000, 10000);
}

// Time to sleep while waiting for a stop: the reported wait hint, but at
// least 100 ms, so that a service that reports a hint of 0 while it stays
// pending is not polled without pause for the whole timeout.
constexpr uint32_t StopPollInterval(uint32_t waitHint) { return std::max<uint32_t>(waitHint, 100); }

// Whether a pending service still makes progress: its checkpoint must
// advance within each wait hint it reports. Times are milliseconds of any
// monotonic clock.
class CheckpointWatch {
 public:
  CheckpointWatch(uint32_t checkpoint, uint64_t now) : checkpoint_(checkpoint), since_(now) {}

  // Takes a fresh status; false once the checkpoint has stood still for
  // longer than the wait hint.
  bool Progressing(uint32_t checkpoint, uint32_t waitHint, uint64_t now) {
    if (checkpoint > checkpoint_) {
      checkpoint_ = checkpoint;
      since_ = now;
      return true;
    }
    return now - since_ <= waitHint;
  }

 private:
  uint32_t checkpoint_;
  uint64_t since_;
};

}  // namespace zu::service
