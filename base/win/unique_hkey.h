// Owner for a registry key handle.
#pragma once

#include <windows.h>

#include <utility>

namespace zu::win {

class UniqueHkey {
 public:
  UniqueHkey() noexcept = default;
  explicit UniqueHkey(HKEY k) noexcept : k_(k) {}
  UniqueHkey(const UniqueHkey&) = delete;
  UniqueHkey& operator=(const UniqueHkey&) = delete;
  UniqueHkey(UniqueHkey&& o) noexcept : k_(o.release()) {}
  UniqueHkey& operator=(UniqueHkey&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueHkey() { reset(); }

  HKEY get() const noexcept { return k_; }
  explicit operator bool() const noexcept { return k_ != nullptr; }
  HKEY release() noexcept { return std::exchange(k_, nullptr); }
  void reset(HKEY k = nullptr) noexcept {
    HKEY old = std::exchange(k_, k);
    if (old) ::RegCloseKey(old);
  }
  HKEY* put() noexcept {
    reset();
    return &k_;
  }

 private:
  HKEY k_ = nullptr;
};

}  // namespace zu::win
