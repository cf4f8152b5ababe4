// The contract between the agent and its plug-in services.
//
// The slot order of IPlatformService is shared by separately built modules
// and must not change. There is no virtual destructor: the host never
// destroys a service; each library owns its object from attach to detach.
#pragma once

#include <cstdint>
#include <string>

namespace zu {

class ILogger;

enum ServiceState : int32_t {
  UNKNOWN = 0,         // constructed or released; the host leaves it alone
  INIT = 1,            // initialised or reset; the host will call Run
  IN_SERVICE = 2,      // running; the host polls Heartbeat
  OUT_OF_SERVICE = 3,  // stopped or failed; the host will call Reset
};

class IPlatformService {
 public:
  virtual std::string GetName() = 0;              // slot 0
  virtual int32_t GetType() = 0;                  // slot 1
  virtual int32_t GetState() = 0;                 // slot 2
  virtual bool Init(ILogger* logger) = 0;         // slot 3
  virtual bool Run() = 0;                         // slot 4
  virtual bool Join(int32_t reserved) = 0;        // slot 5, the host passes 0
  virtual void Release() = 0;                     // slot 6
  virtual bool Heartbeat() = 0;                   // slot 7
  virtual bool Reset() = 0;                       // slot 8
  virtual void onEvent(uint32_t eventCode) = 0;   // slot 9
  virtual void onStateChange(int32_t previous) = 0;  // slot 10

 protected:
  ~IPlatformService() = default;
};

// The one export of every plug-in library, looked up by this plain name.
using GetServiceControlBlockFn = IPlatformService* (*)();
inline constexpr const char* kServiceFactoryExport = "GetServiceControlBlock";

// Log text of a state; every value outside 0..3 (as unsigned) is "UNKNOWN".
const std::string& StateName(int32_t state);

}  // namespace zu
