// Owner of a Win32 critical section and its scoped lock.
#pragma once

#include <windows.h>

namespace glimmer {

class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  class Lock {
   public:
    explicit Lock(CriticalSection& owner) : cs_(&owner.cs_) { ::EnterCriticalSection(cs_); }
    ~Lock() { ::LeaveCriticalSection(cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    CRITICAL_SECTION* cs_;
  };

 private:
  CRITICAL_SECTION cs_;
};

}  // namespace glimmer
