// Independent reference for the factory gamma fit: per component, the drive
// level whose modelled panel response is nearest to the sRGB target (a full
// search instead of the fit's exponent-guided walk), mixed by the channel's
// chromaticity at full drive, with the shadows below level 30 ramped.
#pragma once

#include <cmath>

#include "libs/kelvara/cct_params.h"

namespace kelvara::testing {

inline constexpr int kGreyDriveLevels[7] = {0, 42, 86, 128, 168, 210, 255};

// The panel response between measured levels, as the fit models it.
inline double GreyResponse(const double (&v)[7], int i) {
  int seg = 0;
  while (seg < 5 && i >= kGreyDriveLevels[seg + 1]) ++seg;
  const double start = kGreyDriveLevels[seg], end = kGreyDriveLevels[seg + 1];
  const double t = std::floor(255 * (i - start) / (end - start) + 0.5) / 255;
  static const double power[6] = {2.2, 0, 1.17, 1.12, 1.09, 1.08};
  const double shape = seg == 1 ? 6e-6 * (255 * t) * (255 * t) + 0.002305 * 255 * t + 7.99e-4 : std::pow(t, power[seg]);
  return v[seg] + (v[seg + 1] - v[seg]) * shape;
}

inline void GammaReference(const GammaFitInput& fit, int (&out)[256][3]) {
  for (int c = 0; c < 3; ++c) {
    double weight[3], top[3];
    int index[3][256];
    for (int k = 0; k < 3; ++k) {
      double v[7];
      for (int n = 0; n < 7; ++n) v[n] = fit.xyz[c][n][k];
      top[k] = v[6];
      for (int j = 0; j < 256; ++j) {
        const double b = j / 255.0;
        const double target = (b < 0.04045 ? b / 12.92 : std::pow((b + 0.055) / 1.055, 2.4)) * v[6];
        int best = 0;
        for (int d = 1; d < 256; ++d) {
          if (std::fabs(GreyResponse(v, d) - target) < std::fabs(GreyResponse(v, best) - target)) best = d;
        }
        index[k][j] = best;
      }
    }
    for (int k = 0; k < 3; ++k) weight[k] = top[k] / (top[0] + top[1] + top[2]);
    int curve[256];
    for (int j = 0; j < 256; ++j) {
      curve[j] = static_cast<int>(weight[0] * index[0][j] + weight[1] * index[1][j] + weight[2] * index[2][j] + 0.5);
    }
    int n = 0;
    while (n < 256 && curve[n] <= 30) ++n;
    if (n > 0 && n < 256) {
      const int v = curve[n];
      for (int d = 0; d <= n; ++d) curve[d] = static_cast<int>(static_cast<double>(d) / n * v + 0.5);
    }
    for (int j = 0; j < 256; ++j) out[j][c] = curve[j];
  }
}

}  // namespace kelvara::testing
