// The off-screen bitmap a frame is drawn into: a top-down 32-bit DIB
// section selected into a memory device context, in the premultiplied ARGB
// form a layered window takes.
//
// It is kept from frame to frame while the window keeps its size. The first
// write to each page of a fresh DIB section is a page fault, which costs
// about 13 us on our virtual test machines, so a new 550 x 553 bitmap per
// frame spent more time being touched than being drawn; a kept one is only
// cleared.
#pragma once

#include <windows.h>

#include <cstdint>

namespace glimmer {

class FrameSurface {
 public:
  FrameSurface() = default;
  FrameSurface(const FrameSurface&) = delete;
  FrameSurface& operator=(const FrameSurface&) = delete;
  ~FrameSurface() { Release(); }

  // A surface of this size, made compatible with `compatible` when it has
  // to be (re)made, and cleared (fully transparent) unless `clear` is false
  // (the caller overwrites every pixel); false when it cannot be made.
  bool Prepare(HDC compatible, int width, int height, bool clear = true);
  void Release();

  HDC dc() const { return dc_; }
  uint32_t* pixels() const { return pixels_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace glimmer
