#include "plugins/common/firmware_table.h"

#include <windows.h>

#include "plugins/common/smbios_chassis.h"

namespace zu {

std::optional<uint8_t> ReadSystemChassisType() {
  constexpr DWORD kRsmb = 0x52534D42;  // 'RSMB'
  const UINT size = ::GetSystemFirmwareTable(kRsmb, 0, nullptr, 0);
  if (size == 0) return std::nullopt;
  HANDLE heap = ::GetProcessHeap();
  auto* buffer = static_cast<uint8_t*>(::HeapAlloc(heap, 0, size));
  if (!buffer) return std::nullopt;
  std::optional<uint8_t> chassis;
  if (::GetSystemFirmwareTable(kRsmb, 0, buffer, size) == size) chassis = FindChassisType(buffer, size);
  ::HeapFree(heap, 0, buffer);
  return chassis;
}

}  // namespace zu
