#include "agent/console_handler.h"

#include <cstdio>
#include <mutex>

#include "agent/agent_state.h"
#include "agent/console_control.h"
#include "agent/event_listener.h"

namespace zu {

BOOL WINAPI AgentConsoleControlHandler(DWORD controlType) {
  AgentState& agent = Agent();
  const bool supervisorStarted = agent.supervisorThread.load() != nullptr;
  const bool windowExists = ZuEventListener::Instance().window() != nullptr;
  const ControlDecision decision = DecideConsoleControl(controlType, supervisorStarted, windowExists);
  if (decision.requestStop) agent.stop.Request();
  switch (decision.action) {
    case ControlAction::kPassOn: return FALSE;
    case ControlAction::kHandled: return TRUE;
    case ControlAction::kExitProcess:
      // Every log line is already on disk (the logger flushes each one);
      // the services are not taken down, process exit unloads them.
      std::fflush(stdout);
      ::ExitProcess(0);
  }
  return FALSE;
}

void InstallConsoleControlHandler() {
  static std::once_flag once;
  std::call_once(once, [] { ::SetConsoleCtrlHandler(AgentConsoleControlHandler, TRUE); });
}

}  // namespace zu
