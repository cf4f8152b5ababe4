// LUTs and panels shared by the colour tests.
#pragma once

#include <cmath>
#include <cstring>

#include "libs/kelvara/cct_params.h"

namespace kelvara::testing {

inline void FillIdentity(Lut& lut) {
  for (auto& channel : lut) {
    for (int i = 0; i < kLutEntries; ++i) channel[i] = static_cast<uint16_t>(i * 256);
  }
}

// A 16-bit ramp whose entry i is the nearest of (i / 255)^power * 65280.
inline void FillPower(Lut& lut, double power) {
  for (auto& channel : lut) {
    for (int i = 0; i < kLutEntries; ++i) {
      channel[i] = static_cast<uint16_t>(std::lround(std::pow(i / 255.0, power) * 65280));
    }
  }
}

// An sRGB panel as its ICC profile describes it (white Y = 1, D65 white).
struct Panel {
  double xyz[4][3];
};

inline Panel SrgbLikePanel() {
  return {{{0.4124, 0.2126, 0.0193},
           {0.3576, 0.7152, 0.1192},
           {0.1805, 0.0722, 0.9505},
           {0.9505, 1.0000, 1.0890}}};
}

// Factory measurements of the same kind of panel in nits: a wide-gamut
// panel with a white of about 320 nits near 7000 K.
inline Panel MeasuredPanel() {
  return {{{123.0, 63.0, 4.5},
           {100.0, 215.0, 32.0},
           {55.0, 22.0, 290.0},
           {278.0, 300.0, 326.5}}};
}

inline void SetNative(CctParams& p, const Panel& panel) { std::memcpy(p.nativeXyz, panel.xyz, sizeof p.nativeXyz); }

// Independent reference for a gain solve: the luminance scales s (each at
// most 1, the largest exactly 1) with which the primaries mix to the target
// chromaticity, by Cramer's rule on the XYZ columns. Gains are s^(1/2.2).
struct Mix {
  double scale[3];
  double luminance;  // sum of s_p * Y_p
};

inline Mix MixTo(const double (&xyz)[4][3], double x, double y) {
  const double t[3] = {x / y, 1.0, (1 - x - y) / y};
  auto det = [](const double (&m)[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  };
  double m[3][3];
  for (int row = 0; row < 3; ++row) {
    for (int p = 0; p < 3; ++p) m[row][p] = xyz[p][row];
  }
  const double d = det(m);
  double s[3];
  for (int p = 0; p < 3; ++p) {
    double mp[3][3];
    std::memcpy(mp, m, sizeof mp);
    for (int row = 0; row < 3; ++row) mp[row][p] = t[row];
    s[p] = det(mp) / d;
  }
  const double top = std::fmax(s[0], std::fmax(s[1], s[2]));
  Mix mix{};
  for (int p = 0; p < 3; ++p) {
    mix.scale[p] = s[p] / top;
    mix.luminance += mix.scale[p] * xyz[p][1];
  }
  return mix;
}

// Chromaticity of the white that the primaries give when driven with gains
// (luminance scale gain^2.2).
inline void MixedWhite(const double (&xyz)[4][3], const double (&gains)[3], double& x, double& y) {
  double sum[3] = {};
  for (int p = 0; p < 3; ++p) {
    const double s = std::pow(gains[p], 2.2);
    for (int k = 0; k < 3; ++k) sum[k] += s * xyz[p][k];
  }
  x = sum[0] / (sum[0] + sum[1] + sum[2]);
  y = sum[1] / (sum[0] + sum[1] + sum[2]);
}

}  // namespace kelvara::testing
