#include "libs/glimmer/frame_compose.h"

#include <algorithm>

namespace glimmer {
namespace {

// a * b / 255, rounded, for bytes.
inline uint32_t Scale255(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

inline uint32_t Over(uint32_t src, uint32_t dst) {
  const uint32_t sa = src >> 24;
  if (sa == 255 || dst == 0) return src;
  if (sa == 0) return dst;
  const uint32_t keep = 255 - sa;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t s = (src >> shift) & 0xFF;
    const uint32_t d = (dst >> shift) & 0xFF;
    out |= std::min<uint32_t>(255, s + Scale255(d, keep)) << shift;
  }
  return out;
}

}  // namespace

void BlendOver(const FrameView& frame, const PixelLayer& layer, int x, int y) {
  if (!frame.pixels || layer.pixels.size() < static_cast<size_t>(layer.width) * layer.height) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + layer.width, frame.width), y1 = std::min(y + layer.height, frame.height);
  for (int fy = y0; fy < y1; ++fy) {
    uint32_t* out = frame.pixels + static_cast<size_t>(fy) * frame.width;
    const uint32_t* in = layer.pixels.data() + static_cast<size_t>(fy - y) * layer.width - x;
    for (int fx = x0; fx < x1; ++fx) out[fx] = Over(in[fx], out[fx]);
  }
}

}  // namespace glimmer
