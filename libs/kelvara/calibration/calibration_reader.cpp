#include "libs/kelvara/calibration/calibration_reader.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "libs/kelvara/calibration/crc16.h"
#include "libs/kelvara/calibration/edid_check.h"
#include "libs/kelvara/codec/debug_trace.h"
#include "libs/kelvara/codec/lut_codec.h"

namespace kelvara {

std::string CalibrationFilePath(const CctParams& params) {
  std::string path = params.dataDir ? params.dataDir : "";
  path += params.dataFile ? params.dataFile : "";
  return path;
}

CalibrationReader::CalibrationReader(const CctParams& params, CalibrationSource& source)
    : params_(params), source_(source) {}

bool CalibrationReader::GetData() {
  DebugTrace(L"QOV: Enter GetData()\n");
  buffer_.fill(0);
  validSize_ = buffer_.size();
  block_ = CalibrationBlock{};
  edids_ = source_.ReadEdids();

  if (UsesCalibrationFile(params_)) {
    path_ = CalibrationFilePath(params_);
    std::printf("path = %s \n", path_.c_str());
    std::vector<uint8_t> data;
    if (source_.ReadFile(path_, buffer_.size(), &data)) {
      validSize_ = std::min(data.size(), buffer_.size());
      std::copy_n(data.begin(), validSize_, buffer_.begin());
      status_ = kBlockUsable;
    } else {
      CCTAPI_ERRORCODE = kCctNoCalibrationFile;
      status_ = kBlockNoFile;
    }
    DebugTrace(L"QOV: End Get Data From File()\n");
  } else {
    // A failed read leaves the buffer zero-filled or marked "no data"; the
    // CRC check below rejects either.
    source_.FirmwareReadBlock(params_.method, buffer_.data());
    status_ = kBlockUsable;
  }

  std::printf("this->BiosDataStatus  = %d  \n", status_);
  if (status_ != kBlockUsable) return false;

  std::printf("ReadResult  = %d \n", 0);
  if (ParseCalibrationBlock(buffer_.data(), validSize_, &block_) != kBlockUsable) {
    status_ = kBlockMalformed;
    FileBlockFailed();
    return true;
  }
  CheckBlock();
  return true;
}

void CalibrationReader::CheckBlock() {
  if (!StoredCrcMatches(buffer_.data(), block::kFullDrive, 59, block::kCrc)) {
    std::printf("CRCCheck Error\n");
    status_ = kBlockMismatch;
    FileBlockFailed();
  }
  if (!EdidCheck(edids_, block_)) {
    std::printf("EDID Check Error\n");
    status_ = kBlockMismatch;
    FileBlockFailed();
  }
  if (block_.version > 4 && !StoredCrcMatches(buffer_.data(), block::kGreyXyz, 282, block::kGreyCrc)) {
    std::printf("Grey level CRCCheck Error\n");
    status_ = kBlockGreyCrc;
    FileBlockFailed();
  }
}

void CalibrationReader::FileBlockFailed() {
  if (UsesCalibrationFile(params_)) CCTAPI_ERRORCODE = kCctBadCalibrationFile;
}

std::unique_ptr<CalibrationReader> OpenCalibration(const CctParams& params, CalibrationSource& source) {
  DebugTrace(L"QOV: Enter Open()\n");
  if (UsesCalibrationFile(params)) {
    const std::string path = CalibrationFilePath(params);
    if (!source.CanOpenFile(path))
      CCTAPI_ERRORCODE = kCctNoCalibrationFile;
    else
      std::printf("CCTLoadBIOS = %s \n", path.c_str());
  }
  auto reader = std::make_unique<CalibrationReader>(params, source);
  if (!reader->GetData() && !reader->GetData()) reader.reset();
  if (reader && reader->status() != kBlockUsable) reader.reset();
  DebugTrace(L"QOV: Exit Open()\n");
  return reader;
}

bool GetBIOSDataManual(const CctParams& params, CalibrationSource& source, uint8_t* byte297) {
  DebugTrace(L"QOV: Enter GetBIOSDataManual()\n");
  std::array<uint8_t, kCalibrationBlockSize> buffer{};
  bool obtained = false;
  if (UsesCalibrationFile(params)) {
    const std::string path = CalibrationFilePath(params);
    std::printf("GetBIOS_Data path = %s \n", path.c_str());
    std::vector<uint8_t> data;
    if (!source.ReadFile(path, buffer.size(), &data)) {
      CCTAPI_ERRORCODE = kCctNoCalibrationFile;
    } else if (data.size() <= block::kLutStep) {
      std::printf("GetBIOS_Data: %d bytes hold no byte %d\n", static_cast<int>(data.size()),
                  static_cast<int>(block::kLutStep));
    } else {
      std::copy_n(data.begin(), std::min(data.size(), buffer.size()), buffer.begin());
      obtained = true;
    }
  } else {
    const int result = source.FirmwareReadBlock(params.method, buffer.data());
    if (result != 0)
      std::printf("GetBIOS_Data: firmware read failed (%d)\n", result);
    else
      obtained = true;
  }
  if (obtained && byte297) *byte297 = buffer[block::kLutStep];
  DebugTrace(L"QOV: Exit GetBIOSDataManual()\n");
  return obtained && byte297;
}

bool GetBIOSData(const CctParams& params, CalibrationSource& source, uint8_t* byte297) {
  return GetBIOSDataManual(params, source, byte297);
}

void GetBIOSInfo(CctParams* params, FactoryTarget* target, GammaFitInput* fit, CalibrationSource& source) {
  if (!params || !target || !fit) return;
  DebugTrace(L"QOV: Enter GetBIOSInfo()\n");
  params->hasFactoryData = 0;
  DebugTrace(L"QOV: Start Open()\n");
  auto reader = OpenCalibration(*params, source);
  DebugTrace(L"QOV: Finish Open()\n");
  if (!reader) {
    DebugTrace(L"QOV: handler is null\n");
    params->hasFactoryData = 0;
    params->dataVersion = -1;
    DebugTrace(L"QOV: Exit  GetBIOSInfo()\n");
    return;
  }
  DebugTrace(L"QOV: handler not null\n");
  const CalibrationBlock& b = reader->block();
  params->hasFactoryData = 1;
  std::copy_n(&b.fullDriveXyz[0][0], 12, &params->factoryXyz[0][0]);
  params->dataVersion = b.version;
  target->hasGammaRamp = 0;

  if (b.version >= 4) {
    target->defaultWhite = b.referenceWhite;
    target->targetLuminance = b.targetLuminance;
    target->factoryWhite = b.targetWhite;
  }
  if (b.version >= 5) {
    *fit = GammaFitInput{};
    for (int c = 0; c < 3; ++c) {
      for (int level = 0; level < kGreySteps; ++level) std::copy_n(b.greyXyz[c][level], 3, fit->xyz[c][level]);
      std::copy_n(b.fullDriveXyz[c], 3, fit->xyz[c][kGreySteps]);
    }
    fit->exponent = 0;
    if (b.version >= 6 &&
        codec::Bios2Lut(&params->gammaLut[0][0], b.gammaString.data(), kLutSize, b.gammaMethod) != 0) {
      std::printf("Gamma string (method %d, %d bytes) does not decode; fitting the ramp instead\n", b.gammaMethod,
                  b.gammaSize);
      params->dataVersion = 5;
    }
    params->hasGammaLut = 1;
    target->hasGammaRamp = 1;
  }
  reader.reset();
  DebugTrace(L"QOV: Exit  GetBIOSInfo()\n");
}

}  // namespace kelvara
