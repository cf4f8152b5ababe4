// Translation of the hidden window's messages into event codes, and the
// window procedure's debug line. Portable: message numbers are the Win32
// values, spelled out here so the table builds and is tested natively.
#pragma once

#include <cstdint>
#include <string>

#include "agent/event_codes.h"

namespace zu {

// The Win32 messages and parameters the table looks at.
namespace win_msg {
inline constexpr uint32_t kEndSession = 0x0016;       // WM_ENDSESSION
inline constexpr uint32_t kDisplayChange = 0x007E;    // WM_DISPLAYCHANGE
inline constexpr uint32_t kPowerBroadcast = 0x0218;   // WM_POWERBROADCAST
inline constexpr uint32_t kSessionChange = 0x02B1;    // WM_WTSSESSION_CHANGE
inline constexpr uint32_t kHotKey = 0x0312;           // WM_HOTKEY
inline constexpr uint32_t kPbtSuspend = 4;            // PBT_APMSUSPEND
inline constexpr uint32_t kPbtResumeSuspend = 7;      // PBT_APMRESUMESUSPEND
inline constexpr uint32_t kSessionLogon = 5;          // WTS_SESSION_LOGON
inline constexpr uint32_t kSessionLogoff = 6;         // WTS_SESSION_LOGOFF
inline constexpr uint32_t kSessionLock = 7;           // WTS_SESSION_LOCK
inline constexpr uint32_t kSessionUnlock = 8;         // WTS_SESSION_UNLOCK
}  // namespace win_msg

// The registered window message of the firmware hot-key driver.
inline constexpr const wchar_t* kFirmwareMessageName = L"ACPI Notification through VortaHotkey from BIOS";

// The event code of one message. `firmwareMessage` is the registered id of
// the firmware message (0 when registration failed: then nothing matches
// it). Firmware codes and hot-key ids are compared on the low 32 bits of
// wParam; the firmware message is tested first.
uint32_t TranslateToEvent(uint32_t message, uint64_t wParam, uint32_t firmwareMessage);

// "WndProc: message = 0x218 wParam = 0x7 ZuEventType = 0x20002"
std::string WndProcLine(uint32_t message, uint64_t wParam, uint32_t code);

}  // namespace zu
