// popupwatch.exe: waits until the event agent's process shows a pop-up (a
// visible top-level dialog window of the process that owns the window
// "ZuServiceEventListener") and prints its place and size. A script's check
// that a hot key really put the pop-up on the screen.
//
//   popupwatch [--wait MS]      exit code 0 shown, 1 none in time, 3 no agent
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Search {
  DWORD process = 0;
  HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t cls[16] = {};
  ::GetClassNameW(window, cls, 16);
  if (owner == search->process && ::IsWindowVisible(window) && std::wcscmp(cls, L"#32770") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DWORD waitMs = 5000;
  if (argc == 3 && std::wcscmp(argv[1], L"--wait") == 0) waitMs = std::wcstoul(argv[2], nullptr, 0);
  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  Search search;
  do {
    HWND agent = ::FindWindowW(L"ZuServiceEventListener", nullptr);
    if (agent) {
      ::GetWindowThreadProcessId(agent, &search.process);
      ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
      if (search.found) {
        RECT r = {};
        ::GetWindowRect(search.found, &r);
        std::printf("pop-up shown: %ld x %ld at %ld,%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
      }
    }
    ::Sleep(10);
  } while (::GetTickCount64() < deadline);
  if (search.process == 0) {
    std::printf("no agent window\n");
    return 3;
  }
  std::printf("no pop-up within %lu ms\n", waitMs);
  return 1;
}
