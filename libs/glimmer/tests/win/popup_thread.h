// Runs the library's modal pop-up on a thread of its own, as a plug-in's
// UI thread does, and waits until it answers requests.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "libs/glimmer/win/osd_export.h"

namespace glimmer::testing {

inline OSDData_t Request(int32_t kind, int32_t value) {
  OSDData_t r{};
  r.kind = kind;
  r.value = value;
  return r;
}

inline int32_t Display(int32_t kind, int32_t value) {
  const OSDData_t r = Request(kind, value);
  return OSDDisplay(&r);
}

class ModalPopup {
 public:
  ModalPopup() {
    thread_ = std::thread([this] {
      threadId_ = ::GetCurrentThreadId();
      result_ = OSDStart(0);
      ended_ = true;
    });
    // Ready once this thread's dialog window exists (an earlier dialog has
    // been ended by then) and the library answers an unknown kind with 3,
    // which draws nothing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline &&
           !(threadId_ != 0 && window() != nullptr && Display(7, 0) == OSD_UNKNOWN_KIND)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ~ModalPopup() {
    if (!ended_) OSDEnd();
    thread_.join();
  }

  bool WaitEnded(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ended_ && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return ended_;
  }
  bool ended() const { return ended_; }
  int64_t result() const { return result_; }
  DWORD threadId() const { return threadId_; }
  HWND window() const;

 private:
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<int64_t> result_{0};
  std::atomic<bool> ended_{false};
};

}  // namespace glimmer::testing
