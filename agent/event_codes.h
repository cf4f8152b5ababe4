// The agent's event codes: what every plug-in service receives in onEvent.
#pragma once

#include <cstdint>

namespace zu {

enum ZuEventType : uint32_t {
  // Firmware hot-key notifications, passed through unchanged.
  FN_1 = 0x61,
  FN_2 = 0x62,
  FN_3 = 0x63,
  FN_4 = 0x64,
  FN_5 = 0x9D,
  // Keyboard hot keys registered from the machine settings (desktop and
  // all-in-one machines only); the hot-key id is the event code.
  HOTKEY_CPU_FAN = 0x10001,
  HOTKEY_HUSHNET_MIC = 0x10002,
  HOTKEY_HUSHNET_SPEAKER = 0x10003,
  // Power, session and display messages.
  SUSPEND = 0x20001,
  RESUME = 0x20002,
  SESSION_LOCK = 0x20003,
  SESSION_UNLOCK = 0x20004,
  SESSION_LOGON = 0x20005,
  SESSION_LOGOFF = 0x20006,
  SESSION_END = 0x20007,
  DISPLAY_CHANGE = 0x20008,
  // Everything else; still delivered to every service.
  UNKNOWN_EVENT = 0xFFFFF,
};

}  // namespace zu
