// Source-over of premultiplied layers and clipping at the frame's edges.
#include <gtest/gtest.h>

#include "libs/glimmer/frame_compose.h"

namespace glimmer {
namespace {

constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

PixelLayer Solid(int w, int h, uint32_t pixel) { return {w, h, std::vector<uint32_t>(w * h, pixel)}; }

TEST(FrameCompose, SourceOverOfPremultipliedPixels) {
  std::vector<uint32_t> pixels(1, 0);
  FrameView frame{pixels.data(), 1, 1};
  // Onto nothing: the layer itself.
  BlendOver(frame, Solid(1, 1, Argb(220, 30, 34, 40)), 0, 0);
  EXPECT_EQ(pixels[0], Argb(220, 30, 34, 40));
  // Opaque white wins outright.
  BlendOver(frame, Solid(1, 1, Argb(255, 255, 255, 255)), 0, 0);
  EXPECT_EQ(pixels[0], Argb(255, 255, 255, 255));
  // Half-transparent blue (premultiplied 128) over opaque black.
  pixels[0] = Argb(255, 0, 0, 0);
  BlendOver(frame, Solid(1, 1, Argb(128, 0, 0, 128)), 0, 0);
  EXPECT_EQ(pixels[0], Argb(255, 0, 0, 128));
  // Half over half: alpha 128 + 128 * 127 / 255 = 192.
  pixels[0] = Argb(128, 64, 64, 64);
  BlendOver(frame, Solid(1, 1, Argb(128, 128, 0, 0)), 0, 0);
  EXPECT_EQ(pixels[0], Argb(192, 160, 32, 32));
  // Fully transparent changes nothing.
  BlendOver(frame, Solid(1, 1, 0), 0, 0);
  EXPECT_EQ(pixels[0], Argb(192, 160, 32, 32));
}

TEST(FrameCompose, LayersAreClippedToTheFrame) {
  std::vector<uint32_t> pixels(4 * 3, 0);
  FrameView frame{pixels.data(), 4, 3};
  PixelLayer layer{3, 2, {1u << 24 | 1, 2u << 24 | 2, 3u << 24 | 3, 4u << 24 | 4, 5u << 24 | 5, 6u << 24 | 6}};
  BlendOver(frame, layer, 2, 2);  // only the top-left 2 x 1 fits
  EXPECT_EQ(pixels[2 * 4 + 2], 1u << 24 | 1);
  EXPECT_EQ(pixels[2 * 4 + 3], 2u << 24 | 2);
  BlendOver(frame, layer, -2, -1);  // only the bottom-right 1 x 1 fits
  EXPECT_EQ(pixels[0], 6u << 24 | 6);
  int drawn = 0;
  for (uint32_t p : pixels) drawn += p != 0;
  EXPECT_EQ(drawn, 3);
  BlendOver(frame, layer, 10, 10);  // outside entirely
  BlendOver(frame, PixelLayer{3, 2, {}}, 0, 0);  // a layer without its pixels is ignored
  drawn = 0;
  for (uint32_t p : pixels) drawn += p != 0;
  EXPECT_EQ(drawn, 3);
}

}  // namespace
}  // namespace glimmer
