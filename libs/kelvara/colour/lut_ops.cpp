#include "libs/kelvara/colour/lut_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "libs/kelvara/codec/debug_trace.h"

namespace kelvara {

int LutIndex(double position) {
  const double rounded = position + 0.5;
  if (!(rounded >= 1.0)) return 0;  // also NaN
  if (rounded >= 255.0) return 255;
  return static_cast<int>(rounded);
}

void ApplyGains(const Lut& source, const GainTriple& gains, Lut& destination) {
  Lut copy;
  std::memcpy(copy, source, sizeof copy);
  for (int c = 0; c < kLutChannels; ++c) {
    for (int i = 0; i < kLutEntries; ++i) destination[c][i] = copy[c][LutIndex(i * gains[c])];
  }
}

void CheckGain(GainTriple& gains, const Lut& source, int32_t lutApiType) {
  const int threshold = lutApiType > 1 ? kCheckGainThresholdWide : kCheckGainThresholdNarrow;
  for (int c = 0; c < kLutChannels; ++c) {
    if (!(gains[c] < 1.0)) continue;
    int k = LutIndex(gains[c] * 255);
    while (static_cast<int>(source[c][k] / 256.0 + 0.5) < threshold) {
      ++k;
      if (k >= 255) {
        gains[c] = 1.0;
        break;
      }
      gains[c] = k / 255.0;
    }
  }
}

int LutSmooth8Bit(const Lut8& input, Lut8& output) {
  std::memcpy(output, input, sizeof(Lut8));
  for (int c = 0; c < kLutChannels; ++c) {
    int smoothLv = 0;
    int scatterLv = 0;
    int diff = 0;
    int type = 0;
    for (int level = 64; level >= 1; --level) {
      diff = input[level][c] - level;
      type = diff == 0 ? 0 : (diff > 0 ? 1 : 2);
      diff = std::abs(diff);
      if (diff < 13) {
        scatterLv = diff == 0 ? 0 : (diff < 9 ? 20 : 30);
        smoothLv = level;
        break;
      }
    }
    std::printf("Channel RGB[%d]:\n", c);
    std::printf("smoothLv = %d\n", smoothLv);
    std::printf("scatterLv = %d\n", scatterLv);
    std::printf("diff = %d\n", diff);
    std::printf("lut type: %d\n", type);
    if (smoothLv < SMOOTH_LEVEL_MIN) {
      std::printf("smoothLv < SMOOTH_LEVEL_MIN(%d), no change lut!!!\n", SMOOTH_LEVEL_MIN);
      continue;
    }
    for (int k = 0; k <= scatterLv; ++k) {
      double value = k;
      if (type == 1) {
        value = std::ceil(static_cast<double>(diff + scatterLv) / scatterLv * k);
      } else if (type == 2) {
        value = std::floor(static_cast<double>(k) * (scatterLv - diff) / scatterLv);
      }
      output[k][c] = static_cast<int32_t>(std::clamp(value, 0.0, 255.0));
    }
    for (int k = scatterLv + 1; k <= smoothLv; ++k) output[k][c] = output[k - 1][c] + 1;
  }
  return 0;
}

namespace {

int32_t PointOnLine(int32_t from, int32_t to, int span, int offset) {
  return static_cast<int32_t>(static_cast<double>(to - from) / span * offset + from + 0.5);
}

}  // namespace

int LutLinInterp8Bit(int32_t step, const Lut8& input, Lut8& output) {
  if (step <= 0 || step > 64) step = kDefaultInterpStep;
  for (int s = 0; s <= 254; s += step) {
    const int e = std::min(s + step, 255);
    for (int c = 0; c < kLutChannels; ++c) {
      output[s][c] = input[s][c];
      output[e][c] = input[e][c];
      for (int i = s + 1; i < e; ++i) output[i][c] = PointOnLine(input[s][c], input[e][c], e - s, i - s);
    }
  }
  if (step != kDefaultInterpStep) {
    for (int i = 1; i < 16; ++i) {
      for (int c = 0; c < kLutChannels; ++c) output[i][c] = PointOnLine(input[0][c], input[16][c], 16, i);
    }
  }
  return 0;
}

int LutBrightCtrl(Lut& lut, double factor) {
  DebugTrace(L"; QOV: ##Enter LutBrightCtrl()##\n");
  if (std::isnan(factor)) factor = 1.0;
  factor = std::clamp(factor, 0.4, 1.0);
  Lut old;
  std::memcpy(old, lut, sizeof old);
  for (int i = 0; i < kLutEntries; ++i) {
    const int k = LutIndex(i * factor);
    for (int c = 0; c < kLutChannels; ++c) lut[c][i] = old[c][k];
  }
  DebugTrace(L"; QOV: ##Exit  LutBrightCtrl()##\n");
  return 0;
}

namespace {

double SrgbEncode(double b) { return b <= 0.0031308 ? 12.92 * b : 1.055 * std::pow(b, 1 / 2.4) - 0.055; }

int ResampleSrgb(const Lut& input, Lut& output) {
  double in[kLutEntries][kLutChannels];
  double out[kLutEntries][kLutChannels];
  for (int i = 0; i < kLutEntries; ++i) {
    for (int c = 0; c < kLutChannels; ++c) in[i][c] = input[c][i];
  }
  for (int k = 0; k < kLutEntries; ++k) {
    const double t = 255 * SrgbEncode(k / 255.0);
    const int lo = std::max(0, static_cast<int>(std::floor(t)));
    const int hi = std::min(255, static_cast<int>(std::ceil(t)));
    for (int c = 0; c < kLutChannels; ++c) {
      out[k][c] = hi == lo ? in[hi][c] : (in[hi][c] - in[lo][c]) / (hi - lo) * (t - lo) + in[lo][c];
    }
  }
  for (int i = 0; i < kLutEntries; ++i)
    std::printf("inLut[%d]: %d %d %d\n", i, input[0][i], input[1][i], input[2][i]);
  for (int i = 0; i < kLutEntries; ++i) std::printf("fInLut[%d]: %f %f %f\n", i, in[i][0], in[i][1], in[i][2]);
  for (int i = 0; i < kLutEntries; ++i) std::printf("fOutLut[%d]: %f %f %f\n", i, out[i][0], out[i][1], out[i][2]);
  for (int k = 0; k < kLutEntries; ++k) {
    for (int c = 0; c < kLutChannels; ++c) {
      output[c][k] = static_cast<uint16_t>(std::clamp(static_cast<int>(out[k][c] + 0.5), 0, 65535));
    }
  }
  for (int i = 0; i < kLutEntries; ++i)
    std::printf("outLut[%d]: %d %d %d\n", i, output[0][i], output[1][i], output[2][i]);
  return kCctOk;
}

}  // namespace

int LutConvert(int32_t lutApiType, const Lut* input, Lut* output) {
  DebugTrace(L"; QOV: ##Enter LutConvert()##\n");
  int result = kCctOk;
  switch (lutApiType) {
    case 0:
    case 2:
    case 3:
      break;
    case 1:
      if (input == nullptr) {
        std::printf("; QOV: Null input pointer \"inLut\"!!!\n");
        result = kCctNullLut;
      } else if (output == nullptr) {
        std::printf("; QOV: Null input pointer \"outLut\"!!!\n");
        result = kCctNullLut;
      } else {
        result = ResampleSrgb(*input, *output);
      }
      break;
    default:
      std::printf("; QOV: Invalid lutApiType(%d)!!!\n", lutApiType);
      result = kCctBadLutApiType;
      break;
  }
  DebugTrace(L"; QOV: ##Exit  LutConvert()##\n");
  return result;
}

}  // namespace kelvara
