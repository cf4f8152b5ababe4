#include "libs/glimmer/win/resource_image.h"

#include <cstring>

namespace glimmer {

ResourceImage ResourceImage::Load(HMODULE module, int id) {
  ResourceImage image;
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (!found) return image;
  const DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data || size == 0) return image;

  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return image;
  void* target = ::GlobalLock(block);
  if (!target) {
    ::GlobalFree(block);
    return image;
  }
  std::memcpy(target, data, size);
  ::GlobalUnlock(block);
  // The stream owns the block from here (freed when the stream goes).
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, image.stream_.put()))) {
    ::GlobalFree(block);
    return image;
  }
  std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(image.stream_.get()));
  if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok) image.bitmap_ = std::move(bitmap);
  return image;
}

}  // namespace glimmer
