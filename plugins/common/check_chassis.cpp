#include "plugins/common/check_chassis.h"

#include "plugins/common/acpi_device.h"
#include "plugins/common/acpi_request.h"
#include "plugins/common/firmware_table.h"
#include "plugins/common/smbios_chassis.h"

namespace zu {

bool CheckChassis(uint32_t deviceId) {
  if (!IsLaptopChassis(ReadSystemChassisType())) return false;
  uint32_t status = 0;
  if (acpi::GetDeviceStatus(deviceId, &status) != 0) return false;
  return (status & acpi::kFeaturePresentBit) != 0;
}

}  // namespace zu
