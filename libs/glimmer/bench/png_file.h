// Writing pop-up frames as PNG files, for the snapshot and contact-sheet tools.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "libs/glimmer/win/gdiplus_include.h"

namespace glimmer::tools {

inline bool PngEncoder(CLSID* clsid) {
  UINT count = 0, bytes = 0;
  Gdiplus::GetImageEncodersSize(&count, &bytes);
  if (bytes == 0) return false;
  std::vector<BYTE> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, bytes, codecs);
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/png") {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// Premultiplied BGRA pixels, top-down.
inline bool SavePng(const std::vector<uint32_t>& pixels, int width, int height, const std::wstring& path) {
  CLSID png;
  if (!PngEncoder(&png)) return false;
  std::vector<uint32_t> copy = pixels;
  Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(copy.data()));
  return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// Source-over of one premultiplied pixel at a constant alpha on an opaque one.
inline uint32_t Over(uint32_t source, int constantAlpha, uint32_t below) {
  const double k = constantAlpha / 255.0;
  const double a = ((source >> 24) & 0xFF) * k / 255.0;
  auto channel = [&](int shift) {
    const double value = ((source >> shift) & 0xFF) * k + ((below >> shift) & 0xFF) * (1 - a);
    return static_cast<uint32_t>(value > 255 ? 255 : value) << shift;
  };
  return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

}  // namespace glimmer::tools
