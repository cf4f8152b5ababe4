// The factory calibration import: block parsing by version, CRCs, the EDID
// match, the file and firmware sources and what reaches the record.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "libs/kelvara/calibration/calibration_reader.h"
#include "libs/kelvara/calibration/crc16.h"
#include "libs/kelvara/calibration/firmware_reply.h"
#include "libs/kelvara/calibration/tests/block_builder.h"
#include "libs/kelvara/codec/lut_codec.h"

namespace kelvara {
namespace {

using testing::Bytes;
using testing::CalibrationBlockBuilder;
using testing::FakeCalibrationSource;
using testing::MakeEdid;
using testing::PanelMeasurement;

// Runs the import on a fresh record as CCT_Init prepares it.
struct Import {
  CctParams params{};
  FactoryTarget target;
  GammaFitInput fit;
  std::string printed;
  std::string traced;

  explicit Import(FakeCalibrationSource& source, bool useFile = false, int32_t method = 0) {
    params.useFile = useFile ? 1 : 0;
    params.dataDir = "C:\\cal\\";
    params.dataFile = "panel.bin";
    params.method = method;
    params.dataVersion = 99;
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) params.gammaLut[c][i] = static_cast<uint16_t>(i * 256);
    CCTAPI_ERRORCODE = 0;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    GetBIOSInfo(&params, &target, &fit, source);
    traced = ::testing::internal::GetCapturedStderr();
    printed = ::testing::internal::GetCapturedStdout();
  }
  bool Printed(const std::string& text) const { return printed.find(text) != std::string::npos; }
};

constexpr const char* kPath = "C:\\cal\\panel.bin";

TEST(Crc16, CatalogueCheckValueAndStoredOrder) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc16Ibm3740(reinterpret_cast<const uint8_t*>(digits), 9), 0x29B1);
  uint8_t data[12] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0xB1, 0x29, 0};
  EXPECT_TRUE(StoredCrcMatches(data, 0, 8, 9));
  std::swap(data[9], data[10]);  // high byte first is wrong
  EXPECT_FALSE(StoredCrcMatches(data, 0, 8, 9));
}

TEST(CalibrationImport, EveryVersionFromFirmwareAndFile) {
  const PanelMeasurement panel;
  for (int version = 0; version <= 8; ++version) {
    for (bool useFile : {false, true}) {
      SCOPED_TRACE("version " + std::to_string(version) + (useFile ? " file" : " firmware"));
      FakeCalibrationSource source;
      const Bytes block = CalibrationBlockBuilder(static_cast<uint8_t>(version)).Build();
      source.firmwareBlock = block;
      source.files[kPath] = block;
      const Import run(source, useFile);

      EXPECT_EQ(CCTAPI_ERRORCODE, 0);
      EXPECT_EQ(run.params.hasFactoryData, 1);
      EXPECT_EQ(run.params.dataVersion, version);
      EXPECT_TRUE(run.Printed("Parsing version = " + std::to_string(version) + "\n"));
      for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 3; ++k)
          EXPECT_DOUBLE_EQ(run.params.factoryXyz[r][k], static_cast<float>(panel.fullDrive[r][k]));

      // The factory target from version 4 on; otherwise the preset stays.
      if (version >= 4) {
        EXPECT_DOUBLE_EQ(run.target.defaultWhite.x, static_cast<float>(panel.referenceWhite.x));
        EXPECT_DOUBLE_EQ(run.target.targetLuminance, 280.0);
        EXPECT_DOUBLE_EQ(run.target.factoryWhite.y, static_cast<float>(panel.targetWhite.y));
      } else {
        EXPECT_DOUBLE_EQ(run.target.defaultWhite.x, ColorConstants{}.defaultWhite.x);
        EXPECT_EQ(run.target.targetLuminance, 0);
        EXPECT_EQ(run.target.factoryWhite.x, 0);
      }

      // Grey levels and a gamma ramp from version 5 on.
      EXPECT_EQ(run.params.hasGammaLut, version >= 5 ? 1 : 0);
      EXPECT_EQ(run.target.hasGammaRamp, version >= 5 ? 1 : 0);
      if (version >= 5) {
        EXPECT_EQ(run.fit.levels[6], 255);
        EXPECT_EQ(run.fit.exponent, 0);
        EXPECT_DOUBLE_EQ(run.fit.xyz[0][0][1], static_cast<float>(panel.black[1]));                // black
        EXPECT_DOUBLE_EQ(run.fit.xyz[1][3][1], static_cast<float>(panel.Grey(1, 128, 1)));         // green at 128
        EXPECT_DOUBLE_EQ(run.fit.xyz[2][6][2], static_cast<float>(panel.fullDrive[2][2]));         // blue at 255
      }
      if (version >= 6) {
        EXPECT_TRUE(run.Printed("Use Method = 1   bios size = 4\n"));
      }
      EXPECT_EQ(source.methodsAsked.size(), useFile ? 0u : 1u);
    }
  }
}

TEST(CalibrationImport, GammaStringDecodesIntoTheRecord) {
  // A version 7 ramp with a step of 5: only position lists carry it.
  uint16_t ramp[3][256];
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ramp[c][i] = static_cast<uint16_t>(i * 256);
  for (int i = 100; i <= 104; ++i) ramp[0][i] = 104 * 256;
  uint8_t str[255];
  int32_t method = -1;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(codec::Lut2Bios(&ramp[0][0], 212, str, sizeof str, &method), 0);
  ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(method, 1);

  FakeCalibrationSource source;
  source.firmwareBlock = CalibrationBlockBuilder(7).GammaString(1, Bytes(str, str + str[0])).Build();
  const Import run(source);
  EXPECT_EQ(run.params.dataVersion, 7);
  EXPECT_EQ(std::memcmp(run.params.gammaLut, ramp, sizeof ramp), 0);

  // The method byte decides the decoder: read as Huffman it fails, and the
  // ramp is then fitted from the grey levels instead (version 5).
  source.firmwareBlock = CalibrationBlockBuilder(6).GammaString(0, Bytes(str, str + str[0])).Build();
  const Import wrongMethod(source);
  EXPECT_EQ(wrongMethod.params.hasFactoryData, 1);
  EXPECT_EQ(wrongMethod.params.dataVersion, 5);
  EXPECT_EQ(wrongMethod.params.hasGammaLut, 1);
  EXPECT_EQ(wrongMethod.params.gammaLut[0][255], 65280);  // untouched identity
}

TEST(CalibrationImport, BrokenCrcsRejectTheBlock) {
  struct Case {
    int version;
    size_t offset;
    bool rejected;
    const char* print;
  };
  const Case cases[] = {
      {0, 12, true, "CRCCheck Error\n"},    {3, 59, true, "CRCCheck Error\n"},
      {5, 103, true, "Grey level CRCCheck Error\n"}, {7, 282, true, "Grey level CRCCheck Error\n"},
      {4, 103, false, ""},                  // version 4 has no second CRC
      {7, 60, false, ""},                   // outside both CRCs
  };
  for (const Case& c : cases) {
    for (bool useFile : {false, true}) {
      SCOPED_TRACE("version " + std::to_string(c.version) + " byte " + std::to_string(c.offset));
      Bytes block = CalibrationBlockBuilder(static_cast<uint8_t>(c.version)).Build();
      block[c.offset] ^= 0x01;
      FakeCalibrationSource source;
      source.firmwareBlock = block;
      source.files[kPath] = block;
      const Import run(source, useFile);
      EXPECT_EQ(run.params.hasFactoryData, c.rejected ? 0 : 1);
      EXPECT_EQ(run.params.dataVersion, c.rejected ? -1 : c.version);
      // A firmware block fails quietly; a file block reports it.
      EXPECT_EQ(CCTAPI_ERRORCODE, c.rejected && useFile ? kCctBadCalibrationFile : 0);
      if (c.rejected) {
        EXPECT_TRUE(run.Printed(c.print));
      }
    }
  }
}

TEST(CalibrationImport, EdidSlotsAreTriedInOrder) {
  const Bytes panel = MakeEdid(testing::kPanelIdentity, 1);
  const Bytes sameModel = MakeEdid(testing::kPanelIdentity, 2);  // same identity, other checksum
  const Bytes other = MakeEdid({0x10, 0xAC, 0x01, 0x02}, 1);
  ASSERT_NE(EdidCalibrationChecksum(panel), EdidCalibrationChecksum(sameModel));
  const Bytes block = CalibrationBlockBuilder(5).ForEdid(panel).Build();

  FakeCalibrationSource source;
  source.firmwareBlock = block;
  source.edids = {};
  source.edids.slots[0] = sameModel;
  source.edids.slots[3] = panel;
  const Import second(source);
  EXPECT_EQ(second.params.hasFactoryData, 1);
  EXPECT_TRUE(second.Printed(
      "; QOV: this->EDID_Checksum= " + std::to_string(EdidCalibrationChecksum(panel)) + " " +
      std::to_string(EdidCalibrationChecksum(sameModel)) + "\n"));
  EXPECT_TRUE(second.Printed("; QOV: EDID =  83 4c 41 41\n"));

  source.edids = {};
  source.edids.slots[0] = other;
  source.edids.slots[1] = sameModel;
  source.edids.slots[2] = Bytes(panel.begin(), panel.begin() + 100);  // cut short: no byte 127
  const Import none(source);
  EXPECT_EQ(none.params.hasFactoryData, 0);
  EXPECT_TRUE(none.Printed("EDID Check Error\n"));
  EXPECT_EQ(CCTAPI_ERRORCODE, 0);

  // An empty slot is no monitor, even for a block whose identity is all
  // zeros and whose checksum byte is what zeros would give.
  Bytes zeros = CalibrationBlockBuilder(3).Build();
  std::memset(zeros.data() + block::kEdidIdentity, 0, 4);
  zeros[block::kEdidChecksum] = 0x55;
  source.firmwareBlock = zeros;
  source.edids = {};
  EXPECT_EQ(Import(source).params.hasFactoryData, 0);
}

TEST(CalibrationImport, OldBlocksMatchOnTheChecksumAlone) {
  // Before version 3 the block has no identity bytes.
  const Bytes panel = MakeEdid({0x22, 0x33, 0x44, 0x55}, 7);
  FakeCalibrationSource source;
  source.edids.slots[1] = panel;
  source.firmwareBlock = CalibrationBlockBuilder(1).ForEdid(panel).Build();
  const Import match(source);
  EXPECT_EQ(match.params.hasFactoryData, 1);
  EXPECT_EQ(match.params.dataVersion, 1);
  EXPECT_EQ(match.params.hasGammaLut, 0);

  source.edids = {};
  source.edids.slots[0] = MakeEdid({0x22, 0x33, 0x44, 0x55}, 8);
  EXPECT_EQ(Import(source).params.hasFactoryData, 0);
}

TEST(CalibrationImport, ShortAndMalformedFiles) {
  struct Case {
    const char* what;
    Bytes file;
  };
  const Bytes v5 = CalibrationBlockBuilder(5).Build();
  Bytes longString = CalibrationBlockBuilder(7).Build();
  longString[block::kGammaMethodV7 + 1] = 213;  // 299 + 214 > 512
  Bytes notANumber = CalibrationBlockBuilder(0).Build();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::memcpy(notANumber.data() + block::kFullDrive + 20, &nan, 4);
  const Case cases[] = {
      {"empty", {}},
      {"no version byte", Bytes(v5.begin(), v5.begin() + 4)},
      {"cut inside the full-drive XYZ", Bytes(v5.begin(), v5.begin() + 59)},
      {"version 5 cut before the black level", Bytes(v5.begin(), v5.begin() + 296)},
      {"gamma string past the block", longString},
      {"a measurement that is not a number", notANumber},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCalibrationSource source;
    source.files[kPath] = c.file;
    const Import run(source, true);
    EXPECT_EQ(run.params.hasFactoryData, 0);
    EXPECT_EQ(run.params.dataVersion, -1);
    EXPECT_EQ(CCTAPI_ERRORCODE, kCctBadCalibrationFile);
    EXPECT_FALSE(run.Printed("CRCCheck Error"));  // no checks after a failed parse
    EXPECT_EQ(source.filesRead.size(), 1u);       // read once: no retry
  }

  // A version 0 block needs only its first 60 bytes.
  FakeCalibrationSource source;
  source.files[kPath] = Bytes(v5.begin(), v5.begin() + 60);
  source.files[kPath][block::kVersion] = 0;
  const Import shortOld(source, true);
  EXPECT_EQ(shortOld.params.hasFactoryData, 1);
  EXPECT_EQ(CCTAPI_ERRORCODE, 0);
}

TEST(CalibrationImport, MissingFileIsTriedTwice) {
  FakeCalibrationSource source;
  source.files["C:\\cal\\other.bin"] = CalibrationBlockBuilder(5).Build();
  const Import run(source, true);
  EXPECT_EQ(CCTAPI_ERRORCODE, kCctNoCalibrationFile);
  EXPECT_EQ(run.params.hasFactoryData, 0);
  EXPECT_EQ(run.params.dataVersion, -1);
  EXPECT_EQ(source.filesRead, (std::vector<std::string>{kPath, kPath}));
  EXPECT_TRUE(run.Printed("path = C:\\cal\\panel.bin \nthis->BiosDataStatus  = 7  \n"));
  EXPECT_FALSE(run.Printed("CCTLoadBIOS"));
#ifndef _WIN32  // natively the debugger traces go to standard error
  EXPECT_NE(run.traced.find("QOV: Enter GetBIOSInfo()\nQOV: Start Open()\nQOV: Enter Open()\nQOV: Enter GetData()\n"
                            "QOV: End Get Data From File()\nQOV: Enter GetData()\nQOV: End Get Data From File()\n"
                            "QOV: Exit Open()\nQOV: Finish Open()\nQOV: handler is null\nQOV: Exit  GetBIOSInfo()\n"),
            std::string::npos)
      << run.traced;
#endif
}

TEST(CalibrationImport, FirmwareSelectorAndNoData) {
  for (int32_t method : {0, 1}) {
    FakeCalibrationSource source;
    source.firmwareBlock = CalibrationBlockBuilder(4).Build();
    const Import run(source, false, method);
    EXPECT_EQ(source.methodsAsked, std::vector<int32_t>{method});
    EXPECT_EQ(run.params.hasFactoryData, 1);
  }
  // No device, a failed call, or no data: the block is rejected by its CRC
  // and the error word stays clear.
  for (int failure : {-1, -2, -3}) {
    FakeCalibrationSource source;
    source.firmwareResult = failure;
    const Import run(source);
    EXPECT_EQ(run.params.hasFactoryData, 0) << failure;
    EXPECT_EQ(run.params.dataVersion, -1);
    EXPECT_EQ(CCTAPI_ERRORCODE, 0);
    EXPECT_TRUE(run.Printed("CRCCheck Error\n"));
    EXPECT_EQ(source.methodsAsked.size(), 1u);
  }
}

TEST(FirmwareReply, CountWordDecides) {
  const Bytes request = BuildFirmwareBlockRequest(1);
  ASSERT_EQ(request.size(), 524u);
  EXPECT_EQ(std::string(request.begin(), request.begin() + 4), "SCDG");
  EXPECT_EQ(request[4] | request[5] << 8, 516);
  EXPECT_EQ(request[8], 2);
  EXPECT_EQ(BuildFirmwareBlockRequest(0)[8], 1);

  Bytes reply(1024, 0);
  reply[0] = 1;
  for (int i = 0; i < 512; ++i) reply[4 + i] = static_cast<uint8_t>(i * 7);
  uint8_t block[512];
  EXPECT_EQ(InterpretFirmwareBlockReply(reply.data(), 516, block), 0);
  EXPECT_EQ(std::memcmp(block, reply.data() + 4, 512), 0);
  // A partial answer: what did not come stays zero.
  EXPECT_EQ(InterpretFirmwareBlockReply(reply.data(), 100, block), 0);
  EXPECT_EQ(block[95], reply[99]);
  EXPECT_EQ(block[96], 0);

  std::memset(block, 0xEE, sizeof block);
  reply[0] = 0;
  EXPECT_EQ(InterpretFirmwareBlockReply(reply.data(), 516, block), -3);
  EXPECT_EQ(std::memcmp(block, kNoDataMarker, 8), 0);
  EXPECT_EQ(block[8], 0xEE);
  // Too short to carry a count: no data either.
  reply[0] = 1;
  EXPECT_EQ(InterpretFirmwareBlockReply(reply.data(), 3, block), -3);
}

TEST(LutStepByte, ReadAgainWithoutChecks) {
  Bytes block = CalibrationBlockBuilder(7).LutStep(24).Build();
  block[20] ^= 0xFF;  // the CRC no longer matters
  CctParams params{};
  params.dataDir = "D:\\";
  params.dataFile = "cal.bin";
  uint8_t step = 0;

  FakeCalibrationSource source;
  source.firmwareBlock = block;
  source.files["D:\\cal.bin"] = block;
  ::testing::internal::CaptureStdout();
  params.method = 1;
  EXPECT_TRUE(GetBIOSData(params, source, &step));
  EXPECT_EQ(step, 24);
  EXPECT_EQ(source.methodsAsked, std::vector<int32_t>{1});

  params.useFile = 1;
  step = 0;
  EXPECT_TRUE(GetBIOSData(params, source, &step));
  EXPECT_EQ(step, 24);

  CCTAPI_ERRORCODE = 0;
  source.files["D:\\cal.bin"] = Bytes(block.begin(), block.begin() + 297);  // no byte 297
  EXPECT_FALSE(GetBIOSData(params, source, &step));
  EXPECT_EQ(CCTAPI_ERRORCODE, 0);
  source.files.clear();
  EXPECT_FALSE(GetBIOSData(params, source, &step));
  EXPECT_EQ(CCTAPI_ERRORCODE, kCctNoCalibrationFile);
  params.useFile = 0;
  source.firmwareResult = -3;
  EXPECT_FALSE(GetBIOSData(params, source, &step));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("GetBIOS_Data path = D:\\cal.bin \n"), std::string::npos);
  CCTAPI_ERRORCODE = 0;
}

}  // namespace
}  // namespace kelvara
