// A PNG image decoded from the library's resources (type "PNG").
#pragma once

#include <windows.h>

#include <memory>

#include "base/win/com_ptr.h"
#include "libs/glimmer/win/gdiplus_include.h"

namespace glimmer {

class ResourceImage {
 public:
  // Empty when the resource is missing or does not decode.
  static ResourceImage Load(HMODULE module, int id);

  ResourceImage() = default;
  ResourceImage(ResourceImage&&) = default;
  ResourceImage& operator=(ResourceImage&&) = default;
  ~ResourceImage() { bitmap_.reset(); }  // the image before the stream it reads

  Gdiplus::Bitmap* get() const { return bitmap_.get(); }
  explicit operator bool() const { return bitmap_ != nullptr; }

 private:
  // GDI+ may read the stream until the image is gone, so the copy of the
  // resource lives exactly as long as the image.
  zu::win::ComPtr<IStream> stream_;
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
};

}  // namespace glimmer
