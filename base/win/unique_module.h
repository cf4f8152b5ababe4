// Owner for a loaded library (FreeLibrary on destruction).
#pragma once

#include <windows.h>

#include <utility>

namespace zu::win {

class UniqueModule {
 public:
  UniqueModule() noexcept = default;
  explicit UniqueModule(HMODULE m) noexcept : m_(m) {}
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;
  UniqueModule(UniqueModule&& o) noexcept : m_(o.release()) {}
  UniqueModule& operator=(UniqueModule&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueModule() { reset(); }

  HMODULE get() const noexcept { return m_; }
  explicit operator bool() const noexcept { return m_ != nullptr; }
  HMODULE release() noexcept { return std::exchange(m_, nullptr); }
  void reset(HMODULE m = nullptr) noexcept {
    HMODULE old = std::exchange(m_, m);
    if (old) ::FreeLibrary(old);
  }

  // Typed export lookup; null when the module lacks it.
  template <class Fn>
  Fn GetProc(const char* name) const noexcept {
    return m_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m_, name))) : nullptr;
  }

 private:
  HMODULE m_ = nullptr;
};

}  // namespace zu::win
