#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/win/unique_handle.h"
#include "libs/kelvara/calibration/firmware_reply.h"
#include "libs/kelvara/calibration/win/system_calibration_source.h"
#include "libs/kelvara/codec/debug_trace.h"
#include "plugins/common/acpi_device.h"
#include "plugins/common/acpi_request.h"

namespace kelvara {

int FirmwareReadBlock(int32_t method, uint8_t* block) {
  std::printf("ReadDataBlocklib version = %s\n", "1.0.0.1");
  zu::win::UniqueFile device(::CreateFileW(zu::acpi::kDevicePath, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) {
    std::printf("ReadDataBlock: cannot open the ACPI control device (error %lu)\n", ::GetLastError());
    return -1;
  }

  std::vector<uint8_t> request = BuildFirmwareBlockRequest(method);
  std::vector<uint8_t> reply(zu::acpi::kOutputSize, 0);
  DWORD returned = 0;
  int result;
  if (!::DeviceIoControl(device.get(), zu::acpi::kIoctlMethodCall, request.data(), static_cast<DWORD>(request.size()),
                         reply.data(), static_cast<DWORD>(reply.size()), &returned, nullptr)) {
    DebugTrace(L"QOV: General_WMIMethod_INT(...) return FALSE\n");
    result = -2;
  } else {
    result = InterpretFirmwareBlockReply(reply.data(), std::min<size_t>(returned, reply.size()), block);
  }

  DebugTrace(L"QOV: Enter UninitializeVORTAACPIDevice()\n");
  device.reset();
  DebugTrace(L"QOV: Exit UninitializeVORTAACPIDevice()\n");
  return result;
}

}  // namespace kelvara
