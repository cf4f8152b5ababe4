#include "libs/kelvara/calibration/win/system_calibration_source.h"

#include <windows.h>

#include "base/win/unique_handle.h"
#include "base/win/utf.h"

namespace kelvara {
namespace {

zu::win::UniqueFile OpenForReading(const std::string& path) {
  return zu::win::UniqueFile(::CreateFileW(zu::win::FromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

class SystemSource final : public CalibrationSource {
 public:
  int FirmwareReadBlock(int32_t method, uint8_t* block) override { return kelvara::FirmwareReadBlock(method, block); }
  EdidStore ReadEdids() override { return GetEdidData(); }
  bool CanOpenFile(const std::string& path) override { return CanOpenCalibrationFile(path); }
  bool ReadFile(const std::string& path, size_t limit, std::vector<uint8_t>* data) override {
    return ReadCalibrationFile(path, limit, data);
  }
};

}  // namespace

bool CanOpenCalibrationFile(const std::string& path) { return static_cast<bool>(OpenForReading(path)); }

bool ReadCalibrationFile(const std::string& path, size_t limit, std::vector<uint8_t>* data) {
  data->clear();
  auto file = OpenForReading(path);
  if (!file) return false;
  data->resize(limit);
  size_t filled = 0;
  while (filled < limit) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), data->data() + filled, static_cast<DWORD>(limit - filled), &got, nullptr) || !got)
      break;
    filled += got;
  }
  data->resize(filled);
  return true;
}

CalibrationSource& SystemCalibrationSource() {
  static SystemSource source;
  return source;
}

}  // namespace kelvara
