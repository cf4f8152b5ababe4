#include "plugins/tintora/profile_name.h"

namespace tintora {
namespace {

void AppendHexByte(std::string& out, uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[value >> 4];
  out += kDigits[value & 0xF];
}

}  // namespace

GraphicsPlatform GraphicsPlatformFor(std::string_view processorVendor) {
  if (processorVendor == "GenuineIntel") return {"8086", kGpuIntel};
  return {"1002", kGpuAmd};
}

std::string PanelIdFromEdid(const uint8_t (&edid)[kEdidBufferSize]) {
  std::string id;
  for (size_t index : {9, 8, 11, 10}) AppendHexByte(id, edid[index]);
  return id;
}

std::string BuildProfileName(std::string_view boardName, std::string_view vendorId, std::string_view panelId) {
  std::string name;
  name.reserve(boardName.size() + vendorId.size() + panelId.size() + 6);
  name.append(boardName).append("_").append(vendorId).append("_").append(panelId).append(".icm");
  return name;
}

}  // namespace tintora
