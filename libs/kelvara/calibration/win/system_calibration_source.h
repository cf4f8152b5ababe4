// The platform's calibration source: the ACPI control device, the monitors'
// EDID from SetupAPI, and files. Each read is also available on its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "libs/kelvara/calibration_source.h"

namespace kelvara {

// The "SCDG" exchange: 0 data copied (512 bytes), -1 device not opened, -2
// device call failed, -3 firmware has no data (marker written).
int FirmwareReadBlock(int32_t method, uint8_t* block);

// The raw "EDID" values of the present monitor devices, by enumeration
// index, for the first five.
EdidStore GetEdidData();

// Narrow paths are UTF-8.
bool CanOpenCalibrationFile(const std::string& path);
bool ReadCalibrationFile(const std::string& path, size_t limit, std::vector<uint8_t>* data);

}  // namespace kelvara
