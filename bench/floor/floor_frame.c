// A bare layered window of the pop-up's size on a thread of its own, updated
// with UpdateLayeredWindow when a posted message arrives: what Wine itself
// costs from a request to a frame presented, without drawing anything.
//
//   floor_frame --size WIDTH HEIGHT [--presses N]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define kPresentMessage (WM_APP + 1)

static int g_width = 300, g_height = 150;
static HWND g_window;
static HDC g_memoryDc;
static HANDLE g_ready, g_presented;
static LARGE_INTEGER g_presentedAt;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPresentMessage) {
    POINT destination = {100, 100}, source = {0, 0};
    SIZE size = {g_width, g_height};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, NULL, &destination, &size, g_memoryDc, &source, 0, &blend, ULW_ALPHA);
    QueryPerformanceCounter(&g_presentedAt);
    SetEvent(g_presented);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

static DWORD WINAPI WindowThread(void* unused) {
  (void)unused;
  WNDCLASSEXW wc = {sizeof wc};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"ZuBenchFloorFrame";
  RegisterClassExW(&wc);
  g_window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                             wc.lpszClassName, L"", WS_POPUP, 100, 100, g_width, g_height, NULL, NULL, wc.hInstance,
                             NULL);
  BITMAPINFO info = {{sizeof info.bmiHeader}};
  info.bmiHeader.biWidth = g_width;
  info.bmiHeader.biHeight = -g_height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = NULL;
  HDC screen = GetDC(NULL);
  g_memoryDc = CreateCompatibleDC(screen);
  ReleaseDC(NULL, screen);
  HBITMAP bitmap = CreateDIBSection(g_memoryDc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!g_window || !bitmap || !bits) {
    SetEvent(g_ready);
    return 1;
  }
  // A premultiplied, mostly opaque dark plate, like the pop-up's.
  for (int i = 0; i < g_width * g_height; ++i) ((UINT32*)bits)[i] = 0xED202020u;
  SelectObject(g_memoryDc, bitmap);
  SendMessageW(g_window, kPresentMessage, 0, 0);
  ShowWindow(g_window, SW_SHOWNOACTIVATE);
  SetEvent(g_ready);
  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

static int Compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

int main(int argc, char** argv) {
  int presses = 200;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--size") == 0 && i + 2 < argc) {
      g_width = atoi(argv[i + 1]);
      g_height = atoi(argv[i + 2]);
      i += 2;
    } else if (strcmp(argv[i], "--presses") == 0 && i + 1 < argc) {
      presses = atoi(argv[++i]);
    }
  }
  if (g_width <= 0 || g_height <= 0 || presses <= 0) {
    printf("usage: floor_frame --size WIDTH HEIGHT [--presses N]\n");
    return 2;
  }
  g_ready = CreateEventW(NULL, FALSE, FALSE, NULL);
  g_presented = CreateEventW(NULL, FALSE, FALSE, NULL);
  HANDLE thread = CreateThread(NULL, 0, WindowThread, NULL, 0, NULL);
  WaitForSingleObject(g_ready, INFINITE);
  ResetEvent(g_presented);  // the first frame, made before the window was shown
  if (!g_window || !g_memoryDc) {
    printf("floor frame: no layered window\n");
    return 1;
  }
  double* ms = (double*)calloc((size_t)presses, sizeof *ms);
  LARGE_INTEGER frequency, t0;
  QueryPerformanceFrequency(&frequency);
  for (int i = 0; i < presses; ++i) {
    Sleep(30);  // the same pause between presses as the pop-up's benchmark
    QueryPerformanceCounter(&t0);
    PostMessageW(g_window, kPresentMessage, 0, 0);
    if (WaitForSingleObject(g_presented, 5000) != WAIT_OBJECT_0) {
      printf("floor frame: no frame within 5 s\n");
      return 1;
    }
    ms[i] = (double)(g_presentedAt.QuadPart - t0.QuadPart) * 1e3 / (double)frequency.QuadPart;
  }
  printf("@ floor frame_samples_ms");
  for (int i = 0; i < presses; ++i) printf(" %.3f", ms[i]);
  printf("\n");
  qsort(ms, (size_t)presses, sizeof *ms, Compare);
  const int p99 = (presses * 99 + 99) / 100 - 1 < presses - 1 ? (presses * 99 + 99) / 100 - 1 : presses - 1;
  printf("floor: posted message to a bare %dx%d layered window's frame presented: median %.2f ms,"
         " 99th percentile %.2f ms, max %.2f ms over %d presses\n",
         g_width, g_height, ms[presses / 2], ms[p99], ms[presses - 1], presses);
  printf("@ floor frame_median_ms %.3f\n@ floor frame_p99_ms %.3f\n", ms[presses / 2], ms[p99]);
  PostMessageW(g_window, WM_QUIT, 0, 0);
  WaitForSingleObject(thread, 2000);
  return 0;
}
