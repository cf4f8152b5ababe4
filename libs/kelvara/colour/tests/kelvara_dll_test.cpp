// The real Kelvara.dll, bound by its plain export names the way a caller
// without the import library would, on a machine whose firmware has no
// calibration data (no control device, or the simulated one answering "no
// data"): the ICC path, and the debug dump in its fixed file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "base/win/module_path.h"
#include "base/win/unique_module.h"
#include "libs/kelvara/cct_params.h"
#include "testing/win/file_text.h"

namespace {

using CctApiFn = int32_t (*)(int32_t, CctParams*);
using CctApiGvFn = int32_t (*)(int32_t, CctParams*, const uint16_t*);

const std::filesystem::path kDumpFile = L"C:\\ProgramData\\Orvale\\Kelvara\\CCTDebug.txt";

class KelvaraDll : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(::LoadLibraryW((zu::win::ModuleDirectory() + L"Kelvara.dll").c_str()));
    ASSERT_TRUE(module_) << "LoadLibrary failed: " << ::GetLastError();
    api_ = module_.GetProc<CctApiFn>("CCTAPI");
    gv_ = module_.GetProc<CctApiGvFn>("CCTAPI_GV");
    ASSERT_NE(api_, nullptr);
    ASSERT_NE(gv_, nullptr);
    params_ = std::make_unique<CctParams>();
    std::memset(params_.get(), 0, sizeof(CctParams));
    const double srgb[4][3] = {
        {0.4124, 0.2126, 0.0193}, {0.3576, 0.7152, 0.1192}, {0.1805, 0.0722, 0.9505}, {0.9505, 1.0, 1.089}};
    std::memcpy(params_->nativeXyz, srgb, sizeof srgb);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < 256; ++i) params_->baseLut[c][i] = static_cast<uint16_t>(i * 256);
    }
    params_->interval = 1.0;
    params_->brightness = 1.0;
  }

  zu::win::UniqueModule module_;
  CctApiFn api_ = nullptr;
  CctApiGvFn gv_ = nullptr;
  std::unique_ptr<CctParams> params_;
};

TEST_F(KelvaraDll, InitialisesFromTheIccDataWithoutFirmwareCalibrationData) {
  CctParams* p = params_.get();
  EXPECT_EQ(api_(0, p), 0);
  EXPECT_EQ(p->version, 0x80800u);

  EXPECT_EQ(api_(1, p), 0);
  EXPECT_EQ(p->hasFactoryData, 0);
  EXPECT_EQ(p->dataVersion, -1);
  EXPECT_EQ(p->lastError, 0);
  EXPECT_EQ(p->iccType, 1);
  for (double g : p->defGain) EXPECT_EQ(g, 1.0);
  int ones = 0;
  for (double g : p->warmGain) {
    EXPECT_GT(g, 0.4);
    EXPECT_LE(g, 1.0);
    ones += g == 1.0;
  }
  EXPECT_EQ(ones, 1);
  EXPECT_EQ(p->warmGain[0], 1.0);  // warmer: red limits
  EXPECT_EQ(p->coldGain[2], 1.0);  // colder: blue limits

  EXPECT_EQ(api_(2, p), 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(p->outLut[0][i], i * 256);
  p->interval = 0.5;
  EXPECT_EQ(api_(2, p), 0);
  EXPECT_LT(p->outLut[2][255], 65280);
  EXPECT_EQ(api_(9, p), -1);

  const uint16_t* curve = &p->baseLut[0][0];
  EXPECT_EQ(gv_(21, p, curve), 0);
  EXPECT_EQ(gv_(20, p, curve), -1);
  EXPECT_EQ(gv_(21, nullptr, curve), -1);

  // A calibration file that is not there.
  p->useFile = 1;
  p->dataDir = "C:\\nowhere\\";
  p->dataFile = "calibration.bin";
  EXPECT_EQ(api_(1, p), -3);
  EXPECT_EQ(p->lastError, -3);
}

TEST_F(KelvaraDll, DumpsToItsFixedFileOnlyWhileItExists) {
  std::error_code ec;
  std::filesystem::remove(kDumpFile, ec);
  CctParams* p = params_.get();
  ASSERT_EQ(api_(1, p), 0);
  EXPECT_FALSE(std::filesystem::exists(kDumpFile));

  std::filesystem::create_directories(kDumpFile.parent_path());
  { std::ofstream(kDumpFile) << "switched on\n"; }
  ASSERT_EQ(api_(4, p), 0);
  const std::string text = zu::testing::ReadFile(kDumpFile);
  std::filesystem::remove_all(kDumpFile.parent_path(), ec);
  EXPECT_EQ(text.find("switched on"), std::string::npos);
  EXPECT_EQ(text.rfind(std::string(42, '=') + "\r\nCCTAPI_VIVID_MODE (before LutImprove())\r\n", 0), 0u);
  EXPECT_NE(text.find("CCT Version: 8.8.0 \r\n"), std::string::npos);
  EXPECT_NE(text.find("[255] 65280 65280 65280\r\n"), std::string::npos);
}

}  // namespace
