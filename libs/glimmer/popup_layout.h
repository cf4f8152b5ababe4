// Where the pop-up and its three boxes go on a screen of a given size.
//
// The band (window size, boxes, font) is chosen by the screen width at the
// time the pop-up started; after a display change the band stays and every
// length is multiplied by a rescale factor instead.
#pragma once

namespace glimmer {

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct LayoutRequest {
  int screenWidth = 0;    // now
  int screenHeight = 0;   // now
  int startWidth = 0;     // when the pop-up started
  double displayScale = 1.0;
  bool rescale = false;   // after a display change
};

struct PopupLayout {
  double factor = 1.0;      // every length is multiplied by this
  bool largeScreen = false; // use the large icons
  PixelRect window;         // screen coordinates
  PixelRect plate;          // client coordinates of box 1000 (background)
  PixelRect icon;           // box 1001
  PixelRect text;           // box 1002 (caption)
  double fontSize = 0;      // pixels; drawn at its whole part
};

// Logical pixels per inch of the screen divided by 96, at least 1.
double DisplayScaleFromDpi(int dpiX);

// Screens whose width (divided by the scale without rescale) reaches this
// get the large icons.
inline constexpr int kLargeScreenWidth = 2000;

PopupLayout ComputeLayout(const LayoutRequest& request);

}  // namespace glimmer
