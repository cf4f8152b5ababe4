// Composing a pop-up frame from ready layers: premultiplied 32-bit pixels
// (B, G, R, A from the low byte up, as a top-down Windows DIB holds them)
// laid over each other with source-over, clipped to the frame.
#pragma once

#include <cstdint>
#include <vector>

namespace glimmer {

struct PixelLayer {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows top-down
};

struct FrameView {
  uint32_t* pixels = nullptr;  // width * height, rows top-down
  int width = 0;
  int height = 0;
};

// Lays `layer` over the frame with its top-left corner at (x, y); parts
// outside the frame are left out.
void BlendOver(const FrameView& frame, const PixelLayer& layer, int x, int y);

}  // namespace glimmer
