#include "agent/event_table.h"

#include "base/text.h"

namespace zu {

uint32_t TranslateToEvent(uint32_t message, uint64_t wParam, uint32_t firmwareMessage) {
  const auto low = static_cast<uint32_t>(wParam);
  if (firmwareMessage != 0 && message == firmwareMessage) {
    switch (low) {
      case FN_1:
      case FN_2:
      case FN_3:
      case FN_4:
      case FN_5: return low;
      default: return UNKNOWN_EVENT;
    }
  }
  switch (message) {
    case win_msg::kHotKey:
      switch (low) {
        case HOTKEY_CPU_FAN:
        case HOTKEY_HUSHNET_MIC:
        case HOTKEY_HUSHNET_SPEAKER: return low;
        default: return UNKNOWN_EVENT;
      }
    case win_msg::kPowerBroadcast:
      if (wParam == win_msg::kPbtSuspend) return SUSPEND;
      if (wParam == win_msg::kPbtResumeSuspend) return RESUME;
      return UNKNOWN_EVENT;
    case win_msg::kSessionChange:
      // The event codes run lock, unlock, log-on, log-off; the session
      // change codes run log-on, log-off, lock, unlock.
      switch (wParam) {
        case win_msg::kSessionLogon: return SESSION_LOGON;
        case win_msg::kSessionLogoff: return SESSION_LOGOFF;
        case win_msg::kSessionLock: return SESSION_LOCK;
        case win_msg::kSessionUnlock: return SESSION_UNLOCK;
        default: return UNKNOWN_EVENT;
      }
    case win_msg::kEndSession: return SESSION_END;
    case win_msg::kDisplayChange: return DISPLAY_CHANGE;
    default: return UNKNOWN_EVENT;
  }
}

std::string WndProcLine(uint32_t message, uint64_t wParam, uint32_t code) {
  std::string line = "WndProc:";
  line += " message = 0x" + Hex(message);
  line += " wParam = 0x" + Hex(wParam);
  line += " ZuEventType = 0x" + Hex(code);
  return line;
}

}  // namespace zu
