#include "plugins/common/acpi_device.h"

#include <windows.h>

#include "base/win/unique_handle.h"
#include "plugins/common/acpi_request.h"

namespace zu::acpi {

bool CallMethod(std::span<const uint8_t> request, std::vector<uint8_t>* output) {
  output->clear();
  win::UniqueFile device(::CreateFileW(kDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) return false;
  std::vector<uint8_t> answer(kOutputSize);
  DWORD returned = 0;
  if (!::DeviceIoControl(device.get(), kIoctlMethodCall, const_cast<uint8_t*>(request.data()),
                         static_cast<DWORD>(request.size()), answer.data(), static_cast<DWORD>(answer.size()),
                         &returned, nullptr))
    return false;
  answer.resize(std::min<size_t>(returned, kOutputSize));
  *output = std::move(answer);
  return true;
}

int GetDeviceStatus(uint32_t deviceId, uint32_t* status) {
  *status = 0;
  std::vector<uint8_t> answer;
  if (!CallMethod(BuildStatusQuery(deviceId), &answer)) return -1;
  *status = FirstWord(answer, answer.size());
  return 0;
}

int SetDeviceStatus(uint32_t deviceId, uint32_t value, uint32_t* status) {
  *status = 0;
  std::vector<uint8_t> answer;
  if (!CallMethod(BuildSetDevice(deviceId, value), &answer)) return -1;
  *status = FirstWord(answer, answer.size());
  return 0;
}

}  // namespace zu::acpi
