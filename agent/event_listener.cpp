#include "agent/event_listener.h"

#include <wtsapi32.h>

#include <exception>
#include <string>

#include "agent/agent_state.h"
#include "agent/event_table.h"
#include "base/text.h"
#include "logging/ilogger.h"
#include "logging/settings_key.h"
#include "plugins/common/firmware_table.h"

namespace zu {
namespace {

constexpr const char* kListenerTag = "ZuEventListener";
constexpr const char* kWndProcTag = "ZuEventApp";

struct HotKeySetting {
  const wchar_t* valueName;
  uint32_t id;  // also the event code
};
constexpr HotKeySetting kHotKeys[] = {
    {L"HotKeyCpuFan", HOTKEY_CPU_FAN},
    {L"HotKeyHushnetMic", HOTKEY_HUSHNET_MIC},
    {L"HotKeyHushnetSpeaker", HOTKEY_HUSHNET_SPEAKER},
};

std::string HotKeyParts(uint32_t id, DWORD code) { return ", event = 0x" + Hex(id) + ", hotkey = 0x" + Hex(code); }

}  // namespace

ZuEventListener& ZuEventListener::Instance() {
  static ZuEventListener* const listener = new ZuEventListener;  // never freed
  return *listener;
}

DWORD ZuEventListener::Initialize(ILogger* logger) {
  logger_ = logger;
  HINSTANCE instance = ::GetModuleHandleW(nullptr);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ListenerWindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kListenerWindowClass;
  if (!::RegisterClassExW(&wc)) return kListenerInitFailed;

  // Never shown; it exists to receive messages.
  HWND window = ::CreateWindowExW(0, kListenerWindowClass, kListenerWindowClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (!window) return kListenerInitFailed;
  window_ = window;

  // The hot-key driver may run at a higher integrity level than the user's
  // session; let its message through to this window.
  const UINT firmwareMessage = ::RegisterWindowMessageW(kFirmwareMessageName);
  if (!::ChangeWindowMessageFilterEx(window, firmwareMessage, MSGFLT_ALLOW, nullptr) && logger)
    logger->LogAndReport(kLogError, kListenerTag,
                         "ChangeWindowMessageFilterEx failed, GetLastError = " + Dec(::GetLastError()));

  if (logger) {
    const ProductLine line = ClassifyMachine(*logger);
    if (line == kProductDesktop || line == kProductAllInOne) RegisterConfiguredHotKeys(window, *logger);
  }

  if (!::WTSRegisterSessionNotificationEx(WTS_CURRENT_SERVER_HANDLE, window, NOTIFY_FOR_THIS_SESSION) && logger)
    logger->LogAndReport(kLogError, kListenerTag,
                         "WTSRegisterSessionNotificationEx failed, GetLastError = " + Dec(::GetLastError()));
  return 0;
}

ProductLine ClassifyMachine(ILogger& logger) {
  const ProductLine line = ProductLineFromChassis(ReadSystemChassisType());
  logger.LogAndReport(kLogError, kListenerTag, "ProductLine: " + Dec(static_cast<int>(line)));
  return line;
}

void RegisterConfiguredHotKeys(HWND window, ILogger& logger) {
  for (const HotKeySetting& hotKey : kHotKeys) {
    DWORD code = 0;
    LSTATUS status;
    try {
      const SettingsKey settings = OpenSettingsKey();
      status = settings.ReadDword(hotKey.valueName, &code);
    } catch (const std::exception& e) {
      // Without the machine key no hot key can be configured; the listener
      // goes on without them.
      logger.Log(kLogError, kListenerTag,
                 std::string("Get HotKey from registry failed!!, ") + e.what() + HotKeyParts(hotKey.id, code));
      return;
    }
    if (status != ERROR_SUCCESS) {
      // The registry reports through its return value, not the thread's
      // last error; report that value.
      logger.Log(kLogError, kListenerTag,
                 "Get HotKey from registry failed!!, GetLastError = " + Dec(status) + HotKeyParts(hotKey.id, code));
      continue;
    }
    if (::RegisterHotKey(window, static_cast<int>(hotKey.id), kHotKeyModifiers, code)) {
      logger.Log(kLogInfo, kListenerTag, "Register HotKey successfully!" + HotKeyParts(hotKey.id, code));
    } else {
      logger.Log(kLogError, kListenerTag,
                 "Register HotKey failed!!, GetLastError = " + Dec(::GetLastError()) + HotKeyParts(hotKey.id, code));
    }
  }
}

LRESULT CALLBACK ListenerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const uint32_t code = TranslateToEvent(message, wParam, FirmwareMessage());
  const ZuEventListener& listener = ZuEventListener::Instance();
  if (ILogger* logger = listener.logger(); logger && listener.debugLines())
    logger->Log(kLogDebug, kWndProcTag, WndProcLine(message, wParam, code));
  // The supervisor may be unloading plug-ins meanwhile: Dispatch keeps a
  // library mapped while its onEvent runs and skips those already gone.
  Agent().services.Dispatch([code](ServiceEntry& entry) { entry.service->onEvent(code); });
  // The default handling of WM_CLOSE destroys the window, and any process on
  // the desktop can send one: the agent would keep running without hearing
  // another hot key. The agent ends only through its message loop.
  if (message == WM_CLOSE) return 0;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace zu
