// The agent's single source of events: a hidden top-level window that
// receives the firmware hot-key message and the system's messages, turns
// each into an event code and hands it to every loaded service.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "plugins/common/smbios_chassis.h"

namespace zu {

class ILogger;

inline constexpr const wchar_t* kListenerWindowClass = L"ZuServiceEventListener";
inline constexpr DWORD kListenerInitFailed = 0xFFFFFFFF;
// Ctrl+Alt, no auto-repeat.
inline constexpr UINT kHotKeyModifiers = MOD_CONTROL | MOD_ALT | MOD_NOREPEAT;

class ZuEventListener {
 public:
  // The process's one listener, created empty on first use from any thread.
  static ZuEventListener& Instance();

  // Stores the logger, registers the window class, creates the hidden
  // window, opens it to the firmware message, classifies the machine,
  // registers the hot keys of desktop-class machines and subscribes to
  // session notifications. Returns 0, or kListenerInitFailed when the class
  // or the window could not be created (then there is no window).
  DWORD Initialize(ILogger* logger);

  HWND window() const { return window_.load(); }
  ILogger* logger() const { return logger_.load(); }

  // Whether the window procedure writes its debug line for each message (on
  // unless set). The agent turns it off when its logger keeps only
  // information and above, so the line is not even formatted: formatting
  // and filtering it was half the cost of a dispatch.
  void SetDebugLines(bool on) { debugLines_.store(on); }
  bool debugLines() const { return debugLines_.load(); }

 private:
  ZuEventListener() = default;

  std::atomic<HWND> window_{nullptr};
  std::atomic<ILogger*> logger_{nullptr};
  std::atomic<bool> debugLines_{true};
};

// The window procedure: translate, log at debug level, dispatch to every
// service in load order, then DefWindowProcW.
LRESULT CALLBACK ListenerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Reads the machine's chassis type, logs "ProductLine: <n>" and returns it.
ProductLine ClassifyMachine(ILogger& logger);

// Registers "HotKeyCpuFan", "HotKeyHushnetMic" and "HotKeyHushnetSpeaker"
// from the machine settings for `window`, logging each outcome.
void RegisterConfiguredHotKeys(HWND window, ILogger& logger);

}  // namespace zu
