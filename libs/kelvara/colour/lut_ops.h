// The steps every output ramp is built from: re-indexing by gains, keeping
// gains from crushing the ramp, shadow repair at 8-bit precision, brightness
// scaling and the conversion for the graphics interface.
//
// 16-bit LUTs are planar (channel, entry); the 8-bit working LUT is
// interleaved by entry (entry, channel) with values 0 .. 255.
#pragma once

#include <cstdint>

#include "libs/kelvara/cct_params.h"

namespace kelvara {

using Lut8 = int32_t[kLutEntries][kLutChannels];

// Threshold below which a gain may not push the ramp's top entry.
inline constexpr int kCheckGainThresholdWide = 128;   // lutApiType above 1
inline constexpr int kCheckGainThresholdNarrow = 102;  // lutApiType 0 or 1
inline constexpr int SMOOTH_LEVEL_MIN = 30;
inline constexpr int kDefaultInterpStep = 16;

// Index of a LUT entry for a real position: the integer part of
// position + 0.5, kept inside 0 .. 255 (NaN gives 0).
int LutIndex(double position);

// destination[c][i] = source[c][LutIndex(i * gain_c)]. Source and destination
// may be the same LUT.
void ApplyGains(const Lut& source, const GainTriple& gains, Lut& destination);

// Raises each gain below 1.0 until the 8-bit source entry it selects reaches
// the threshold for lutApiType; a gain that would need entry 255 becomes 1.0.
void CheckGain(GainTriple& gains, const Lut& source, int32_t lutApiType);

// Rebuilds the dark end of each channel as a clean ramp that joins the curve
// where it comes within 12 levels of the identity. Always 0.
int LutSmooth8Bit(const Lut8& input, Lut8& output);

// Keeps every step-th entry (and entry 255) and redraws the entries between
// them as straight lines. Steps of 0, below 0 or above 64 mean 16. Always 0.
int LutLinInterp8Bit(int32_t step, const Lut8& input, Lut8& output);

// Entry i takes the old entry LutIndex(i * factor), factor clamped to
// 0.4 .. 1.0. Always 0.
int LutBrightCtrl(Lut& lut, double factor);

// lutApiType 0, 2, 3: nothing; 1: re-sampled along the sRGB encoding curve;
// others: -6 with the LUT unchanged. Null LUTs give -7 for type 1.
// input and output may be the same LUT.
int LutConvert(int32_t lutApiType, const Lut* input, Lut* output);

}  // namespace kelvara
