#include "libs/glimmer/popup_layout.h"

namespace glimmer {
namespace {

// One band's lengths at factor 1.
struct Band {
  double windowW, windowH, drop;
  double iconX, iconY, iconSide;
  double textX, textY, textW, textH;
  double font;
};

constexpr Band kHuge = {550, 553, 400, 110, 50, 325, 45, 390, 455, 109, 60};        // above 2048
constexpr Band kLarge = {330, 331.8, 240, 66, 30, 195, 27, 234, 273, 65.4, 36};     // 1921 to 2048
constexpr Band kNormal = {220, 221.2, 160, 44, 20, 130, 18, 156, 182, 43.6, 24};    // 1024 to 1920
constexpr Band kSmall = {110, 110.6, 80, 22, 10, 65, 9, 78, 91, 21.8, 12};          // below 1024

const Band& BandFor(int startWidth) {
  if (startWidth > 2048) return kHuge;
  if (startWidth > 1920) return kLarge;
  if (startWidth >= 1024) return kNormal;
  return kSmall;
}

double RescaleFactor(int now, int start) {
  if (now == start || start <= 0) return 1.0;
  const double ratio = static_cast<double>(now) / start;
  if (start > 2048) return now > start ? ratio - 0.1 : ratio - 0.04;
  if (start > 1920) return ratio - 0.1;
  if (start >= 1024) return now > start ? ratio + 0.25 : 1.0;
  return 1.0;
}

// Whole pixels by truncation; the tiny bias keeps products such as
// 550 * 1.9 from landing just below the integer they represent.
int Pixels(double length, double factor) { return static_cast<int>(length * factor + 1e-9); }

}  // namespace

double DisplayScaleFromDpi(int dpiX) {
  const double scale = dpiX / 96.0;
  return scale < 1.0 ? 1.0 : scale;
}

PopupLayout ComputeLayout(const LayoutRequest& r) {
  PopupLayout out;
  const double scale = r.displayScale < 1.0 ? 1.0 : r.displayScale;
  out.largeScreen = r.rescale ? r.screenWidth >= kLargeScreenWidth
                              : r.screenWidth / scale >= kLargeScreenWidth;
  out.factor = r.rescale ? RescaleFactor(r.screenWidth, r.startWidth) : 1.0;

  const Band& band = BandFor(r.startWidth);
  const double c = out.factor;
  const int w = Pixels(band.windowW, c);
  const int h = Pixels(band.windowH, c);
  const int drop = Pixels(band.drop, c);
  out.window = {r.screenWidth / 2 - w / 2, r.screenHeight / 2 + drop - h / 2, w, h};
  out.plate = {3, 3, w - 3, h - 3};
  const int side = Pixels(band.iconSide, c);
  out.icon = {Pixels(band.iconX, c), Pixels(band.iconY, c), side, side};
  out.text = {Pixels(band.textX, c), Pixels(band.textY, c), Pixels(band.textW, c), Pixels(band.textH, c)};
  out.fontSize = band.font * c;
  return out;
}

}  // namespace glimmer
