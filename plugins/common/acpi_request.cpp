#include "plugins/common/acpi_request.h"

#include <algorithm>

namespace zu::acpi {

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::vector<uint8_t> BuildRequest(uint32_t tag, std::span<const uint8_t> arguments) {
  std::vector<uint8_t> request(8 + arguments.size());
  PutLe32(request.data(), tag);
  PutLe32(request.data() + 4, static_cast<uint32_t>(arguments.size()));
  std::copy(arguments.begin(), arguments.end(), request.begin() + 8);
  return request;
}

std::vector<uint8_t> BuildStatusQuery(uint32_t deviceId) {
  uint8_t args[4];
  PutLe32(args, deviceId);
  return BuildRequest(kTagDeviceStatus, args);
}

std::vector<uint8_t> BuildSetDevice(uint32_t deviceId, uint32_t value) {
  uint8_t args[8];
  PutLe32(args, deviceId);
  PutLe32(args + 4, value);
  return BuildRequest(kTagSetDevice, args);
}

std::vector<uint8_t> BuildCalibrationQuery(uint32_t selector) {
  uint8_t args[kCalibrationPayloadSize] = {};
  PutLe32(args, selector);
  return BuildRequest(kTagCalibrationData, args);
}

uint32_t FirstWord(std::span<const uint8_t> output, size_t count) {
  count = std::min(count, output.size());
  return count < 4 ? 0 : GetLe32(output.data());
}

}  // namespace zu::acpi
