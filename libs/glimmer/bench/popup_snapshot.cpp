// Writes what the pop-up shows for one request as PNG files, from the frame
// the library pushes to its layered window: the frame itself (with its
// transparency) and the frame composed over a plain desktop background.
//
//   glimmer_popup_snapshot OUT_PREFIX [kind value [width height]]
//   (default: kind 4 value 0 on a 1920 x 1080 screen)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/win/utf.h"
#include "libs/glimmer/bench/png_file.h"
#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

using glimmer::testing::Display;
using glimmer::testing::Frame;
using glimmer::testing::ModalPopup;
using glimmer::testing::PopupProbe;

namespace glimmer::testing {
HWND ModalPopup::window() const { return FindPopupWindow(threadId_); }
}  // namespace glimmer::testing

namespace {

// Source-over of the premultiplied frame (at its constant alpha) on a
// vertical blue-grey gradient, with a margin around the window.
std::vector<uint32_t> OverDesktop(const Frame& f, int margin, int* width, int* height) {
  *width = f.size.cx + 2 * margin;
  *height = f.size.cy + 2 * margin;
  std::vector<uint32_t> out(static_cast<size_t>(*width) * *height);
  for (int y = 0; y < *height; ++y) {
    for (int x = 0; x < *width; ++x) {
      const double t = static_cast<double>(y) / *height;
      uint32_t below = 0xFF000000u | (static_cast<uint32_t>(70 + 60 * t) << 16) |
                       (static_cast<uint32_t>(110 + 50 * t) << 8) | static_cast<uint32_t>(160 + 40 * t);
      const int fx = x - margin, fy = y - margin;
      if (fx >= 0 && fy >= 0 && fx < f.size.cx && fy < f.size.cy) below = glimmer::tools::Over(f.At(fx, fy), f.alpha, below);
      out[static_cast<size_t>(y) * *width + x] = below;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_PREFIX [kind value [width height]]\n", argv[0]);
    return 2;
  }
  const std::wstring prefix = zu::win::FromUtf8(argv[1]);
  const int kind = argc > 3 ? std::atoi(argv[2]) : 4;
  const int value = argc > 3 ? std::atoi(argv[3]) : 0;
  const int width = argc > 5 ? std::atoi(argv[4]) : 1920;
  const int height = argc > 5 ? std::atoi(argv[5]) : 1080;

  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  int status = 0;
  {
    PopupProbe probe;
    probe.SetScreen(width, height);
    ModalPopup popup;
    probe.Reset();
    const int result = Display(kind, value);
    const auto frames = probe.Frames();
    if (result != OSD_SUCCESS || frames.empty() || frames[0].pixels.empty()) {
      std::fprintf(stderr, "request %d/%d gave %d with %zu frames\n", kind, value, result, frames.size());
      status = 1;
    } else {
      const Frame& f = frames[0];
      int w = 0, h = 0;
      const auto composed = OverDesktop(f, 40, &w, &h);
      const bool ok = glimmer::tools::SavePng(f.pixels, f.size.cx, f.size.cy, prefix + L"-frame.png") &&
                      glimmer::tools::SavePng(composed, w, h, prefix + L".png");
      std::printf("kind %d value %d on %dx%d: window %ldx%ld at (%ld, %ld)%s\n", kind, value, width, height,
                  f.size.cx, f.size.cy, f.position.x, f.position.y, ok ? "" : " (writing failed)");
      status = ok ? 0 : 1;
    }
  }
  Gdiplus::GdiplusShutdown(token);
  return status;
}
