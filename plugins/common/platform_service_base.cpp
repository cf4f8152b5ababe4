#include "plugins/common/platform_service_base.h"

#include <array>

namespace zu {

const std::string& StateName(int32_t state) {
  static const std::array<std::string, 4> names = {"UNKNOWN", "INIT", "IN_SERVICE", "OUT_OF_SERVICE"};
  const auto index = static_cast<uint32_t>(state);
  return index < names.size() ? names[index] : names[0];
}

void PlatformServiceBase::Transition(int32_t target, const std::string& operation) {
  LogDebug(operation);
  if (state == target) return;
  const int32_t previous = state;
  state = target;
  onStateChange(previous);
}

void PlatformServiceBase::LogStateChange(int32_t previous) {
  LogInfo("state change " + StateName(previous) + " -> " + StateName(state));
}

}  // namespace zu
