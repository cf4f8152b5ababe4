#include "libs/kelvara/colour/gamma_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kelvara {

namespace {

constexpr int kExponentSteps = 1000;  // 0.00 .. 9.99
constexpr int kShadowThreshold = 30;
constexpr int kTop = kGreyLevels - 1;  // index of drive level 255

// (level / 255)^g for every candidate exponent, shared by the nine fits.
struct PowerTable {
  double value[kExponentSteps][kGreyLevels];
  explicit PowerTable(const GammaFitInput& input) {
    for (int g = 0; g < kExponentSteps; ++g) {
      for (int n = 0; n < kGreyLevels; ++n) value[g][n] = std::pow(input.levels[n] / 255.0, g / 100.0);
    }
  }
};

double FitExponent(const PowerTable& powers, const double (&measured)[kGreyLevels]) {
  double ratio[kGreyLevels];
  for (int n = 0; n < kGreyLevels; ++n) ratio[n] = measured[n] / measured[kTop];
  int best = 0;
  double bestError = 0;
  for (int g = 0; g < kExponentSteps; ++g) {
    double error = 0;
    for (int n = 0; n < kGreyLevels; ++n) {
      const double d = powers.value[g][n] - ratio[n];
      error += d * d;
    }
    if (g == 0 || error < bestError) {
      best = g;
      bestError = error;
    }
  }
  return best / 100.0;
}

double SegmentShape(int segment, double t) {
  switch (segment) {
    case 0: return std::pow(t, 2.2);
    case 1: {
      const double s = 255 * t;
      return 6e-6 * s * s + 0.002305 * s + 7.99e-4;
    }
    case 2: return std::pow(t, 1.17);
    case 3: return std::pow(t, 1.12);
    case 4: return std::pow(t, 1.09);
    default: return std::pow(t, 1.08);
  }
}

// Measurements of one component of one channel spread to 256 entries; each
// segment owns its start level, the last one also level 255.
void Interpolate(const int (&levels)[kGreyLevels], const double (&measured)[kGreyLevels], double (&curve)[kLutEntries]) {
  for (int segment = 0; segment < kTop; ++segment) {
    const int start = levels[segment];
    const int end = levels[segment + 1];
    const int last = segment == kTop - 1 ? end : end - 1;
    for (int i = start; i <= last; ++i) {
      const double t = static_cast<int>(255.0 * (i - start) / (end - start) + 0.5) / 255.0;
      curve[i] = measured[segment] + (measured[segment + 1] - measured[segment]) * SegmentShape(segment, t);
    }
  }
}

double TargetCurve(double b, double exponent) {
  if (exponent != 0) return std::pow(b, exponent);
  return b < 0.04045 ? b / 12.92 : std::pow((b + 0.055) / 1.055, 2.4);
}

// Drive index whose interpolated value comes closest to the target curve
// at every entry.
void Invert(const double (&curve)[kLutEntries], double top, double exponent, double g, int (&index)[kLutEntries]) {
  for (int j = 0; j < kLutEntries; ++j) {
    const double target = TargetCurve(j / 255.0, exponent) * top;
    int k = LutIndex(255 * std::pow(target / top, 1 / g));
    if (curve[k] > target) {
      while (k > 0 && curve[k] > target && std::fabs(curve[k - 1] - target) < std::fabs(curve[k] - target)) --k;
    } else if (curve[k] < target) {
      while (k <= 254 && curve[k] < target && std::fabs(curve[k + 1] - target) < std::fabs(curve[k] - target)) ++k;
    }
    index[j] = std::max(k, 0);
  }
}

bool Usable(const GammaFitInput& input) {
  if (!std::isfinite(input.exponent)) return false;
  if (input.levels[0] != 0 || input.levels[kTop] != 255) return false;
  for (int n = 1; n < kGreyLevels; ++n) {
    if (input.levels[n] <= input.levels[n - 1]) return false;
  }
  for (const auto& channel : input.xyz) {
    for (const auto& row : channel) {
      for (double v : row) {
        if (!std::isfinite(v)) return false;
      }
    }
    for (double top : channel[kTop]) {
      if (!(top > 0)) return false;
    }
  }
  return true;
}

}  // namespace

int GammaFit(const GammaFitInput& input, Lut8& levels) {
  if (!Usable(input)) {
    std::printf("GammaFit: measured grey levels unusable (drive levels out of order, a value that is not finite, or a full-drive value not above 0), fit skipped\n");
    return kGammaFitRejected;
  }
  const PowerTable powers(input);
  for (int c = 0; c < kLutChannels; ++c) {
    int index[3][kLutEntries];
    double top[3];
    for (int comp = 0; comp < 3; ++comp) {
      double measured[kGreyLevels];
      for (int n = 0; n < kGreyLevels; ++n) measured[n] = input.xyz[c][n][comp];
      double curve[kLutEntries];
      Interpolate(input.levels, measured, curve);
      top[comp] = curve[255];
      Invert(curve, measured[kTop], input.exponent, FitExponent(powers, measured), index[comp]);
    }
    const double sum = top[0] + top[1] + top[2];
    int channel[kLutEntries];
    for (int j = 0; j < kLutEntries; ++j) {
      channel[j] = static_cast<int>(top[0] / sum * index[0][j] + top[1] / sum * index[1][j] +
                                    top[2] / sum * index[2][j] + 0.5);
    }
    int first = -1;
    for (int j = 0; j < kLutEntries; ++j) {
      if (channel[j] > kShadowThreshold) {
        first = j;
        break;
      }
    }
    if (first > 0) {
      const int v = channel[first];
      for (int d = 0; d <= first; ++d) channel[d] = static_cast<int>(static_cast<double>(d) / first * v + 0.5);
    }
    for (int j = 0; j < kLutEntries; ++j) levels[j][c] = channel[j];
  }
  return 0;
}

}  // namespace kelvara
