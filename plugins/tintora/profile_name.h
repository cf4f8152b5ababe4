// Platform and panel identification: the graphics vendor from the
// processor vendor, the panel id from the EDID, and the profile file name
// "<board>_<vendor id>_<panel id>.icm" built from them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tintora {

// Back-end that programs the gamma ramp.
enum GpuPathKind : int32_t {
  kGpuIntel = 0,
  kGpuAmd = 1,
};

struct GraphicsPlatform {
  std::string vendorId;  // "8086" or "1002"
  int32_t gpuPath;       // kGpuIntel or kGpuAmd
};

// "GenuineIntel" exactly: Intel graphics; anything else (an unreadable
// value too): AMD.
GraphicsPlatform GraphicsPlatformFor(std::string_view processorVendor);

// Bytes the EDID buffer holds; the panel id uses bytes 8 to 11.
inline constexpr size_t kEdidBufferSize = 128;

// Manufacturer id with its two bytes swapped, then the little-endian
// product code, most significant byte first: bytes 9, 8, 11, 10 as eight
// upper-case hexadecimal digits.
std::string PanelIdFromEdid(const uint8_t (&edid)[kEdidBufferSize]);

std::string BuildProfileName(std::string_view boardName, std::string_view vendorId, std::string_view panelId);

}  // namespace tintora
