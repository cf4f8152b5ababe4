#include "plugins/veilpane/panel_mode.h"

#include "base/text.h"

namespace veilpane {

std::optional<uint32_t> DeviceValueForMode(int32_t mode) {
  if (mode == kModeOn) return 1;
  if (mode == kModeOff) return 0;
  return std::nullopt;
}

std::string SetFailureLine(int32_t setResult, uint32_t setAnswer, int32_t statusResult, uint32_t status) {
  using zu::Hex;
  return "Failed to set device status via ACPI method call: ret=" + Hex(setResult) + ", value = " + Hex(setAnswer) +
         ", OVACPI_VEIL_PANE: ret=" + Hex(statusResult) + ", value = " + Hex(status);
}

}  // namespace veilpane
