// One load of the factory calibration block from the record's source, with
// its checks, and the import built on it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "libs/kelvara/calibration/calibration_block.h"
#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/cct_params.h"

namespace kelvara {

// dataDir immediately followed by dataFile (no separator added); a null
// part counts as empty.
std::string CalibrationFilePath(const CctParams& params);

inline bool UsesCalibrationFile(const CctParams& params) { return params.useFile == 1; }

class CalibrationReader {
 public:
  CalibrationReader(const CctParams& params, CalibrationSource& source);

  // One load attempt: read, parse, check. False when nothing could be read
  // (the file cannot be opened); otherwise status() holds the verdict.
  bool GetData();

  int32_t status() const { return status_; }
  const CalibrationBlock& block() const { return block_; }

 private:
  void CheckBlock();
  void FileBlockFailed();

  const CctParams& params_;
  CalibrationSource& source_;
  std::string path_;
  int32_t status_ = kBlockUsable;
  size_t validSize_ = 0;
  std::array<uint8_t, kCalibrationBlockSize> buffer_{};
  CalibrationBlock block_;
  EdidStore edids_;
};

// A reader whose block passed every check, or null; a load that reads
// nothing is tried once more.
std::unique_ptr<CalibrationReader> OpenCalibration(const CctParams& params, CalibrationSource& source);

// Byte 297 of the block read again from the record's source, unchecked.
// False when no block comes: the file cannot be opened or is too short to
// hold that byte, or the firmware read failed.
bool GetBIOSDataManual(const CctParams& params, CalibrationSource& source, uint8_t* byte297);

}  // namespace kelvara
