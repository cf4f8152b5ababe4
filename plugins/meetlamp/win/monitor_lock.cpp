#include "plugins/meetlamp/win/monitor_lock.h"

#include <system_error>

namespace meetlamp {

namespace {
constexpr DWORD kLockWaitMs = 3000;
}

MonitorLock::MonitorLock(zu::ILoggable& log) : log_(log), mutex_(::CreateMutexW(nullptr, FALSE, nullptr)) {
  if (!mutex_) throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateMutexW");
}

bool MonitorLock::Acquire() {
  switch (::WaitForSingleObject(mutex_.get(), kLockWaitMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      return true;
    case WAIT_TIMEOUT:
      log_.LogWarning("timeout in acquiring mutex");
      return false;
    default:
      log_.LogWarning("unable to acquire mutex");
      return false;
  }
}

void MonitorLock::Release() {
  if (!::ReleaseMutex(mutex_.get())) log_.LogWarning("error in releasing mutex");
}

}  // namespace meetlamp
