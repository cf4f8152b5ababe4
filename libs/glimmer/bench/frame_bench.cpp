// Time to draw and present one pop-up frame at each layout band, under the
// real library: a display request from another thread, drawn on the pop-up's
// thread into its off-screen bitmap and pushed to the layered window.
//
//   glimmer_frame_bench [rounds]      (default 60 frames per band)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

using glimmer::testing::Display;
using glimmer::testing::ModalPopup;
using glimmer::testing::PopupProbe;

namespace glimmer::testing {
HWND ModalPopup::window() const { return FindPopupWindow(threadId_); }
}  // namespace glimmer::testing

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
  struct Band {
    const char* name;
    int width, height;
  } bands[] = {
      {"below 1024 (800x600)", 800, 600},
      {"1024-1920 (1920x1080)", 1920, 1080},
      {"1921-2048 (2048x1152)", 2048, 1152},
      {"above 2048 (2560x1440)", 2560, 1440},
      {"above 2048 (3840x2160)", 3840, 2160},
  };
  // Kinds that use dictionary texts and images, both sizes.
  const std::pair<int, int> requests[] = {{4, 0}, {3, 1}, {2, 2}, {5, 1}, {6, 0}, {1, 2}};

  PopupProbe probe;
  probe.CopyPixels(false);
  std::printf("glimmer frame benchmark: %d frames per band (draw + present, request to result)\n", rounds);
  std::printf("%-26s %9s %9s %9s %9s %11s  %s\n", "band", "mean ms", "median", "p95", "max", "first frame",
              "window");
  bool allUnder = true;
  for (const Band& band : bands) {
    probe.SetScreen(band.width, band.height);
    ModalPopup popup;
    // The first frame of each image also decodes it and scales it to its box.
    const auto coldStart = std::chrono::steady_clock::now();
    Display(4, 0);
    const double cold = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - coldStart).count();
    for (const auto& [kind, value] : requests) Display(kind, value);
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
      const auto [kind, value] = requests[i % std::size(requests)];
      const auto start = std::chrono::steady_clock::now();
      const int result = Display(kind, value);
      const auto end = std::chrono::steady_clock::now();
      if (result != OSD_SUCCESS) {
        std::printf("request %d/%d failed with %d\n", kind, value, result);
        return 1;
      }
      ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    const double mean = sum / ms.size();
    const auto frames = probe.Frames();
    const SIZE size = frames.empty() ? SIZE{0, 0} : frames.back().size;
    std::printf("%-26s %9.2f %9.2f %9.2f %9.2f %11.2f  %ldx%ld\n", band.name, mean, ms[ms.size() / 2],
                ms[ms.size() * 95 / 100], ms.back(), cold, size.cx, size.cy);
    allUnder = allUnder && mean < 5.0;
    probe.Reset();
  }
  std::printf("target: under 5 ms per frame (mean, after the first frame of each image): %s\n",
              allUnder ? "met" : "NOT met");
  return 0;
}
