// What the agent does with a console control event. Portable; the Windows
// handler applies the decision.
#pragma once

#include <cstdint>

namespace zu {

inline constexpr uint32_t kCtrlCEvent = 0;      // CTRL_C_EVENT
inline constexpr uint32_t kCtrlCloseEvent = 2;  // CTRL_CLOSE_EVENT

enum class ControlAction {
  kPassOn,       // not ours: the handler returns FALSE
  kHandled,      // the supervisor tears down on its next pass: TRUE
  kExitProcess,  // end the process at once with exit code 0
};

struct ControlDecision {
  ControlAction action;
  bool requestStop;  // set the supervisor's stop flag
};

// Ctrl+C and close are handled; a stop is requested once the supervisor
// thread exists; with the window present the process ends at once.
inline ControlDecision DecideConsoleControl(uint32_t controlType, bool supervisorStarted, bool windowExists) {
  if (controlType != kCtrlCEvent && controlType != kCtrlCloseEvent) return {ControlAction::kPassOn, false};
  return {windowExists ? ControlAction::kExitProcess : ControlAction::kHandled, supervisorStarted};
}

}  // namespace zu
