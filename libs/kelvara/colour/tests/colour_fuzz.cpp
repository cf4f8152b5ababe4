// Any bytes as a calibration block that passes its checks (so every float,
// NaN and infinity included, reaches the solver and the gamma fit) and as
// the caller's fields of the record; then every request. Gains that a
// successful initialisation leaves must be usable.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "libs/kelvara/colour/cct_api.h"
#include "libs/kelvara/colour/tests/calibration_fixture.h"

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  void Fill(void* out, size_t n) {
    auto* o = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < n; ++i) o[i] = Byte();
  }
  double Double() {
    double d;
    Fill(&d, sizeof d);
    return d;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void CheckGains(const CctParams& p) {
  for (const double* g : {p.defGain, p.warmGain, p.coldGain, p.readWeakGain, p.readStrongGain}) {
    for (int c = 0; c < 3; ++c) {
      if (!(g[c] > 0 && g[c] <= 1.0 + 1e-9)) {
        std::fprintf(stderr, "unusable gain %g\n", g[c]);
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The library's listings would drown the driver's output.
  if (!std::freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  std::vector<uint8_t> block(kelvara::kCalibrationBlockSize);
  in.Fill(block.data(), block.size());
  block[4] %= 9;  // versions 0 .. 8
  kelvara::testing::SealBlock(block);
  kelvara::testing::FakeCalibrationSource source;
  if (in.Byte() & 1) source.ServeFirmware(block);
  const kelvara::CctEnvironment env{source, {}};

  auto p = std::make_unique<CctParams>();
  std::memset(p.get(), 0, sizeof(CctParams));
  const bool rawXyz = in.Byte() & 1;
  for (auto& row : p->nativeXyz) {
    for (double& v : row) v = rawXyz ? in.Double() : 0.01 + in.Byte() / 8.0;
  }
  in.Fill(p->baseLut, sizeof p->baseLut);
  p->interval = (in.Byte() & 1) ? in.Double() : 0.5 + in.Byte() / 255.0;
  p->brightness = in.Double();
  p->RDLevels = in.Byte() % 6;
  p->RDIndex = in.Byte() % 8;
  p->lutApiType = in.Byte() % 6 - 1;
  p->method = in.Byte() % 3;
  kelvara::Lut curve;
  in.Fill(curve, sizeof curve);

  const int32_t init = kelvara::RunCctApi(kelvara::CCTAPI_INIT_GAIN, p.get(), env);
  if (init == 0 || init == kelvara::kCctNoCalibrationFile || init == kelvara::kCctBadCalibrationFile) CheckGains(*p);
  for (int request = kelvara::CCTAPI_GET_LUT; request <= kelvara::CCTAPI_READING_MODE_MULTI; ++request) {
    kelvara::RunCctApi(request, p.get(), env);
  }
  kelvara::RunCctApiGv(kelvara::CCTAPI_GV_VIVID_MODE, p.get(), nullptr, env);
  kelvara::RunCctApiGv(21, p.get(), &curve[0][0], env);
  return 0;
}
