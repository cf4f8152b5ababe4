// Requests to the vendor's ACPI control device. Each call opens the device,
// sends one request and closes it again; nothing is held in between.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zu::acpi {

inline constexpr const wchar_t* kDevicePath = L"\\\\.\\VORTAACPI";

// One method call. On success `output` holds exactly the bytes the device
// returned (at most 1024) and the result is true; false when the device could
// not be opened or the request failed (GetLastError tells why).
bool CallMethod(std::span<const uint8_t> request, std::vector<uint8_t>* output);

// "DSTS": 0 with the device status in *status (0 when the answer was shorter
// than a word), -1 when the device is missing or refused the request.
int GetDeviceStatus(uint32_t deviceId, uint32_t* status);

// "DEVS": 0 when the device accepted the request (the answer's first word,
// kept for logs only, goes to *status), -1 otherwise.
int SetDeviceStatus(uint32_t deviceId, uint32_t value, uint32_t* status);

}  // namespace zu::acpi
