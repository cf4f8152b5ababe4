// One message sent to an empty window procedure on the same thread: what
// Wine itself costs a dispatch, before any service is called.
//
//   floor_dispatch [--messages N]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define kRounds 7

static UINT g_firmware;

static int Compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}
static double Median(double* values) {
  qsort(values, kRounds, sizeof *values, Compare);
  return values[kRounds / 2];
}

// Does nothing with the message; window creation still needs the defaults.
static LRESULT CALLBACK EmptyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_firmware) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
  int messages = 20000;
  if (argc == 3 && strcmp(argv[1], "--messages") == 0 && atoi(argv[2]) > 0) messages = atoi(argv[2]);

  // The same registered message the agent receives.
  g_firmware = RegisterWindowMessageW(L"ACPI Notification through VortaHotkey from BIOS");
  WNDCLASSEXW wc = {sizeof wc};
  wc.lpfnWndProc = EmptyProc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"ZuBenchFloorDispatch";
  HWND window = RegisterClassExW(&wc) ? CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                                        NULL, NULL, wc.hInstance, NULL)
                                      : NULL;
  if (!window) {
    printf("floor dispatch: no window (error %lu)\n", GetLastError());
    return 1;
  }
  for (int i = 0; i < 1000; ++i) SendMessageW(window, g_firmware, 0x62, 0);  // warm-up

  // The median of a few rounds, as for the agent's figure.
  double us[kRounds];
  LARGE_INTEGER frequency, t0, t1;
  QueryPerformanceFrequency(&frequency);
  for (int r = 0; r < kRounds; ++r) {
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < messages; ++i) SendMessageW(window, g_firmware, 0x62, 0);
    QueryPerformanceCounter(&t1);
    us[r] = (double)(t1.QuadPart - t0.QuadPart) * 1e6 / (double)frequency.QuadPart / messages;
  }
  const double median = Median(us);
  printf("floor: message to an empty window procedure: %.2f us (median of %d rounds of %d messages)\n", median,
         kRounds, messages);
  printf("@ floor dispatch_us %.3f\n", median);
  DestroyWindow(window);
  return 0;
}
