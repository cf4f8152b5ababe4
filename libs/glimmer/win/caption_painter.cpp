#include "libs/glimmer/win/caption_painter.h"

#include <memory>
#include <string_view>
#include <vector>

#include "libs/glimmer/caption_text.h"

namespace glimmer {
namespace {

// The text is laid out in its box's width and this many times its height,
// so that what does not fit shows below the box.
constexpr int kRoomFactor = 4;
// Room around the box in which ink outside it is seen.
constexpr int kMargin = 8;

std::u16string_view Utf16(const std::wstring& s) { return {reinterpret_cast<const char16_t*>(s.data()), s.size()}; }

struct GdiFont {
  HFONT font;
  GdiFont(int size, const std::wstring& face, DWORD quality)
      : font(::CreateFontW(size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                           CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH | FF_DONTCARE, face.c_str())) {}
  ~GdiFont() {
    if (font) ::DeleteObject(font);
  }
  GdiFont(const GdiFont&) = delete;
  GdiFont& operator=(const GdiFont&) = delete;
};

struct Selection {
  HDC dc;
  HGDIOBJ previous;
  Selection(HDC d, HGDIOBJ o) : dc(d), previous(o ? ::SelectObject(d, o) : nullptr) {}
  ~Selection() {
    if (previous) ::SelectObject(dc, previous);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
};

// A 32-bit top-down DIB section with its own device context, covering the
// frame's pixels from (x, y) on: what is drawn in frame coordinates lands
// in it shifted by its origin.
class Dib {
 public:
  Dib(HDC compatible, int x, int y, int width, int height)
      : x_(x), y_(y), width_(width), height_(height), dc_(::CreateCompatibleDC(compatible)) {
    if (!dc_) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ && bits) {
      previous_ = ::SelectObject(dc_, bitmap_);
      pixels_ = static_cast<uint32_t*>(bits);  // a new DIB section starts cleared
    }
  }
  ~Dib() {
    if (previous_) ::SelectObject(dc_, previous_);
    if (bitmap_) ::DeleteObject(bitmap_);
    if (dc_) ::DeleteDC(dc_);
  }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;

  HDC dc() const { return dc_; }
  uint32_t* pixels() const { return pixels_; }
  int x() const { return x_; }
  int y() const { return y_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int x_, y_, width_, height_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* pixels_ = nullptr;
};

// The GDI+ font from the GDI font's description, or from the device context
// holding it when GDI+ does not know its family.
std::unique_ptr<Gdiplus::Font> PlusFont(HDC dc, HFONT hfont) {
  LOGFONTW description{};
  if (hfont) ::GetObjectW(hfont, sizeof description, &description);
  std::unique_ptr<Gdiplus::Font> font(new Gdiplus::Font(dc, &description));
  if (font->GetLastStatus() != Gdiplus::Ok) font.reset(new Gdiplus::Font(dc));
  return font;
}

Gdiplus::RectF ToRectF(const Gdiplus::Rect& r, int heightFactor) {
  return Gdiplus::RectF(static_cast<Gdiplus::REAL>(r.X), static_cast<Gdiplus::REAL>(r.Y),
                        static_cast<Gdiplus::REAL>(r.Width), static_cast<Gdiplus::REAL>(r.Height * heightFactor));
}

// Whether every word kept whole fits the box's width on a line of its own.
bool WordsFit(Gdiplus::Graphics& graphics, const Gdiplus::Font& font, const Gdiplus::StringFormat& format,
              const CaptionRequest& request) {
  Gdiplus::StringFormat oneLine(&format);
  oneLine.SetFormatFlags(format.GetFormatFlags() | Gdiplus::StringFormatFlagsNoWrap);
  const Gdiplus::RectF unbounded(0, 0, 100000, 100000);
  for (std::u16string_view word : WordsKeptWhole(Utf16(request.text))) {
    Gdiplus::RectF bound;
    graphics.MeasureString(reinterpret_cast<const WCHAR*>(word.data()), static_cast<INT>(word.size()), &font,
                           unbounded, &oneLine, &bound);
    if (bound.Width > request.box.Width) return false;
  }
  return true;
}

// Draws the text with GDI+ in white into `dib` (premultiplied), laid out in
// the box with room below, or in the box itself and trimmed when `trim`.
// False when it could not be drawn; `fits` (unless null): the words kept
// whole fit.
bool DrawLeftToRight(const Dib& dib, HDC memoryDc, int size, const CaptionRequest& request, bool trim, bool* fits) {
  Gdiplus::Bitmap canvas(dib.width(), dib.height(), dib.width() * 4, PixelFormat32bppPARGB,
                         reinterpret_cast<BYTE*>(dib.pixels()));
  Gdiplus::Graphics graphics(&canvas);
  graphics.TranslateTransform(static_cast<Gdiplus::REAL>(-dib.x()), static_cast<Gdiplus::REAL>(-dib.y()));
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
  GdiFont hfont(size, request.face, PROOF_QUALITY);
  Selection selectFont(memoryDc, hfont.font);
  const std::unique_ptr<Gdiplus::Font> font = PlusFont(memoryDc, hfont.font);
  if (font->GetLastStatus() != Gdiplus::Ok) return false;
  // Centred, from the top, trimmed with an ellipsis when too long; trimmed
  // text shows no partial last line.
  Gdiplus::StringFormat format;
  format.SetAlignment(Gdiplus::StringAlignmentCenter);
  format.SetLineAlignment(Gdiplus::StringAlignmentNear);
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  if (trim) format.SetFormatFlags(format.GetFormatFlags() | Gdiplus::StringFormatFlagsLineLimit);
  if (fits) *fits = WordsFit(graphics, *font, format, request);
  const Gdiplus::SolidBrush white(Gdiplus::Color(0xFF, 0xFF, 0xFF, 0xFF));
  const bool drawn = graphics.DrawString(request.text.c_str(), static_cast<INT>(request.text.size()), font.get(),
                                         ToRectF(request.box, trim ? 1 : kRoomFactor), &format,
                                         &white) == Gdiplus::Ok;
  graphics.Flush(Gdiplus::FlushIntentionSync);
  return drawn;
}

// Draws the text with GDI in right-to-left reading order, white on black,
// and turns it into premultiplied white at the coverage.
bool DrawRightToLeft(const Dib& dib, int size, const CaptionRequest& request) {
  // Grey-scale smoothing: the coverage becomes the text's alpha.
  GdiFont hfont(size, request.face, ANTIALIASED_QUALITY);
  if (!hfont.font) return false;
  Selection selectFont(dib.dc(), hfont.font);
  ::SetViewportOrgEx(dib.dc(), -dib.x(), -dib.y(), nullptr);
  ::SetTextColor(dib.dc(), RGB(255, 255, 255));
  ::SetBkMode(dib.dc(), TRANSPARENT);
  RECT box{request.box.X, request.box.Y, request.box.X + request.box.Width,
           request.box.Y + kRoomFactor * request.box.Height};
  const int drawn = ::DrawTextW(dib.dc(), request.text.c_str(), static_cast<int>(request.text.size()), &box,
                                DT_CENTER | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_RTLREADING);
  ::GdiFlush();
  if (drawn == 0) return false;
  uint32_t* p = dib.pixels();
  for (size_t i = 0, n = static_cast<size_t>(dib.width()) * dib.height(); i < n; ++i) {
    uint32_t c = (p[i] >> 16) & 0xFF;
    if (((p[i] >> 8) & 0xFF) > c) c = (p[i] >> 8) & 0xFF;
    if ((p[i] & 0xFF) > c) c = p[i] & 0xFF;
    p[i] = c * 0x01010101u;
  }
  return true;
}

// The caption may draw on the pixel row just below its box: the layout's
// box heights are fractional, truncated to whole pixels.
constexpr int kRowBelow = 1;

// Whether all ink lies inside the box. The faintest edge of smoothing does
// not count: cut off, it does not show.
bool InkInside(const Dib& dib, const Gdiplus::Rect& box) {
  constexpr uint32_t kInk = 64;  // alpha
  const uint32_t* p = dib.pixels();
  for (int y = 0; y < dib.height(); ++y)
    for (int x = 0; x < dib.width(); ++x) {
      if ((p[static_cast<size_t>(y) * dib.width() + x] >> 24) < kInk) continue;
      const int fx = dib.x() + x, fy = dib.y() + y;
      if (fx < box.X || fx >= box.GetRight() || fy < box.Y || fy >= box.GetBottom() + kRowBelow) return false;
    }
  return true;
}

// The box's part of the drawn text: nothing is drawn outside the box.
PixelLayer BoxPart(const Dib& dib, const Gdiplus::Rect& box) {
  PixelLayer layer;
  layer.width = box.Width;
  layer.height = box.Height + kRowBelow;
  layer.pixels.assign(static_cast<size_t>(layer.width) * layer.height, 0);
  for (int y = 0; y < layer.height; ++y)
    for (int x = 0; x < box.Width; ++x) {
      const int sx = box.X - dib.x() + x, sy = box.Y - dib.y() + y;
      if (sx >= 0 && sy >= 0 && sx < dib.width() && sy < dib.height()) {
        layer.pixels[static_cast<size_t>(y) * box.Width + x] = dib.pixels()[static_cast<size_t>(sy) * dib.width() + sx];
      }
    }
  return layer;
}

}  // namespace

bool CaptionPainter::Paint(HDC memoryDc, const FrameView& frame, const CaptionRequest& request) {
  if (request.text.empty()) return true;
  const std::optional<PixelLayer> layer = Fit(memoryDc, request);
  if (!layer) return false;
  BlendOver(frame, *layer, request.box.X, request.box.Y);
  return true;
}

std::optional<PixelLayer> CaptionPainter::Fit(HDC memoryDc, const CaptionRequest& request) {
  const Gdiplus::Rect& box = request.box;
  if (box.Width <= 0 || box.Height <= 0) return std::nullopt;
  const bool rightToLeft = ReadsRightToLeft(Utf16(request.text));
  const std::vector<int> sizes = CaptionSizes(request.layoutSize);

  // Draws at sizes[i] around the box, with room below it; the box's part
  // when all ink lies inside, else nothing. A size known to fit is drawn
  // without the room and the checks.
  int lastDrawn = -1;
  auto attempt = [&](size_t i, bool check, bool* failed) -> std::optional<PixelLayer> {
    lastDrawn = static_cast<int>(i);
    Dib dib(memoryDc, box.X - kMargin, box.Y - kMargin, box.Width + 2 * kMargin,
            (check ? kRoomFactor * box.Height : box.Height) + 2 * kMargin);
    bool wordsFit = true;
    if (!dib.pixels() ||
        !(rightToLeft ? DrawRightToLeft(dib, sizes[i], request)
                      : DrawLeftToRight(dib, memoryDc, sizes[i], request, false, check ? &wordsFit : nullptr))) {
      *failed = true;
      return std::nullopt;
    }
    if (check && (!wordsFit || !InkInside(dib, box))) return std::nullopt;
    return BoxPart(dib, box);
  };

  // Fits at no size: the smallest, trimmed in the box itself.
  auto trimmed = [&]() -> std::optional<PixelLayer> {
    Dib dib(memoryDc, box.X - kMargin, box.Y - kMargin, box.Width + 2 * kMargin, box.Height + 2 * kMargin);
    if (!dib.pixels() || !(rightToLeft ? DrawRightToLeft(dib, sizes.back(), request)
                                       : DrawLeftToRight(dib, memoryDc, sizes.back(), request, true, nullptr))) {
      return std::nullopt;
    }
    return BoxPart(dib, box);
  };

  bool failed = false;
  std::optional<PixelLayer> layer;
  const auto known = fittedSizes_.find({request.text, request.face});
  if (known != fittedSizes_.end()) {
    // Drawn before in these boxes: at the size found then.
    if (known->second.fits) {
      size_t index = 0;
      while (index + 1 < sizes.size() && sizes[index] != known->second.size) ++index;
      layer = attempt(index, false, &failed);
    } else {
      layer = trimmed();
    }
    if (!layer) return std::nullopt;
  } else {
    // The layout's size first (most captions fit there), then the largest
    // smaller one that fits, found by halving (a smaller font never needs
    // more room).
    size_t found = 0;
    layer = attempt(0, true, &failed);
    if (!layer && !failed && sizes.size() > 1) {
      size_t lo = 1, hi = sizes.size() - 1;  // the largest fitting size lies in [lo, hi], or nowhere
      while (lo <= hi && !failed) {
        const size_t mid = (lo + hi) / 2;
        if (std::optional<PixelLayer> fits = attempt(mid, true, &failed)) {
          layer = std::move(fits);
          found = mid;
          if (mid == lo) break;
          hi = mid - 1;
        } else {
          lo = mid + 1;
        }
      }
      // The caption shown is the last one drawn.
      if (layer && lastDrawn != static_cast<int>(found)) layer = attempt(found, false, &failed);
    }
    if (failed) return std::nullopt;
    fittedSizes_[{request.text, request.face}] = FittedSize{layer ? sizes[found] : sizes.back(), layer.has_value()};
    if (!layer && !(layer = trimmed())) return std::nullopt;
  }
  return layer;
}

}  // namespace glimmer
