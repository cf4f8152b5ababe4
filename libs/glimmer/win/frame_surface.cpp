#include "libs/glimmer/win/frame_surface.h"

#include <cstring>

namespace glimmer {

bool FrameSurface::Prepare(HDC compatible, int width, int height, bool clear) {
  if (width <= 0 || height <= 0) return false;
  if (dc_ && width == width_ && height == height_) {
    ::GdiFlush();  // nothing of the last frame may still be on its way
    if (clear) std::memset(pixels_, 0, static_cast<size_t>(width) * height * sizeof *pixels_);
    return true;
  }
  Release();
  dc_ = ::CreateCompatibleDC(compatible);
  if (!dc_) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_ || !bits) {
    Release();
    return false;
  }
  previous_ = ::SelectObject(dc_, bitmap_);
  pixels_ = static_cast<uint32_t*>(bits);  // a new DIB section starts cleared
  width_ = width;
  height_ = height;
  return true;
}

void FrameSurface::Release() {
  if (dc_ && previous_) ::SelectObject(dc_, previous_);
  if (bitmap_) ::DeleteObject(bitmap_);
  if (dc_) ::DeleteDC(dc_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  previous_ = nullptr;
  pixels_ = nullptr;
  width_ = height_ = 0;
}

}  // namespace glimmer
