// Test side of the hot-key stand-in: what the vendor's hot-key driver does
// (the firmware's registered message with a code in wParam), plus any other
// window message, delivered to the agent's window from outside its process.
// The simhotkey program offers the same to scripts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace zu::simhotkey {

inline constexpr const wchar_t* kAgentWindowClass = L"ZuServiceEventListener";
inline constexpr const wchar_t* kFirmwareMessageName = L"ACPI Notification through VortaHotkey from BIOS";

// The registered firmware message id (the same in every process of a session).
UINT FirmwareMessage();

// The first window of `windowClass` (top-level or message-only), waiting up
// to `waitMs` for it to appear; null if none.
HWND FindWindowOfClass(DWORD waitMs = 0, const wchar_t* windowClass = kAgentWindowClass);

enum class Delivery { kPost, kSend };

struct Result {
  bool delivered = false;  // posted, or processed by the window procedure
  bool windowFound = false;
  LRESULT value = 0;       // the window procedure's result (kSend only)
  DWORD error = 0;         // GetLastError of a failed post or send
};

// Sends `message` to the window of `windowClass`. kSend waits up to
// `timeoutMs` for the window procedure.
Result Deliver(UINT message, WPARAM wParam, LPARAM lParam, Delivery how = Delivery::kPost, DWORD waitMs = 0,
               DWORD timeoutMs = 5000, const wchar_t* windowClass = kAgentWindowClass);

// The hot-key driver's notification: the firmware message with `code`.
inline Result PressFirmwareKey(uint32_t code, Delivery how = Delivery::kPost, DWORD waitMs = 0) {
  return Deliver(FirmwareMessage(), code, 0, how, waitMs);
}

}  // namespace zu::simhotkey
