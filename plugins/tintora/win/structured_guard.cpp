#include "plugins/tintora/win/structured_guard.h"

#include <windows.h>

#include <mutex>

namespace tintora {
namespace {

struct Guard {
  CONTEXT resume;  // where execution goes on after a fault
  volatile LONG active = 0;
  volatile LONG faulted = 0;
};

thread_local Guard* t_guard = nullptr;

// The filter is process-wide: guarded calls on several threads share one
// installation, counted here.
std::mutex g_filterLock;
int g_guardedCalls = 0;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

// Reached only by faults that no handler inside the called component took
// care of: a driver that handles its own exceptions keeps doing so.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  Guard* guard = t_guard;
  if (!guard || !guard->active) {
    LPTOP_LEVEL_EXCEPTION_FILTER previous;
    {
      std::scoped_lock hold(g_filterLock);
      previous = g_previousFilter;
    }
    return previous ? previous(info) : EXCEPTION_CONTINUE_SEARCH;
  }
  guard->active = 0;
  guard->faulted = 1;
  *info->ContextRecord = guard->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

class FilterInstallation {
 public:
  FilterInstallation() {
    std::scoped_lock hold(g_filterLock);
    if (g_guardedCalls++ == 0) g_previousFilter = ::SetUnhandledExceptionFilter(&OnUnhandledException);
  }
  ~FilterInstallation() {
    std::scoped_lock hold(g_filterLock);
    if (--g_guardedCalls == 0) ::SetUnhandledExceptionFilter(g_previousFilter);
  }
  FilterInstallation(const FilterInstallation&) = delete;
  FilterInstallation& operator=(const FilterInstallation&) = delete;
};

}  // namespace

bool CallGuarded(void (*fn)(void* context), void* context) {
  Guard guard;
  Guard* const outer = t_guard;
  t_guard = &guard;
  {
    FilterInstallation filter;
    // A fault resumes here a second time, with `faulted` set.
    ::RtlCaptureContext(&guard.resume);
    if (!guard.faulted) {
      guard.active = 1;
      fn(context);
      guard.active = 0;
    }
  }
  t_guard = outer;
  return guard.faulted != 0;
}

}  // namespace tintora
