// The firmware routines and the availability check against the simulated
// ACPI control device, on the simulated chassis the test is run on.
//
//   acpi_device_tests --machine=laptop|other [gtest options]
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/common/acpi_device.h"
#include "plugins/common/acpi_request.h"
#include "plugins/common/check_chassis.h"
#include "tools/simlaptop/sim_acpi.h"

namespace zu::acpi {
namespace {

using Bytes = std::vector<uint8_t>;
using simacpi::Request;

enum class Machine { kUnknown, kLaptop, kOther };
Machine g_machine = Machine::kUnknown;

constexpr uint32_t kDsts = 0x53545344, kDevs = 0x53564544, kScdg = 0x47444353;
constexpr uint32_t kStatusUnsuccessful = 0xC0000001;

class AcpiDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_.ready()) << "simulated ACPI device not installed"; }
  simacpi::Scope device_;
};

Bytes Le(std::initializer_list<uint32_t> words) {
  Bytes b;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return b;
}

// ---- the two routines -----------------------------------------------------

TEST_F(AcpiDeviceTest, StatusQuerySendsExactlyTheRequestAndReturnsTheWord) {
  ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, 0x00010003));
  ASSERT_TRUE(simacpi::SetStatus(kDeviceConferenceLed, 0x00000001));
  uint32_t status = 0xDEADBEEF;
  EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanel, &status), 0);
  EXPECT_EQ(status, 0x00010003u);
  EXPECT_EQ(simacpi::LastRequest(), (Bytes{'D', 'S', 'T', 'S', 4, 0, 0, 0, 0x1B, 0x00, 0x05, 0x00}));
  EXPECT_EQ(simacpi::LastIoctl(), 0x0022240Cu);
  EXPECT_EQ(simacpi::LastOutputSize(), 1024u);

  EXPECT_EQ(GetDeviceStatus(kDeviceConferenceLed, &status), 0);
  EXPECT_EQ(status, 1u);
  // A device the firmware knows nothing of answers 0.
  EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanelStatus, &status), 0);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(simacpi::History(), (std::vector<Request>{{kDsts, 4, kDevicePrivacyPanel, 0, 0},
                                                      {kDsts, 4, kDeviceConferenceLed, 0, 0},
                                                      {kDsts, 4, kDevicePrivacyPanelStatus, 0, 0}}));
}

TEST_F(AcpiDeviceTest, SetDeviceSendsIdAndValueAndEverySetIsRecordedInOrder) {
  ASSERT_TRUE(simacpi::SetDevsAnswer(0x1234));
  uint32_t answer = 0;
  EXPECT_EQ(SetDeviceStatus(kDeviceConferenceLed, 1, &answer), 0);
  EXPECT_EQ(answer, 0x1234u);
  EXPECT_EQ(simacpi::LastRequest(),
            (Bytes{'D', 'E', 'V', 'S', 8, 0, 0, 0, 0x19, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(simacpi::LastOutputSize(), 1024u);

  EXPECT_EQ(SetDeviceStatus(kDevicePrivacyPanel, 0, &answer), 0);
  EXPECT_EQ(SetDeviceStatus(kDeviceConferenceLed, 0, &answer), 0);
  EXPECT_EQ(SetDeviceStatus(kDevicePrivacyPanel, 0xA5A5A5A5, &answer), 0);
  EXPECT_EQ(simacpi::LastDevsValue(kDeviceConferenceLed), 0u);
  EXPECT_EQ(simacpi::DevsCount(kDeviceConferenceLed), 2u);
  EXPECT_EQ(simacpi::LastDevsValue(kDevicePrivacyPanel), 0xA5A5A5A5u);
  EXPECT_EQ(simacpi::DevsHistory(), (std::vector<std::pair<uint32_t, uint32_t>>{{kDeviceConferenceLed, 1},
                                                                               {kDevicePrivacyPanel, 0},
                                                                               {kDeviceConferenceLed, 0},
                                                                               {kDevicePrivacyPanel, 0xA5A5A5A5}}));
}

TEST_F(AcpiDeviceTest, AnswersShorterThanAWordGiveStatusZero) {
  ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, 0xFFFFFFFF));
  ASSERT_TRUE(simacpi::SetDevsAnswer(0xFFFFFFFF));
  for (uint32_t length : {0u, 1u, 2u, 3u}) {
    ASSERT_TRUE(simacpi::SetAnswerLength(length));
    uint32_t status = 0xDEADBEEF;
    EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanel, &status), 0) << length;
    EXPECT_EQ(status, 0u) << length;
    status = 0xDEADBEEF;
    EXPECT_EQ(SetDeviceStatus(kDevicePrivacyPanel, 1, &status), 0) << length;
    EXPECT_EQ(status, 0u) << length;
  }
  ASSERT_TRUE(simacpi::SetAnswerLength(4));
  uint32_t status = 0;
  EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanel, &status), 0);
  EXPECT_EQ(status, 0xFFFFFFFFu);
}

TEST_F(AcpiDeviceTest, RefusingDeviceGivesMinusOne) {
  ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, 0x10000));
  ASSERT_TRUE(simacpi::SetRefuse(true));
  uint32_t status = 0xDEADBEEF;
  EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanel, &status), -1);
  EXPECT_EQ(status, 0u);
  status = 0xDEADBEEF;
  EXPECT_EQ(SetDeviceStatus(kDevicePrivacyPanel, 1, &status), -1);
  EXPECT_EQ(status, 0u);
  std::vector<uint8_t> output = {1, 2, 3};
  EXPECT_FALSE(CallMethod(BuildCalibrationQuery(1), &output));
  EXPECT_TRUE(output.empty());
  // The requests reached the device, which turned them down.
  EXPECT_EQ(simacpi::History(), (std::vector<Request>{{kDsts, 4, kDevicePrivacyPanel, 0, kStatusUnsuccessful},
                                                      {kDevs, 8, kDevicePrivacyPanel, 1, kStatusUnsuccessful},
                                                      {kScdg, 516, 1, 0, kStatusUnsuccessful}}));
  EXPECT_EQ(simacpi::LastDevsValue(kDevicePrivacyPanel), std::nullopt);
}

TEST_F(AcpiDeviceTest, AbsentDeviceGivesMinusOneAndReceivesNothing) {
  ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, 0x10000));
  ASSERT_TRUE(simacpi::Stop());
  uint32_t status = 0xDEADBEEF;
  EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanel, &status), -1);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(SetDeviceStatus(kDeviceConferenceLed, 1, &status), -1);
  std::vector<uint8_t> output;
  EXPECT_FALSE(CallMethod(BuildCalibrationQuery(2), &output));
  ASSERT_TRUE(simacpi::Start());
  EXPECT_EQ(simacpi::RequestCount(), 0u);
  // Present again: the same call goes through.
  EXPECT_EQ(GetDeviceStatus(kDevicePrivacyPanel, &status), 0);
  EXPECT_EQ(status, 0x10000u);
}

// ---- the calibration request ----------------------------------------------

Bytes Block(uint8_t seed) {
  Bytes block(512);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(seed + i * 7);
  return block;
}

TEST_F(AcpiDeviceTest, CalibrationPayloadAndAnswerForBothSelectors) {
  ASSERT_TRUE(simacpi::SetCalibration(1, Block(0x11), 512));
  ASSERT_TRUE(simacpi::SetCalibration(2, Block(0x22), 1));
  for (uint32_t selector : {1u, 2u}) {
    std::vector<uint8_t> output;
    ASSERT_TRUE(CallMethod(BuildCalibrationQuery(selector), &output)) << selector;

    const Bytes sent = simacpi::LastRequest();
    ASSERT_EQ(sent.size(), 524u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 16), Le({kScdg, 516, selector, 0})) << selector;
    EXPECT_EQ(std::count(sent.begin() + 16, sent.end(), 0), 508) << "zero padding";
    EXPECT_EQ(simacpi::LastOutputSize(), 1024u);

    ASSERT_EQ(output.size(), 516u);
    EXPECT_EQ(GetLe32(output.data()), selector == 1 ? 512u : 1u);
    EXPECT_EQ(Bytes(output.begin() + 4, output.end()), Block(selector == 1 ? 0x11 : 0x22)) << selector;
  }
}

TEST_F(AcpiDeviceTest, CalibrationWithoutDataAndCutAnswersAreBoundedByTheCount) {
  std::vector<uint8_t> output;
  ASSERT_TRUE(CallMethod(BuildCalibrationQuery(2), &output));
  ASSERT_EQ(output.size(), 516u);
  EXPECT_EQ(GetLe32(output.data()), 0u) << "count 0: no data";

  ASSERT_TRUE(simacpi::SetCalibration(1, Block(0x33)));
  ASSERT_TRUE(simacpi::SetAnswerLength(10));
  ASSERT_TRUE(CallMethod(BuildCalibrationQuery(1), &output));
  const Bytes block = Block(0x33);
  EXPECT_EQ(output, (Bytes{0x00, 0x02, 0x00, 0x00, block[0], block[1], block[2], block[3], block[4], block[5]}));

  ASSERT_TRUE(simacpi::SetAnswerLength(0));
  output = {9};
  ASSERT_TRUE(CallMethod(BuildCalibrationQuery(1), &output));
  EXPECT_TRUE(output.empty());
}

// ---- the availability check -------------------------------------------------

class CheckChassisTest : public AcpiDeviceTest {
 protected:
  void SetUp() override {
    AcpiDeviceTest::SetUp();
    ASSERT_NE(g_machine, Machine::kUnknown) << "run with --machine=laptop|other";
  }
  bool laptop() const { return g_machine == Machine::kLaptop; }
};

TEST_F(CheckChassisTest, FeatureBitDecidesOnALaptopOnly) {
  struct Case {
    uint32_t status;
    bool present;
  } cases[] = {{0x00010000, true},  {0x00010001, true},  {0xFFFFFFFF, true},
               {0x00000000, false}, {0x0000FFFF, false}, {0xFFFEFFFF, false}};
  for (const auto& c : cases) {
    ASSERT_TRUE(simacpi::Reset());
    ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, c.status));
    ASSERT_TRUE(simacpi::SetStatus(kDeviceConferenceLed, c.status));
    EXPECT_EQ(CheckChassis(kDevicePrivacyPanel), laptop() && c.present) << std::hex << c.status;
    EXPECT_EQ(CheckChassis(kDeviceConferenceLed), laptop() && c.present) << std::hex << c.status;
    if (laptop()) {
      EXPECT_EQ(simacpi::History(), (std::vector<Request>{{kDsts, 4, kDevicePrivacyPanel, 0, 0},
                                                          {kDsts, 4, kDeviceConferenceLed, 0, 0}}));
    } else {
      EXPECT_EQ(simacpi::RequestCount(), 0u) << "no device query on a machine that is not a laptop";
    }
  }
}

TEST_F(CheckChassisTest, OnlyTheAskedDeviceCounts) {
  ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, 0x10000));
  EXPECT_FALSE(CheckChassis(kDeviceConferenceLed));
  EXPECT_EQ(CheckChassis(kDevicePrivacyPanel), laptop());
}

TEST_F(CheckChassisTest, MissingRefusingOrShortAnsweringDeviceMeansNoFeature) {
  ASSERT_TRUE(simacpi::SetStatus(kDevicePrivacyPanel, 0x10000));
  ASSERT_TRUE(simacpi::SetAnswerLength(3));
  EXPECT_FALSE(CheckChassis(kDevicePrivacyPanel)) << "short answer";
  ASSERT_TRUE(simacpi::SetAnswerLength(std::nullopt));

  ASSERT_TRUE(simacpi::SetRefuse(true));
  EXPECT_FALSE(CheckChassis(kDevicePrivacyPanel)) << "refused";
  ASSERT_TRUE(simacpi::SetRefuse(false));

  ASSERT_TRUE(simacpi::Stop());
  EXPECT_FALSE(CheckChassis(kDevicePrivacyPanel)) << "absent";
  ASSERT_TRUE(simacpi::Start());
  EXPECT_EQ(CheckChassis(kDevicePrivacyPanel), laptop());
}

}  // namespace
}  // namespace zu::acpi

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--machine=laptop") == 0) zu::acpi::g_machine = zu::acpi::Machine::kLaptop;
    if (std::strcmp(argv[i], "--machine=other") == 0) zu::acpi::g_machine = zu::acpi::Machine::kOther;
  }
  return RUN_ALL_TESTS();
}
