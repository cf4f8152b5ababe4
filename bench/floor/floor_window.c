// The smallest windowed program: one hidden window of its own class and a
// message loop. What Wine itself costs a process like the agent: its private
// memory and working set after start, and its CPU use while idle.
#include <windows.h>

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

int main(void) {
  WNDCLASSEXW wc = {sizeof wc};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"ZuBenchFloorWindow";
  if (!RegisterClassExW(&wc)) return 1;
  HWND window = CreateWindowExW(0, wc.lpszClassName, wc.lpszClassName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                CW_USEDEFAULT, 0, NULL, NULL, wc.hInstance, NULL);
  if (!window) return 1;
  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
