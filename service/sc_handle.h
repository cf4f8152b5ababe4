// Owner for service control manager and service handles.
#pragma once

#include <windows.h>

#include <utility>

namespace zu::service {

class UniqueScHandle {
 public:
  UniqueScHandle() noexcept = default;
  explicit UniqueScHandle(SC_HANDLE h) noexcept : h_(h) {}
  UniqueScHandle(const UniqueScHandle&) = delete;
  UniqueScHandle& operator=(const UniqueScHandle&) = delete;
  UniqueScHandle(UniqueScHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueScHandle& operator=(UniqueScHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  ~UniqueScHandle() { reset(); }

  SC_HANDLE get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != nullptr; }
  void reset(SC_HANDLE h = nullptr) noexcept {
    if (SC_HANDLE old = std::exchange(h_, h)) ::CloseServiceHandle(old);
  }

 private:
  SC_HANDLE h_ = nullptr;
};

}  // namespace zu::service
