#include "libs/glimmer/tests/win/caption_check.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace glimmer::testing {
namespace {

// A character no font has: every font draws it as its missing glyph.
constexpr wchar_t kNoSuchCharacter = L'\u0378';
constexpr int kMargin = 40;     // room around the box for ink outside it
constexpr int kInk = 64;        // coverage that counts as ink
constexpr int kFrameInk = 150;  // caption ink in a frame: white text over the dark plate

struct Mask {
  int width = 0, height = 0;
  std::vector<uint8_t> cover;
  int At(int x, int y) const { return cover[static_cast<size_t>(y) * width + x]; }
  bool operator==(const Mask& other) const = default;
};

struct Bounds {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;  // inclusive
  bool empty() const { return right < 0; }
};

Bounds InkBounds(const Mask& m, int threshold) {
  Bounds b;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      if (m.At(x, y) >= threshold) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
      }
  return b;
}

// Draws `text` as the library drew `drawn`, in a layout box of the drawn
// width and `height`, placed kMargin inside a bitmap of its own.
Mask Draw(const DrawnText& drawn, const std::wstring& text, int height) {
  Mask m;
  const int boxWidth = static_cast<int>(std::lround(drawn.box.Width));
  m.width = boxWidth + 2 * kMargin;
  m.height = height + 2 * kMargin;
  m.cover.assign(static_cast<size_t>(m.width) * m.height, 0);
  if (text.empty()) return m;

  if (drawn.drawer == DrawnText::Drawer::kGdiPlus) {
    // The recorded font and format are flat-API objects, so the flat API throughout.
    using namespace Gdiplus::DllExports;
    std::vector<uint32_t> pixels(m.cover.size(), 0);
    Gdiplus::GpBitmap* canvas = nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpSolidFill* white = nullptr;
    if (GdipCreateBitmapFromScan0(m.width, m.height, m.width * 4, PixelFormat32bppPARGB,
                                  reinterpret_cast<BYTE*>(pixels.data()), &canvas) == Gdiplus::Ok &&
        GdipGetImageGraphicsContext(canvas, &graphics) == Gdiplus::Ok &&
        GdipCreateSolidFill(0xFFFFFFFF, &white) == Gdiplus::Ok) {
      GdipSetTextRenderingHint(graphics, drawn.hint);
      const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(kMargin), static_cast<Gdiplus::REAL>(kMargin),
                               drawn.box.Width, static_cast<Gdiplus::REAL>(height));
      GdipDrawString(graphics, text.c_str(), static_cast<INT>(text.size()), drawn.font.get(), &box,
                     drawn.format.get(), white);
      GdipFlush(graphics, Gdiplus::FlushIntentionSync);
    }
    if (white) GdipDeleteBrush(white);
    if (graphics) GdipDeleteGraphics(graphics);
    if (canvas) GdipDisposeImage(canvas);
    for (size_t i = 0; i < pixels.size(); ++i) m.cover[i] = static_cast<uint8_t>(pixels[i] >> 24);
    return m;
  }

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = m.width;
  info.bmiHeader.biHeight = -m.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HFONT font = ::CreateFontIndirectW(&drawn.logFont);
  if (dc && bitmap && bits && font) {
    HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::SetBkMode(dc, TRANSPARENT);
    RECT box{kMargin, kMargin, kMargin + boxWidth, kMargin + height};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, drawn.drawTextFormat);
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < m.cover.size(); ++i) {
      m.cover[i] = static_cast<uint8_t>(std::max({(p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF}));
    }
    ::SelectObject(dc, oldFont);
    ::SelectObject(dc, oldBitmap);
  }
  if (font) ::DeleteObject(font);
  if (bitmap) ::DeleteObject(bitmap);
  if (dc) ::DeleteDC(dc);
  return m;
}

// The characters of a text, a surrogate pair counted as one.
std::vector<std::wstring> Characters(const std::wstring& text) {
  std::vector<std::wstring> out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool pair = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]);
    out.push_back(text.substr(i, pair ? 2 : 1));
    if (pair) ++i;
  }
  return out;
}

bool RightToLeftLetter(wchar_t c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

// The text's first letter decides its direction (digits, spaces and
// punctuation have none).
bool StartsRightToLeft(const std::wstring& text) {
  for (wchar_t c : text) {
    if (RightToLeftLetter(c)) return true;
    if (::IsCharAlphaW(c)) return false;
  }
  return false;
}

RECT CaptionBox(HWND popup) {
  RECT window{}, box{};
  ::GetWindowRect(popup, &window);
  ::GetWindowRect(::GetDlgItem(popup, 1002), &box);
  ::OffsetRect(&box, -window.left, -window.top);
  return box;
}

int Luminance(uint32_t p) { return static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3; }

// Finds the drawn text's first word in the frame's caption box, drawn as
// the library draws it, and checks that nothing of the text lies to its
// right on its line.
void CheckOrder(const DrawnText& drawn, const RECT& box, const Frame& frame, CaptionFindings& findings) {
  const std::wstring& text = drawn.text;
  const size_t end = text.find_first_of(L" \u00A0");
  const std::wstring word = text.substr(0, end);
  const int boxHeight = box.bottom - box.top;
  const Mask alone = Draw(drawn, word, boxHeight * 6);
  const Bounds ink = InkBounds(alone, 32);
  if (ink.empty()) {
    findings.laidOutLeftToRight = true;
    findings.orderDetail = L"first word draws nothing";
    return;
  }
  const int tw = ink.right - ink.left + 1, th = ink.bottom - ink.top + 1;
  double tMean = 0;
  for (int y = 0; y < th; ++y)
    for (int x = 0; x < tw; ++x) tMean += alone.At(ink.left + x, ink.top + y);
  tMean /= tw * th;

  double best = -2;
  int bestX = 0, bestY = 0;
  for (int y0 = std::max(0, static_cast<int>(box.top) - 4); y0 + th <= std::min<int>(frame.size.cy, box.bottom + 4); ++y0) {
    for (int x0 = std::max(0, static_cast<int>(box.left) - 4); x0 + tw <= std::min<int>(frame.size.cx, box.right + 4);
         ++x0) {
      double fMean = 0;
      for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x) fMean += Luminance(frame.At(x0 + x, y0 + y));
      fMean /= tw * th;
      double num = 0, tt = 0, ff = 0;
      for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x) {
          const double t = alone.At(ink.left + x, ink.top + y) - tMean;
          const double f = Luminance(frame.At(x0 + x, y0 + y)) - fMean;
          num += t * f;
          tt += t * t;
          ff += f * f;
        }
      const double ncc = (tt > 0 && ff > 0) ? num / std::sqrt(tt * ff) : -1;
      if (ncc > best) {
        best = ncc;
        bestX = x0;
        bestY = y0;
      }
    }
  }
  wchar_t detail[160];
  if (best < 0.75) {
    findings.laidOutLeftToRight = true;
    std::swprintf(detail, 160, L"first word not found as drawn alone (match %.2f)", best);
    findings.orderDetail = detail;
    return;
  }
  int rightmost = -1;
  for (int y = bestY; y < bestY + th; ++y)
    for (int x = box.left; x < std::min<int>(frame.size.cx, box.right); ++x)
      if (Luminance(frame.At(x, y)) >= kFrameInk) rightmost = std::max(rightmost, x);
  const int wordRight = bestX + tw - 1;
  if (wordRight < rightmost - 2) {
    findings.laidOutLeftToRight = true;
    std::swprintf(detail, 160, L"first word ends at x %d, its line at x %d", wordRight, rightmost);
    findings.orderDetail = detail;
  }
}

}  // namespace

std::wstring CaptionFindings::Summary() const {
  if (ok()) return L"ok";
  std::wstring s;
  auto add = [&s](const std::wstring& part) { s += (s.empty() ? L"" : L"; ") + part; };
  if (!missingGlyphs.empty()) add(L"no glyph for " + missingGlyphs);
  if (cut) add(L"cut: " + cutDetail);
  if (laidOutLeftToRight) add(L"left to right: " + orderDetail);
  return s;
}

CaptionFindings CheckCaption(const DrawnText& drawn, HWND popup, const Frame& frame) {
  CaptionFindings findings;
  const RECT box = CaptionBox(popup);
  const int boxWidth = box.right - box.left, boxHeight = box.bottom - box.top;

  // Missing glyphs: a character drawn alone exactly as the missing glyph.
  const Mask missing = Draw(drawn, std::wstring(1, kNoSuchCharacter), boxHeight * 2);
  std::set<std::wstring> seen;
  for (const std::wstring& c : Characters(drawn.text)) {
    if (c.size() == 1 && (::iswspace(c[0]) || c[0] == L'\u00A0')) continue;
    if (!seen.insert(c).second) continue;
    if (Draw(drawn, c, boxHeight * 2) == missing) findings.missingGlyphs += c;
  }

  // Cut or overflowing: the whole text laid out in the box's width with room
  // to grow; all its ink must lie inside the box.
  const Mask whole = Draw(drawn, drawn.text, boxHeight * 6);
  const Bounds ink = InkBounds(whole, kInk);
  if (!ink.empty()) {
    const int left = ink.left - kMargin, right = ink.right - kMargin, top = ink.top - kMargin,
              bottom = ink.bottom - kMargin;
    // The row just below the box is the rest of its fractional height.
    if (left < 0 || right >= boxWidth || top < 0 || bottom > boxHeight) {
      findings.cut = true;
      wchar_t detail[160];
      std::swprintf(detail, 160, L"ink x %d..%d, y %d..%d in a %dx%d box", left, right, top, bottom, boxWidth,
                    boxHeight);
      findings.cutDetail = detail;
    }
  }

  findings.rightToLeft = StartsRightToLeft(drawn.text);
  if (findings.rightToLeft) CheckOrder(drawn, box, frame, findings);
  return findings;
}

}  // namespace glimmer::testing
