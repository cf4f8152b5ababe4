#include "tools/simlaptop/sim_hotkey.h"

namespace zu::simhotkey {

UINT FirmwareMessage() { return ::RegisterWindowMessageW(kFirmwareMessageName); }

HWND FindWindowOfClass(DWORD waitMs, const wchar_t* windowClass) {
  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  for (;;) {
    HWND window = ::FindWindowW(windowClass, nullptr);
    if (!window) window = ::FindWindowExW(HWND_MESSAGE, nullptr, windowClass, nullptr);
    if (window || ::GetTickCount64() >= deadline) return window;
    ::Sleep(20);
  }
}

Result Deliver(UINT message, WPARAM wParam, LPARAM lParam, Delivery how, DWORD waitMs, DWORD timeoutMs,
               const wchar_t* windowClass) {
  Result result;
  HWND window = FindWindowOfClass(waitMs, windowClass);
  if (!window) return result;
  result.windowFound = true;
  if (how == Delivery::kSend) {
    DWORD_PTR value = 0;
    result.delivered = ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &value) != 0;
    result.value = static_cast<LRESULT>(value);
  } else {
    result.delivered = ::PostMessageW(window, message, wParam, lParam) != 0;
  }
  if (!result.delivered) result.error = ::GetLastError();
  return result;
}

}  // namespace zu::simhotkey
