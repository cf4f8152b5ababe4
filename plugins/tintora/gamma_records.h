// What the two graphics back-ends hand to the driver, and the records they
// read back from the AMD display library, laid out as the drivers expect.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tintora {

using Ramp = uint16_t[3][256];

// Intel: the red block of 256 16-bit entries, then green, then blue.
struct IntelGammaRamp {
  uint16_t entries[3][256];
};
static_assert(sizeof(IntelGammaRamp) == 1536);

// AMD regamma record: the feature word, the ramp, fifteen coefficients.
inline constexpr int32_t kRegammaUseGammaRamp = 0x10;
struct AdlRegamma {
  int32_t feature;
  uint16_t ramp[3][256];
  int32_t coefficients[15];
};
static_assert(sizeof(AdlRegamma) == 1600);
static_assert(offsetof(AdlRegamma, ramp) == 4);
static_assert(offsetof(AdlRegamma, coefficients) == 1540);

// The adapter information record; only the adapter index is used.
struct AdlAdapterInfo {
  int32_t size;
  int32_t adapterIndex;
  uint8_t rest[1564];
};
static_assert(sizeof(AdlAdapterInfo) == 1572);
static_assert(offsetof(AdlAdapterInfo, adapterIndex) == 4);

// The display information record, allocated by the library through the
// caller's memory callback.
struct AdlDisplayInfo {
  int32_t logicalIndex;
  int32_t physicalIndex;
  int32_t logicalAdapterIndex;
  int32_t physicalAdapterIndex;
  int32_t controllerIndex;
  char displayName[256];
  char manufacturerName[256];
  int32_t displayType;
  int32_t outputType;
  int32_t connector;
  int32_t infoMask;
  int32_t infoValue;
};
static_assert(sizeof(AdlDisplayInfo) == 552);
static_assert(offsetof(AdlDisplayInfo, logicalAdapterIndex) == 8);
static_assert(offsetof(AdlDisplayInfo, infoValue) == 548);

// Bit of infoValue: the display is mapped to the desktop.
inline constexpr int32_t kAdlDisplayMapped = 0x2;

// The entries copied unchanged.
IntelGammaRamp MakeIntelRamp(const Ramp& lut);
AdlRegamma MakeRegamma(const Ramp& lut);

// The first display record is programmed only when it is mapped to the
// desktop and belongs to the adapter.
bool IsMappedDisplayOf(const AdlDisplayInfo& display, int32_t adapterIndex);

}  // namespace tintora
