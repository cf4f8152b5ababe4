// The process-wide calibration state of the display colour plug-in and the
// steps that fill it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "libs/kelvara/cct_params.h"

namespace zu {
class ILogger;
}

namespace tintora {

// Where the panel profiles are installed with the product.
inline constexpr const wchar_t* kProductFolder =
    L"C:\\ProgramData\\Orvale\\Orvale Control Hub\\OrvaleOptimization\\Tintora";

struct CalibrationState {
  // Held by InitColorCalibration and DoColorCalibration, so a resume that
  // arrives during a calibration waits for it.
  std::mutex lock;

  CctParams params{};
  std::wstring colorDirectory;
  std::wstring productFolder;
  std::wstring adapterName;  // GDI device name of the display adapter
  std::wstring monitorId;    // device id of its first monitor
  std::wstring ProfileName;
  int32_t GpuPath = 0;
  // Set by a failed InitColorCalibration and never cleared.
  bool CalibrationFailed = false;
  // Set by a successful InitColorCalibration: params.outLut holds the ramp.
  bool calibrated = false;
};

// The library's one instance.
CalibrationState& ProcessCalibration();

// Board name, processor vendor and panel EDID from the machine registry:
// GpuPath and ProfileName.
void IdentifyPlatform(CalibrationState& state);

// The steps of InitColorCalibration; 0, or -1 after logging why.
int getColorDir(CalibrationState& state);
int getDisplayDevices(CalibrationState& state);
int parseICC(CalibrationState& state);
int getLUT(CalibrationState& state, int32_t lutApiType);

// Copies the profile a "cmgm" tag names from the product folder into the
// colour directory, installs it and associates it with the monitor.
void setICM(CalibrationState& state, const std::string& name);

// Identifies the platform, reads the profile and asks Kelvara for the LUT.
// Always 0: a failure sets CalibrationFailed.
int InitColorCalibration(CalibrationState& state, zu::ILogger* logger);

// Loads the LUT of a successful InitColorCalibration into the graphics
// driver; does nothing before one or after a failed one.
void DoColorCalibration(CalibrationState& state);

// The back-ends; 0 or -1.
int SetGamma(CalibrationState& state);
int Intel_SetGamma(const CalibrationState& state);
int AMD_SetGamma(const CalibrationState& state);

}  // namespace tintora
