// CIE XYZ triples and the adaptation of the profile's primaries from the
// profile connection space (D50) to D65.
#pragma once

namespace tintora {

struct Xyz {
  double X = 0;
  double Y = 0;
  double Z = 0;
};

// The fixed matrix the panel data is prepared with; the
// coefficients are part of the calibration and must stay exactly these.
inline Xyz D50ToD65(const Xyz& in) {
  return {
      0.955514 * in.X - 0.02307 * in.Y + 0.063306 * in.Z,
      -0.02832 * in.X + 1.009943 * in.Y + 0.021053 * in.Z,
      0.012328 * in.X - 0.02053 * in.Y + 1.330697 * in.Z,
  };
}

}  // namespace tintora
