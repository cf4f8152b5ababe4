// Any bytes as a gamma string of either method, and as a LUT to encode:
// decoding stays inside the string's own size, and whatever is encoded
// decodes back to the same 8-bit ramp.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "libs/kelvara/codec/lut_codec.h"

#include <fcntl.h>
#include <unistd.h>

#include "libs/kelvara/codec/debug_trace.h"

// The codec traces and prints a lot; the fuzzer keeps only its own output
// (and the sanitizers' reports on standard error).
void kelvara::DebugTrace(const wchar_t*) {}

namespace {

class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

int FuzzOne(const uint8_t* data, size_t size);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietStdout quiet;
  return FuzzOne(data, size);
}

namespace {

int FuzzOne(const uint8_t* data, size_t size) {
  using namespace kelvara::codec;
  if (size == 0) return 0;

  // The string in a buffer exactly as long as its size byte claims.
  const size_t declared = data[0] ? data[0] : 1;
  std::vector<uint8_t> str(declared, 0);
  std::memcpy(str.data(), data, std::min(size, declared));
  for (uint32_t method : {0u, 1u}) {
    uint16_t lut[kelvara::kLutSize];
    std::memset(lut, 0x5A, sizeof lut);
    if (Bios2Lut(lut, str.data(), kelvara::kLutSize, method) != 0) {
      for (uint16_t v : lut)
        if (v != 0x5A5A) std::abort();  // a failed decode must leave the LUT alone
    }
  }

  // The bytes as steps of a ramp (0 .. 7, first step 0 per channel).
  DeltaLut delta{};
  for (int i = 0; i < kelvara::kLutSize; ++i)
    delta[i] = i % kelvara::kLutEntries == 0 ? 0 : i < static_cast<int>(size) ? data[i] % 8 : 1;
  for (int c = 0; c < kelvara::kLutChannels; ++c) {
    int sum = 0;
    for (int i = 0; i < kelvara::kLutEntries; ++i) sum += delta[c * kelvara::kLutEntries + i];
    // Pull the last steps down or up so the ramp ends at 255 when it can.
    for (int i = kelvara::kLutEntries - 1; i > 0 && sum != 255; --i) {
      int& step = delta[c * kelvara::kLutEntries + i];
      const int change = std::max(-step, std::min(7 - step, 255 - sum));
      step += change;
      sum += change;
    }
  }
  uint16_t ramp[kelvara::kLutSize];
  if (!ToLut(delta, ramp)) return 0;
  uint8_t out[255];
  int32_t method = -1;
  if (Lut2Bios(ramp, 255, out, sizeof out, &method) == 0) {
    std::vector<uint8_t> exact(out, out + out[0]);
    uint16_t back[kelvara::kLutSize];
    if (Bios2Lut(back, exact.data(), kelvara::kLutSize, static_cast<uint32_t>(method)) != 0) std::abort();
    if (std::memcmp(back, ramp, sizeof back) != 0) std::abort();
  }
  return 0;
}

}  // namespace
