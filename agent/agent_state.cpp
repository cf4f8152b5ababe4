#include "agent/agent_state.h"

#include "agent/event_table.h"

namespace zu {
namespace {
// Registered before main runs, like the window procedure expects it.
const UINT g_firmwareMessage = ::RegisterWindowMessageW(kFirmwareMessageName);
}  // namespace

AgentState& Agent() {
  static AgentState* const state = new AgentState;  // never freed
  return *state;
}

UINT FirmwareMessage() { return g_firmwareMessage; }

}  // namespace zu
