// Any byte string as a raw SMBIOS table: the walk must stay inside it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugins/common/smbios_chassis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zu::FindChassisType(data, size);
  // Also with a header whose length agrees, so the walk itself is exercised.
  std::vector<uint8_t> raw(8 + size);
  const auto length = static_cast<uint32_t>(size);
  std::memcpy(raw.data() + 4, &length, 4);
  if (size) std::memcpy(raw.data() + 8, data, size);
  zu::ProductLineFromChassis(zu::FindChassisType(raw.data(), raw.size()));
  return 0;
}
