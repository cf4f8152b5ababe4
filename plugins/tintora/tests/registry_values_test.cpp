// The registry readers and the platform identification built on them.
#include <windows.h>

#include <gtest/gtest.h>

#include "plugins/tintora/tests/log_lines.h"
#include "plugins/tintora/tests/win_test_support.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/win/registry_values.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

using testing::ScopedMachineValue;
using zu::testing::RecordingLogger;

constexpr const wchar_t* kTestKey = L"SOFTWARE\\ZuTest\\TintoraRegistry";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWriteLogLogger(&log_); }
  void TearDown() override {
    SetWriteLogLogger(nullptr);
    zu::testing::DeleteTree(HKEY_LOCAL_MACHINE, kTestKey);
  }
  std::vector<std::string> Texts() const { return testing::Texts(log_); }
  RecordingLogger log_;
};

TEST_F(RegistryTest, TextValuesAndEachWayOfFailing) {
  ScopedMachineValue text(kTestKey, L"Board");
  ASSERT_TRUE(text.SetText(L"X1 Carbon"));
  EXPECT_EQ(ReadRegValueSZ(kTestKey, L"Board"), L"X1 Carbon");
  EXPECT_TRUE(log_.calls().empty());

  // Stored without its terminating zero, and with text after a zero.
  const wchar_t raw[] = {L'A', L'B', L'C'};
  ASSERT_TRUE(text.SetRaw(REG_SZ, raw, sizeof raw));
  EXPECT_EQ(ReadRegValueSZ(kTestKey, L"Board"), L"ABC");
  const wchar_t split[] = {L'A', 0, L'B', 0};
  ASSERT_TRUE(text.SetRaw(REG_SZ, split, sizeof split));
  EXPECT_EQ(ReadRegValueSZ(kTestKey, L"Board"), L"A");

  EXPECT_EQ(ReadRegValueSZ(L"SOFTWARE\\ZuTest\\NoSuchKey", L"Board"), L"");
  EXPECT_EQ(ReadRegValueSZ(kTestKey, L"Missing"), L"");
  const DWORD number = 7;
  ASSERT_TRUE(text.SetRaw(REG_DWORD, &number, sizeof number));
  EXPECT_EQ(ReadRegValueSZ(kTestKey, L"Board"), L"");
  const std::vector<testing::LogLine> expected = {
      {zu::kLogError, "Tintora [ReadRegValueSZ] Could not open registry key"},
      {zu::kLogError, "Tintora [ReadRegValueSZ] Could not read registry value"},
      {zu::kLogError, "Tintora [ReadRegValueSZ] Incorrect registry value type"},
  };
  EXPECT_EQ(testing::Lines(log_), expected);
}

TEST_F(RegistryTest, BinaryValuesFillTheBufferWithAtMost128Bytes) {
  ScopedMachineValue value(kTestKey, L"EDID");
  uint8_t edid[256];
  for (int i = 0; i < 256; ++i) edid[i] = static_cast<uint8_t>(i);

  uint8_t buffer[kEdidBufferSize];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  ASSERT_TRUE(value.SetRaw(REG_BINARY, edid, 10));
  EXPECT_TRUE(ReadRegValueBinary(kTestKey, L"EDID", buffer));
  EXPECT_EQ(buffer[9], 9);
  EXPECT_EQ(buffer[10], 0xEE);  // past the value: as it was

  // An EDID with an extension block: the base block is used.
  ASSERT_TRUE(value.SetRaw(REG_BINARY, edid, 256));
  EXPECT_TRUE(ReadRegValueBinary(kTestKey, L"EDID", buffer));
  EXPECT_TRUE(std::equal(std::begin(buffer), std::end(buffer), edid));

  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  ASSERT_TRUE(value.SetText(L"not binary"));
  EXPECT_FALSE(ReadRegValueBinary(kTestKey, L"EDID", buffer));
  EXPECT_FALSE(ReadRegValueBinary(kTestKey, L"Other", buffer));
  EXPECT_FALSE(ReadRegValueBinary(L"SOFTWARE\\ZuTest\\NoSuchKey", L"EDID", buffer));
  EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](uint8_t b) { return b == 0xEE; }));
  const std::vector<std::string> expected = {
      "Tintora [ReadRegValueBinary] Incorrect registry value type",
      "Tintora [ReadRegValueBinary] Could not read registry value",
      "Tintora [ReadRegValueBinary] Could not open registry key",
  };
  EXPECT_EQ(Texts(), expected);
}

// The machine as the calibration finds it: board, processor vendor, the
// first monitor and its EDID. Restores every value afterwards.
class MachineIdentity {
 public:
  static constexpr const wchar_t* kMonitorInstance = L"DISPLAY\\Default_Monitor\\0000&0000";
  MachineIdentity()
      : board_(L"SYSTEM\\HardwareConfig\\Current", L"BaseBoardProduct"),
        vendor_(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"VendorIdentifier"),
        monitor_(L"SYSTEM\\CurrentControlSet\\Services\\monitor\\Enum", L"0"),
        edid_(std::wstring(L"SYSTEM\\CurrentControlSet\\Enum\\") + kMonitorInstance + L"\\Device Parameters",
              L"EDID") {}
  ScopedMachineValue board_, vendor_, monitor_, edid_;
};

TEST_F(RegistryTest, ProfileNameFromBoardVendorAndPanel) {
  MachineIdentity machine;
  ASSERT_TRUE(machine.board_.SetText(L"X1"));
  ASSERT_TRUE(machine.vendor_.SetText(L"GenuineIntel"));
  ASSERT_TRUE(machine.monitor_.SetText(MachineIdentity::kMonitorInstance));
  uint8_t edid[128] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x06, 0xAF, 0x3D, 0x12};
  ASSERT_TRUE(machine.edid_.SetRaw(REG_BINARY, edid, sizeof edid));

  CalibrationState state;
  IdentifyPlatform(state);
  EXPECT_EQ(state.ProfileName, L"X1_8086_AF06123D.icm");
  EXPECT_EQ(state.GpuPath, 0);
  EXPECT_TRUE(log_.calls().empty());

  ASSERT_TRUE(machine.vendor_.SetText(L"AuthenticAMD"));
  IdentifyPlatform(state);
  EXPECT_EQ(state.ProfileName, L"X1_1002_AF06123D.icm");
  EXPECT_EQ(state.GpuPath, 1);

  // Nothing readable: an empty board, AMD, and a zero panel id.
  machine.board_.Remove();
  machine.vendor_.Remove();
  machine.monitor_.Remove();
  IdentifyPlatform(state);
  EXPECT_EQ(state.ProfileName, L"_1002_00000000.icm");
  EXPECT_EQ(state.GpuPath, 1);
  EXPECT_EQ(Texts().size(), 4u);  // three missing values and the EDID key
}

}  // namespace
}  // namespace tintora
