// The supervision of the loaded services: Init once, then pass after pass
// over the list starting, heartbeat-checking and resetting services, and a
// teardown on a stop request. Portable; the host supplies sleeping, the stop
// flag, standard output and unloading, so the Windows thread and the tests
// drive the same logic.
#pragma once

#include <cstdint>
#include <string>

#include "agent/service_list.h"

namespace zu {

class ILogger;

class SupervisorHost {
 public:
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Like Sleep, but ends early when a stop is requested.
  virtual void Rest(uint32_t milliseconds) = 0;
  // Read fresh on every call.
  virtual bool StopRequested() = 0;
  // Text for standard output, written as is.
  virtual void Print(const std::string& text) = 0;
  // Unloads the entry's library; the entry is already withdrawn (no
  // service pointer), so no dispatch can reach the library any more.
  virtual void Unload(ServiceEntry& entry) = 0;

 protected:
  ~SupervisorHost() = default;
};

// One pause after each IN_SERVICE service is examined.
inline constexpr uint32_t kHeartbeatPauseMs = 1000;
// A pass that paused nowhere (no service running) ends with this pause, so
// the loop does not spin.
inline constexpr uint32_t kIdlePassPauseMs = 100;
// A pass that found nothing to do at all (every service UNKNOWN or out of
// the states) ends with this rest instead, which a stop request cuts short.
inline constexpr uint32_t kRestingPassPauseMs = 10000;
// A service is hung when its consecutive misses exceed this.
inline constexpr int32_t kMissLimit = 10;

// Thread results.
inline constexpr uint32_t kSupervisorDone = 0;
inline constexpr uint32_t kSupervisorNothingLoaded = 0xFFFFFFFF;

class Supervisor {
 public:
  Supervisor(ServiceList& services, SupervisorHost& host, ILogger* logger)
      : services_(services), host_(host), logger_(logger) {}

  // Everything after loading: "runtime link error" and kSupervisorNothingLoaded
  // for an empty list; otherwise Init, passes until a stop is requested,
  // teardown, kSupervisorDone.
  uint32_t Supervise();

  // Init(logger) on every service in load order; misses start at 0.
  void InitServices();
  // One pass over every entry still loaded, in load order.
  void Pass();
  // Join(0), Release(), withdrawal from dispatch and unload, entry by entry
  // in load order.
  void Teardown();

 private:
  void Retire(IPlatformService& service);

  ServiceList& services_;
  SupervisorHost& host_;
  ILogger* logger_;
};

}  // namespace zu
