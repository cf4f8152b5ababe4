// Machine registry values the calibration identifies the platform by. Every
// failure is logged and gives an empty result.
#pragma once

#include <cstdint>
#include <string>

#include "plugins/tintora/profile_name.h"

namespace tintora {

// A REG_SZ value under HKEY_LOCAL_MACHINE, up to its first zero character;
// empty when the key or value cannot be read or is of another type.
std::wstring ReadRegValueSZ(const std::wstring& keyPath, const std::wstring& valueName);

// A REG_BINARY value under HKEY_LOCAL_MACHINE into `buffer`: its first
// kEdidBufferSize bytes (a longer EDID carries extension blocks after the
// base block). The first failure leaves the buffer as it was; true when
// the value was read.
bool ReadRegValueBinary(const std::wstring& keyPath, const std::wstring& valueName,
                        uint8_t (&buffer)[kEdidBufferSize]);

}  // namespace tintora
