#include "plugins/tintora/gamma_records.h"

#include <cstring>

namespace tintora {

IntelGammaRamp MakeIntelRamp(const Ramp& lut) {
  IntelGammaRamp ramp;
  std::memcpy(ramp.entries, lut, sizeof ramp.entries);
  return ramp;
}

AdlRegamma MakeRegamma(const Ramp& lut) {
  AdlRegamma record{};
  record.feature = kRegammaUseGammaRamp;
  std::memcpy(record.ramp, lut, sizeof record.ramp);
  return record;
}

bool IsMappedDisplayOf(const AdlDisplayInfo& display, int32_t adapterIndex) {
  return (display.infoValue & kAdlDisplayMapped) != 0 && display.logicalAdapterIndex == adapterIndex;
}

}  // namespace tintora
