#include "plugins/tintora/win/structured_guard.h"

#include <windows.h>

namespace tintora {
namespace {

struct Guard {
  CONTEXT resume;  // where execution goes on after a fault
  volatile LONG active = 0;
  volatile LONG faulted = 0;
};

thread_local Guard* t_guard = nullptr;

// Faults raised by the system (severity "error", not a customer code). C++
// exceptions of this runtime and debugger notifications are left alone.
bool IsSystemFault(DWORD code) { return (code & 0xE0000000u) == 0xC0000000u; }

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  Guard* guard = t_guard;
  if (!guard || !guard->active || !IsSystemFault(info->ExceptionRecord->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  guard->active = 0;
  guard->faulted = 1;
  *info->ContextRecord = guard->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool CallGuarded(void (*fn)(void* context), void* context) {
  Guard guard;
  Guard* const outer = t_guard;
  t_guard = &guard;
  PVOID handler = ::AddVectoredExceptionHandler(1, &OnException);
  // A fault resumes here a second time, with `faulted` set.
  ::RtlCaptureContext(&guard.resume);
  if (!guard.faulted) {
    guard.active = 1;
    fn(context);
    guard.active = 0;
  }
  if (handler) ::RemoveVectoredExceptionHandler(handler);
  t_guard = outer;
  return guard.faulted != 0;
}

}  // namespace tintora
