// The LUT of every picture mode, built from the record's source LUT and the
// gains CCT_Init solved.
#pragma once

#include <cstdint>

#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/cct_params.h"

namespace kelvara {

// gammaLut when the record holds factory data and a factory ramp, else
// baseLut.
const Lut& SourceLut(const CctParams& params);

// Weak and strong reading-mode targets on the reading line, from a white.
struct ReadingPair {
  Chromaticity weak;
  Chromaticity strong;
};
ReadingPair ReadingTargets(Chromaticity white);

// (1 - f) * a + f * b per channel.
void BlendGains(const GainTriple& a, const GainTriple& b, double f, GainTriple& result);

// Colour-temperature LUT at params.interval (0.5 warm .. 1.0 default .. 1.5
// cold) into outLut. Returns -1 with outLut unchanged for an interval
// outside 0.5 .. 1.5, else 0.
int ColourTemperatureLut(CctParams& params);

// Theatre LUT: one solve toward the theatre white, gains raised by 5 %.
void TheaterLut(CctParams& params);

// The vivid S-curve: identity below 50, a cubic from 50 (50) to 255 (255).
double VividCurve(int level);
void VividLut(CctParams& params);

// Reading LUT of step RDIndex out of RDLevels, between the weak and the
// strong gains. Returns kSolverFactorClamped when the step lay outside the
// range, else 0.
uint32_t SteppedReadingLut(CctParams& params);

// The LUT of a CCTAPI_GV request: the colour-temperature gains at
// params.interval, shadow-repaired, looked up through the input curve.
void GetGvModeLut(CctParams& params, const Lut& inputCurve, CalibrationSource& source);

// The input curve of CCTAPI_GV_VIVID_MODE: the vivid S-curve on all three
// channels.
void VividInputCurve(Lut& curve);

}  // namespace kelvara
