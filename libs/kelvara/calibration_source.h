// Where the factory calibration block comes from, and the import that
// CCT_Init and LutImprove use.
//
// The block logic is portable; the platform supplies the three raw reads
// (the ACPI control device, the monitors' EDID, the calibration file), so the
// whole path is testable natively with a fake source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "libs/kelvara/cct_params.h"

namespace kelvara {

inline constexpr int kCalibrationBlockSize = 512;
inline constexpr int kEdidSlots = 5;
inline constexpr int kEdidSlotSize = 1024;

// Raw "EDID" registry values of up to five monitor devices, by enumeration
// index; an empty slot has no EDID.
struct EdidStore {
  std::vector<uint8_t> slots[kEdidSlots];
};

class CalibrationSource {
 public:
  virtual ~CalibrationSource() = default;
  // The "SCDG" exchange: 0 data copied into block (512 bytes), -1 device
  // not opened, -2 device call failed, -3 firmware has no data (block then
  // starts with the marker 55 55 AA AA 00 00 00 00).
  virtual int FirmwareReadBlock(int32_t method, uint8_t* block) = 0;
  // The EDID of the present monitors.
  virtual EdidStore ReadEdids() = 0;
  // True when the file can be opened for reading.
  virtual bool CanOpenFile(const std::string& path) = 0;
  // Up to `limit` bytes of the file; false when it cannot be opened.
  virtual bool ReadFile(const std::string& path, size_t limit, std::vector<uint8_t>* data) = 0;
};

// Imports the calibration block into the record (factoryXyz, dataVersion,
// hasFactoryData, hasGammaLut, gammaLut), the factory target and the
// GammaFit input; sets CCTAPI_ERRORCODE on file errors.
void GetBIOSInfo(CctParams* params, FactoryTarget* target, GammaFitInput* fit, CalibrationSource& source);

// Reads the block again from the record's source, without checks, and gives
// its byte 297; false when the block cannot be obtained.
bool GetBIOSData(const CctParams& params, CalibrationSource& source, uint8_t* byte297);

// The platform's source (firmware device, SetupAPI EDID, files); defined by
// the Windows build of the library.
CalibrationSource& SystemCalibrationSource();

}  // namespace kelvara
