#include "libs/kelvara/calibration/firmware_reply.h"

#include <algorithm>
#include <cstring>

#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/codec/debug_trace.h"
#include "plugins/common/acpi_request.h"

namespace kelvara {

uint32_t CalibrationSelector(int32_t method) { return method != 0 ? 2 : 1; }

std::vector<uint8_t> BuildFirmwareBlockRequest(int32_t method) {
  return zu::acpi::BuildCalibrationQuery(CalibrationSelector(method));
}

int InterpretFirmwareBlockReply(const uint8_t* reply, size_t returned, uint8_t* block) {
  // The answer overlays the payload: count word, then the block.
  uint8_t payload[zu::acpi::kCalibrationPayloadSize] = {};
  const size_t used = std::min(returned, sizeof payload);
  std::memcpy(payload, reply, used);
  const uint32_t count = used >= 4 ? zu::acpi::GetLe32(payload) : 0;
  if (count > 0) {
    DebugTrace(L"QOV: ulOutBuffer[0] > 0\n");
    std::memcpy(block, payload + 4, kCalibrationBlockSize);
    return 0;
  }
  DebugTrace(L"QOV: ulOutBuffer[0] <= 0\n");
  std::memcpy(block, kNoDataMarker, sizeof kNoDataMarker);
  return -3;
}

}  // namespace kelvara
