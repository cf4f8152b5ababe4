// Owners for kernel handles. Two flavours because Win32 uses two "no handle"
// values: null for most objects, INVALID_HANDLE_VALUE for files and devices.
#pragma once

#include <windows.h>

#include <utility>

namespace zu::win {

template <HANDLE (*Invalid)()>
class BasicHandle {
 public:
  BasicHandle() noexcept = default;
  explicit BasicHandle(HANDLE h) noexcept : h_(h) {}
  BasicHandle(const BasicHandle&) = delete;
  BasicHandle& operator=(const BasicHandle&) = delete;
  BasicHandle(BasicHandle&& o) noexcept : h_(o.release()) {}
  BasicHandle& operator=(BasicHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~BasicHandle() { reset(); }

  HANDLE get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Invalid() && h_ != nullptr; }
  HANDLE release() noexcept { return std::exchange(h_, Invalid()); }
  void reset(HANDLE h = Invalid()) noexcept {
    HANDLE old = std::exchange(h_, h);
    if (old != Invalid() && old != nullptr) ::CloseHandle(old);
  }
  // For out-parameters: closes what is held and hands out the slot.
  HANDLE* put() noexcept {
    reset();
    return &h_;
  }

 private:
  HANDLE h_ = Invalid();
};

inline HANDLE NullHandleValue() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Events, threads, processes, tokens: "no handle" is null.
using UniqueHandle = BasicHandle<&NullHandleValue>;
// Files and devices from CreateFileW: "no handle" is INVALID_HANDLE_VALUE.
using UniqueFile = BasicHandle<&InvalidHandleValue>;

}  // namespace zu::win
