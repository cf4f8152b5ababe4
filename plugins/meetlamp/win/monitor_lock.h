// The monitor lock: one unnamed Win32 mutex that guards the monitor's lists
// and the LED control state. Being a mutex, it may be taken again by the
// thread that holds it.
#pragma once

#include <windows.h>

#include "base/win/unique_handle.h"
#include "plugins/common/loggable.h"

namespace meetlamp {

class MonitorLock {
 public:
  // Failures are logged through `log` (the monitor). Throws std::system_error
  // when no mutex can be created.
  explicit MonitorLock(zu::ILoggable& log);

  // Waits at most 3000 ms; a signalled or abandoned mutex counts as had.
  // False, with "timeout in acquiring mutex" or "unable to acquire mutex" at
  // warning level, when it could not be had.
  bool Acquire();
  // Logs "error in releasing mutex" at warning level when that fails.
  void Release();

 private:
  zu::ILoggable& log_;
  zu::win::UniqueHandle mutex_;
};

// Holds the monitor lock for a scope. When held() is false the lock could
// not be had, and the caller must then leave the guarded state alone.
class MonitorLockHold {
 public:
  explicit MonitorLockHold(MonitorLock& lock) : lock_(lock), held_(lock.Acquire()) {}
  ~MonitorLockHold() { Release(); }
  MonitorLockHold(const MonitorLockHold&) = delete;
  MonitorLockHold& operator=(const MonitorLockHold&) = delete;

  bool held() const { return held_; }
  // Lets go before the end of the scope.
  void Release() {
    if (held_) lock_.Release();
    held_ = false;
  }

 private:
  MonitorLock& lock_;
  bool held_;
};

}  // namespace meetlamp
