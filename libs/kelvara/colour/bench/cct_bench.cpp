// Times the colour-temperature requests natively: CCTAPI(1) on a version 5
// calibration block (so the factory gamma ramp is fitted) followed by
// CCTAPI(2), and every mode request on the initialised record.
//
// The library prints diagnostic listings on standard output and, natively,
// its debugger traces on standard error; both are sent to /dev/null while
// timing (their formatting cost is still measured) and the figures are
// printed afterwards. The machine is shared, so the median is the figure
// judged against the target; mean, minimum and maximum are shown too.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "libs/kelvara/colour/cct_api.h"
#include "libs/kelvara/colour/tests/calibration_fixture.h"
#include "libs/kelvara/colour/tests/test_luts.h"

using namespace kelvara;

namespace {

using Clock = std::chrono::steady_clock;
using kelvara::testing::CalibrationBlock;

constexpr int kRuns = 200;
constexpr double kInitBudgetMs = 5.0;

std::vector<uint8_t> Version5Block() {
  const kelvara::testing::Panel panel = kelvara::testing::MeasuredPanel();
  const int levels[5] = {42, 86, 128, 168, 210};
  double grey[3][5][3];
  double black[3];
  for (int k = 0; k < 3; ++k) black[k] = 0.002 * panel.xyz[3][k];
  for (int c = 0; c < 3; ++c) {
    for (int n = 0; n < 5; ++n) {
      for (int k = 0; k < 3; ++k) grey[c][n][k] = panel.xyz[c][k] * std::pow(levels[n] / 255.0, 2.2 + 0.1 * c);
    }
  }
  return CalibrationBlock(5).FullDrive(panel.xyz).Target(280, 0.3127, 0.3290).GreyLevels(grey, black).Bytes();
}

struct Figures {
  double medianMs, meanMs, minMs, maxMs;
};

Figures Time(const std::function<void()>& call) {
  std::vector<double> ms;
  ms.reserve(kRuns);
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    call();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  double sum = 0;
  for (double m : ms) sum += m;
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], sum / kRuns, ms.front(), ms.back()};
}

// Keeps the library's listings and traces off the terminal while timing.
class Quiet {
 public:
  Quiet() {
    std::fflush(stdout);
    std::fflush(stderr);
    savedOut_ = ::dup(STDOUT_FILENO);
    savedErr_ = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
  ~Quiet() {
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut_, STDOUT_FILENO);
    ::dup2(savedErr_, STDERR_FILENO);
    ::close(savedOut_);
    ::close(savedErr_);
  }

 private:
  int savedOut_;
  int savedErr_;
};

}  // namespace

int main() {
  kelvara::testing::FakeCalibrationSource source;
  source.ServeFirmware(Version5Block());
  const kelvara::CctEnvironment env{source, {}};

  auto params = std::make_unique<CctParams>();
  auto fresh = [&] {
    std::memset(params.get(), 0, sizeof(CctParams));
    kelvara::testing::SetNative(*params, kelvara::testing::SrgbLikePanel());
    kelvara::testing::FillPower(params->baseLut, 2.2);
    params->interval = 1.0;
    params->brightness = 1.0;
    params->RDLevels = 5;
    params->RDIndex = 2;
    params->lutApiType = 1;
  };

  struct Row {
    std::string name;
    Figures figures;
  };
  std::vector<Row> rows;
  int initResult = 0, lutResult = 0;
  Lut curve;
  kelvara::testing::FillIdentity(curve);
  {
    Quiet quiet;
    rows.push_back({"CCTAPI(1) init, v5 block", Time([&] {
                      fresh();
                      initResult = kelvara::RunCctApi(CCTAPI_INIT_GAIN, params.get(), env);
                    })});
    rows.push_back({"CCTAPI(1) + CCTAPI(2)", Time([&] {
                      fresh();
                      kelvara::RunCctApi(CCTAPI_INIT_GAIN, params.get(), env);
                      lutResult = kelvara::RunCctApi(CCTAPI_GET_LUT, params.get(), env);
                    })});
    const char* names[] = {"", "", "CCTAPI(2) colour temperature", "CCTAPI(3) theatre", "CCTAPI(4) vivid",
                           "CCTAPI(5) reading strong", "CCTAPI(6) reading weak", "CCTAPI(7) reading multi"};
    for (int request = CCTAPI_GET_LUT; request <= CCTAPI_READING_MODE_MULTI; ++request) {
      rows.push_back({names[request], Time([&] { kelvara::RunCctApi(request, params.get(), env); })});
    }
    rows.push_back({"CCTAPI_GV(3) vivid", Time([&] {
                      kelvara::RunCctApiGv(kelvara::CCTAPI_GV_VIVID_MODE, params.get(), nullptr, env);
                    })});
    rows.push_back({"CCTAPI_GV(21) input curve", Time([&] {
                      kelvara::RunCctApiGv(21, params.get(), &curve[0][0], env);
                    })});
  }

  std::printf("Kelvara colour requests, native, %d runs each (library listings and traces to /dev/null)\n", kRuns);
  std::printf("record after init: result %d, factory data %d, data version %d, gamma ramp %d (GammaFit ran: %s)\n",
              initResult, params->hasFactoryData, params->dataVersion, params->hasGammaLut,
              params->hasFactoryData == 1 && params->dataVersion == 5 && params->hasGammaLut == 1 ? "yes" : "no");
  std::printf("%-32s %10s %10s %10s %10s\n", "request", "median ms", "mean ms", "min ms", "max ms");
  for (const Row& r : rows) {
    std::printf("%-32s %10.3f %10.3f %10.3f %10.3f\n", r.name.c_str(), r.figures.medianMs, r.figures.meanMs,
                r.figures.minMs, r.figures.maxMs);
  }
  const double whole = rows[1].figures.medianMs;
  std::printf("whole initialisation (CCTAPI(1) + CCTAPI(2)): %.3f ms median, target < %.1f ms: %s\n", whole,
              kInitBudgetMs, whole < kInitBudgetMs ? "met" : "NOT met");
  const bool fitted = params->hasFactoryData == 1 && params->dataVersion == 5 && params->hasGammaLut == 1;
  return whole < kInitBudgetMs && lutResult == 0 && initResult == 0 && fitted ? 0 : 1;
}
