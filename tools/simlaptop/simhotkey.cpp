// simhotkey: stands in for the vendor's hot-key driver. Finds the agent's
// window by class and sends it the firmware's registered message with a
// hot-key code, or any other window message a test needs.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/win/utf.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace {

constexpr const char* kUsage =
    "usage: simhotkey [OPTIONS] firmware CODE\n"
    "       simhotkey [OPTIONS] message MSG [WPARAM [LPARAM]]\n"
    "  firmware CODE   the registered message \"ACPI Notification through VortaHotkey from BIOS\"\n"
    "                  with wParam CODE (0x61..0x64, 0x9D, ...)\n"
    "  message MSG     a message by number or name: WM_POWERBROADCAST, WM_WTSSESSION_CHANGE,\n"
    "                  WM_DISPLAYCHANGE, WM_ENDSESSION, WM_QUERYENDSESSION, WM_HOTKEY, WM_CLOSE,\n"
    "                  WM_QUIT, or registered:NAME for a registered message\n"
    "options:\n"
    "  --post          post and return at once (default)\n"
    "  --send          send and wait for the window procedure; prints its result\n"
    "  --timeout MS    longest wait of --send (default 5000)\n"
    "  --wait MS       wait up to MS for the window to appear (default 0)\n"
    "  --class NAME    window class (default ZuServiceEventListener)\n"
    "Numbers are decimal or 0x-hexadecimal. Exit: 0 delivered, 1 failed, 2 usage, 3 no window.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

bool ParseNumber(const wchar_t* text, unsigned long long* value) {
  wchar_t* end = nullptr;
  errno = 0;
  const bool negative = *text == L'-';
  const unsigned long long v = std::wcstoull(negative ? text + 1 : text, &end, 0);
  if (!*text || *end || errno) return false;
  *value = negative ? 0 - v : v;
  return true;
}

bool ParseMessage(const std::wstring& text, UINT* message) {
  struct Named {
    const wchar_t* name;
    UINT value;
  };
  static const Named kNames[] = {
      {L"WM_POWERBROADCAST", WM_POWERBROADCAST}, {L"WM_WTSSESSION_CHANGE", WM_WTSSESSION_CHANGE},
      {L"WM_DISPLAYCHANGE", WM_DISPLAYCHANGE},   {L"WM_ENDSESSION", WM_ENDSESSION},
      {L"WM_QUERYENDSESSION", WM_QUERYENDSESSION}, {L"WM_HOTKEY", WM_HOTKEY},
      {L"WM_CLOSE", WM_CLOSE},                   {L"WM_QUIT", WM_QUIT},
  };
  for (const auto& n : kNames)
    if (text == n.name) {
      *message = n.value;
      return true;
    }
  const std::wstring registered = L"registered:";
  if (text.rfind(registered, 0) == 0 && text.size() > registered.size()) {
    *message = ::RegisterWindowMessageW(text.c_str() + registered.size());
    return *message != 0;
  }
  unsigned long long v = 0;
  if (!ParseNumber(text.c_str(), &v) || v > 0xFFFFFFFFull) return false;
  *message = static_cast<UINT>(v);
  return true;
}

int Run(int argc, wchar_t** argv) {
  bool send = false;
  DWORD timeoutMs = 5000, waitMs = 0;
  std::wstring windowClass = zu::simhotkey::kAgentWindowClass;
  int i = 1;
  for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
    const std::wstring option = argv[i];
    unsigned long long v = 0;
    if (option == L"--post") {
      send = false;
    } else if (option == L"--send") {
      send = true;
    } else if ((option == L"--timeout" || option == L"--wait") && i + 1 < argc && ParseNumber(argv[i + 1], &v) &&
               v <= 0xFFFFFFFFull) {
      (option == L"--timeout" ? timeoutMs : waitMs) = static_cast<DWORD>(v);
      ++i;
    } else if (option == L"--class" && i + 1 < argc) {
      windowClass = argv[++i];
    } else {
      return Usage();
    }
  }
  if (i >= argc) return Usage();

  const std::wstring kind = argv[i++];
  UINT message = 0;
  unsigned long long wParam = 0, lParam = 0;
  if (kind == L"firmware" && argc - i == 1) {
    message = zu::simhotkey::FirmwareMessage();
    if (!ParseNumber(argv[i], &wParam)) return Usage();
  } else if (kind == L"message" && argc - i >= 1 && argc - i <= 3) {
    if (!ParseMessage(argv[i], &message)) return Usage();
    if (argc - i >= 2 && !ParseNumber(argv[i + 1], &wParam)) return Usage();
    if (argc - i >= 3 && !ParseNumber(argv[i + 2], &lParam)) return Usage();
  } else {
    return Usage();
  }

  using zu::simhotkey::Delivery;
  const auto result = zu::simhotkey::Deliver(message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                                             send ? Delivery::kSend : Delivery::kPost, waitMs, timeoutMs,
                                             windowClass.c_str());
  if (!result.windowFound) {
    std::fprintf(stderr, "simhotkey: no window of class %s\n", zu::win::ToUtf8(windowClass).c_str());
    return 3;
  }
  if (!result.delivered) {
    std::fprintf(stderr, "simhotkey: %s failed (error %lu)\n", send ? "SendMessageTimeoutW" : "PostMessageW",
                 result.error);
    return 1;
  }
  if (send) std::printf("result 0x%llx\n", static_cast<unsigned long long>(result.value));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
