// Process-wide state of the agent, created once and never destroyed: other
// threads (the supervisor, the console control thread) may still use it
// while the process exits.
#pragma once

#include <windows.h>

#include <atomic>

#include "agent/service_list.h"
#include "agent/stop_signal.h"

namespace zu {

class ILogger;

struct AgentState {
  // The agent logger; set by main before any other thread exists.
  std::atomic<ILogger*> logger{nullptr};
  // Null until main has created the supervisor thread.
  std::atomic<HANDLE> supervisorThread{nullptr};
  // Requested by the console control handler, read fresh by every
  // supervisor pass.
  StopSignal stop;
  ServiceList services;
};

AgentState& Agent();

// The firmware message's id, registered during static initialisation.
UINT FirmwareMessage();

}  // namespace zu
