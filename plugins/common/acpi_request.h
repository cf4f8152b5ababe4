// Request format of the vendor's ACPI control device ("\\.\VORTAACPI").
//
// Input: 32-bit method tag (four ASCII bytes, lowest address first), 32-bit
// argument length in bytes, the arguments. Output: up to 1024 bytes, of which
// the returned count is all that may be used. Everything little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zu::acpi {

inline constexpr uint32_t kIoctlMethodCall = 0x0022240C;  // type 0x22, function 0x903, buffered, any access
inline constexpr size_t kOutputSize = 1024;

constexpr uint32_t Tag(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t kTagDeviceStatus = Tag('D', 'S', 'T', 'S');    // status query
inline constexpr uint32_t kTagSetDevice = Tag('D', 'E', 'V', 'S');       // set status
inline constexpr uint32_t kTagCalibrationData = Tag('S', 'C', 'D', 'G');  // factory calibration block

// Device ids.
inline constexpr uint32_t kDevicePrivacyPanel = 0x0005001B;
inline constexpr uint32_t kDevicePrivacyPanelStatus = 0x00110019;  // OVACPI_VEIL_PANE
inline constexpr uint32_t kDeviceConferenceLed = 0x00040019;
inline constexpr uint32_t kFeaturePresentBit = 0x10000;

// "SCDG": a 516-byte payload (selector, 0, 508 zero bytes); the answer is a
// 32-bit count (non-zero: data present) and the 512-byte block.
inline constexpr size_t kCalibrationPayloadSize = 516;
inline constexpr size_t kCalibrationBlockSize = 512;

void PutLe32(uint8_t* p, uint32_t v);
uint32_t GetLe32(const uint8_t* p);

// Tag, argument length and arguments, ready for DeviceIoControl.
std::vector<uint8_t> BuildRequest(uint32_t tag, std::span<const uint8_t> arguments);
std::vector<uint8_t> BuildStatusQuery(uint32_t deviceId);
std::vector<uint8_t> BuildSetDevice(uint32_t deviceId, uint32_t value);
// Selector 1 or 2 (Kelvara's data selector), then 0, then zero padding.
std::vector<uint8_t> BuildCalibrationQuery(uint32_t selector);

// The first 32-bit word of an answer of `count` bytes; 0 when fewer than four
// bytes came back.
uint32_t FirstWord(std::span<const uint8_t> output, size_t count);

}  // namespace zu::acpi
