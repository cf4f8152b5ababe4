// The gamma-string codec through its exported entry points (in the Windows
// build: Kelvara.dll itself) and its two encoders.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "libs/kelvara/codec/lut_codec.h"
#include "libs/kelvara/kelvara_api.h"

namespace kelvara::codec {
namespace {

using Bytes = std::vector<uint8_t>;
using LutArray = std::array<uint16_t, kLutSize>;

LutArray Identity() {
  LutArray lut{};
  for (int c = 0; c < kLutChannels; ++c)
    for (int i = 0; i < kLutEntries; ++i) lut[c * kLutEntries + i] = static_cast<uint16_t>(i * 256);
  return lut;
}

// A ramp from steps (planar, 768); entry = running sum * 256 + fraction.
LutArray FromSteps(const std::vector<int>& steps, int fraction = 0) {
  LutArray lut{};
  for (int c = 0; c < kLutChannels; ++c) {
    int level = 0;
    for (int i = 0; i < kLutEntries; ++i) {
      level += steps[c * kLutEntries + i];
      lut[c * kLutEntries + i] = static_cast<uint16_t>(level * 256 + fraction);
    }
  }
  return lut;
}

std::vector<int> IdentitySteps() {
  std::vector<int> steps(kLutSize, 1);
  for (int c = 0; c < kLutChannels; ++c) steps[c * kLutEntries] = 0;
  return steps;
}

// A string in a buffer of exactly its declared size, so a read past it is
// caught by the sanitizers.
int32_t Decode(const Bytes& str, uint32_t method, LutArray* lut) {
  std::vector<uint8_t> exact(str.begin(), str.end());
  return BIOS2LUT(lut->data(), exact.data(), kLutSize, method);
}

struct Encoded {
  int32_t result;
  int32_t method;
  Bytes str;
  std::string printed;
};

Encoded Encode(const LutArray& lut, int32_t maxSize = 255, int32_t capacity = 255) {
  Encoded e{};
  Bytes out(256, 0xEE);
  ::testing::internal::CaptureStdout();
  e.result = LUT2BIOS(lut.data(), maxSize, out.data(), capacity, &e.method);
  e.printed = ::testing::internal::GetCapturedStdout();
  if (e.result == 0) e.str.assign(out.begin(), out.begin() + out[0]);
  return e;
}

TEST(HuffmanCodebook, FixedTableGivesTheDocumentedCodes) {
  int32_t symbols[5], lengths[5], codes[5], count = -1;
  double probabilities[5];
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(GetHfmInfor(symbols, probabilities, lengths, codes, &count), 0);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(count, 5);
  EXPECT_EQ(std::vector<int32_t>(symbols, symbols + 5), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(std::vector<double>(probabilities, probabilities + 5),
            (std::vector<double>{0.0501, 0.9043, 0.0441, 0.0012, 0.0001}));
  EXPECT_EQ(std::vector<int32_t>(lengths, lengths + 5), (std::vector<int32_t>{2, 1, 3, 4, 4}));
  EXPECT_EQ(std::vector<int32_t>(codes, codes + 5), (std::vector<int32_t>{1, 1, 1, 1, 0}));
  EXPECT_NE(printed.find("ptable before sorting...\n[0] 0:0.050100\n[1] 1:0.904300\n"), std::string::npos);
  EXPECT_NE(printed.find("ptable after sorting...\n[0] 1:0.904300\n[1] 0:0.050100\n[2] 2:0.044100\n"
                         "[3] 3:0.001200\n[4] 4:0.000100\n\n"),
            std::string::npos);
  EXPECT_NE(printed.find("Codebook <Key> : <Code>\n0 : 01\n1 : 1\n2 : 001\n3 : 0001\n4 : 0000\n"), std::string::npos);

  // Missing outputs: failure with a zero count.
  EXPECT_EQ(GetHfmInfor(nullptr, probabilities, lengths, codes, &count), -1);
  EXPECT_EQ(count, 0);
}

TEST(HuffmanCodebook, VersionText) {
  ::testing::internal::CaptureStdout();
  const int32_t n = ShowHfmVer();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Huffman kernel version: v1.0.0_20181005\n");
  EXPECT_EQ(n, 40);
}

TEST(LutCodec, IdentityRampPicksTheFourBytePositionList) {
  const Encoded e = Encode(Identity());
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.method, 1);
  EXPECT_EQ(e.str, (Bytes{0x04, 0x00, 0x00, 0x00}));
  // Method 0 was tried as well: 771 bits, 97 bytes, 3 bits in the last.
  EXPECT_NE(e.printed.find("# of byte used: 97\n# of bit used in last byte: 3\n"), std::string::npos);

  const auto huffman = EncodeHuffmanV1(ToDeltaLut(Identity().data()));
  ASSERT_TRUE(huffman);
  ASSERT_EQ(huffman->size(), 99u);
  EXPECT_EQ((*huffman)[0], 99);
  EXPECT_EQ((*huffman)[1], 0x13);
  // Bits from the root, least significant first: red 0 is "01", then 255
  // ones; so the first payload byte is 0b11111110.
  EXPECT_EQ((*huffman)[2], 0xFE);

  for (uint32_t method : {0u, 1u}) {
    LutArray lut{};
    lut.fill(0x1234);
    const Bytes str = method == 0 ? *huffman : Bytes{0x04, 0x00, 0x00, 0x00};
    EXPECT_EQ(Decode(str, method, &lut), 0) << method;
    EXPECT_EQ(lut, Identity()) << method;
  }
}

TEST(LutCodec, HonoursTheBitsUsedInTheLastByte) {
  // The identity string's last byte holds 3 code bits; its 5 spare zero
  // bits would read as a 769th symbol.
  auto str = *EncodeHuffmanV1(ToDeltaLut(Identity().data()));
  LutArray lut{};
  str[1] = 0x10;  // "all 8 bits used"
  EXPECT_EQ(Decode(str, 0, &lut), -1);
  // Truncated at the end: the missing trailing steps count as 1.
  str[1] = 0x10;
  str[0] = 90;
  str.resize(90);
  EXPECT_EQ(Decode(str, 0, &lut), 0);
  EXPECT_EQ(lut, Identity());
}

TEST(LutCodec, RefusesRampsTheDecoderWouldReject) {
  int32_t method = -1;
  uint8_t out[255];
  LutArray lut = Identity();
  lut[0] = 256;  // red entry 0 not 0
  EXPECT_EQ(LUT2BIOS(lut.data(), 255, out, sizeof out, &method), -1);
  EXPECT_EQ(method, 1);

  // Green starting above 0 or blue ending below full scale would encode,
  // but neither string could be decoded again.
  lut = Identity();
  for (int i = 0; i < kLutEntries; ++i) lut[kLutEntries + i] = static_cast<uint16_t>(std::min(i + 1, 255) * 256);
  EXPECT_EQ(Encode(lut).result, -1);
  lut = Identity();
  lut[3 * kLutEntries - 1] = 254 * 256;
  EXPECT_EQ(Encode(lut).result, -1);
}

TEST(LutCodec, StepOfFiveUsesPositionLists) {
  auto steps = IdentitySteps();
  steps[100] = 5;
  for (int i = 101; i <= 104; ++i) steps[i] = 0;
  const LutArray lut = FromSteps(steps);
  const Encoded e = Encode(lut);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.method, 1);
  EXPECT_NE(e.printed.find("Not found 5 in codebook!!!\nEncode() failed!!!\n"), std::string::npos);
  // Group 0: red 101..104; groups 1..3 empty; group 4 (step 5): red 100.
  EXPECT_EQ(e.str, (Bytes{1 + 7 + 3 * 4 + 1, 4, 0, 0, 101, 102, 103, 104, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 100}));
  LutArray back{};
  EXPECT_EQ(Decode(e.str, 1, &back), 0);
  EXPECT_EQ(back, lut);
}

TEST(LutCodec, StepsOutsideZeroToSevenFailCleanly) {
  auto steps = IdentitySteps();
  steps[300] = 8;
  for (int i = 301; i <= 307; ++i) steps[i] = 0;
  EXPECT_EQ(Encode(FromSteps(steps)).result, -1);
  EXPECT_FALSE(EncodePositionLists(ToDeltaLut(FromSteps(steps).data())));

  // A falling step: neither method can carry it.
  DeltaLut delta{};
  for (int i = 0; i < kLutSize; ++i) delta[i] = i % kLutEntries ? 1 : 0;
  delta[600] = -1;
  delta[601] = 3;
  EXPECT_FALSE(EncodePositionLists(delta));
  EXPECT_FALSE(EncodeHuffmanV1(delta));
  auto lut = FromSteps(std::vector<int>(delta.begin(), delta.end()));
  EXPECT_EQ(Encode(lut).result, -1);
}

TEST(LutCodec, LongPositionListsFallBackToHuffman) {
  // Per channel 85 steps each of 0, 1 and 2: 510 listed positions, far over
  // what one size byte can describe; Huffman needs 192 bytes.
  std::vector<int> steps(kLutSize);
  for (int c = 0; c < kLutChannels; ++c)
    for (int i = 1; i < kLutEntries; ++i) steps[c * kLutEntries + i] = (i - 1) % 3;
  const LutArray lut = FromSteps(steps, 0x7F);
  EXPECT_FALSE(EncodePositionLists(ToDeltaLut(lut.data())));
  const Encoded e = Encode(lut);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.method, 0);
  EXPECT_EQ(e.str.size(), 194u);
  LutArray back{};
  EXPECT_EQ(Decode(e.str, 0, &back), 0);
  EXPECT_EQ(back, FromSteps(steps));

  // Steps of 3 and 0: both strings too long.
  for (int c = 0; c < kLutChannels; ++c)
    for (int i = 1; i < kLutEntries; ++i) steps[c * kLutEntries + i] = i % 3 == 0 ? 3 : 0;
  const Encoded both = Encode(FromSteps(steps));
  EXPECT_EQ(both.result, -1);
  EXPECT_NE(both.printed.find("String size(256) after encoded is out of max range 253"), std::string::npos);
}

TEST(LutCodec, SizeLimitAndCapacity) {
  uint8_t out[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  int32_t method = -1;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(LUT2BIOS(Identity().data(), 3, out, sizeof out, &method), 4);  // the size needed
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(LUT2BIOS(Identity().data(), 255, out, 3, &method), -1);  // too small a buffer
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(LUT2BIOS(Identity().data(), 4, out, 4, &method), 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[4], 0xEE);
}

TEST(LutCodec, MalformedStringsLeaveTheLutUntouched) {
  const std::vector<std::pair<uint32_t, Bytes>> bad = {
      {0, {0x63, 0x23}},                  // table version 2
      {0, {0x00}},                        // shorter than its header
      {0, {0x01}},
      {0, {0x03, 0x19, 0xFF}},            // 9 bits in the last byte
      {0, {0x02, 0x13}},                  // bits in a last byte that does not exist
      {0, {0x05, 0x18, 0xFF, 0xFF, 0xFF}},  // ones only: red starts at 1
      {1, {0x00}},                        // size 0
      {1, {0x03, 0x00, 0x00}},            // group cut inside its counts
      {1, {0x05, 0x02, 0x00, 0x00, 0x10}},  // positions run past the end
      {1, {0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},  // 8 groups
      {1, {0x05, 0x01, 0x00, 0x00, 0x80}},  // red falls short of full scale
      {2, {0x04, 0x00, 0x00, 0x00}},      // no such method
  };
  for (const auto& [method, str] : bad) {
    LutArray lut{};
    lut.fill(0x4242);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Decode(str, method, &lut), -1) << method << " size " << int(str[0]);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(lut[0], 0x4242);
    EXPECT_EQ(lut[kLutSize - 1], 0x4242);
  }
  // 2024 one-bits are 2024 symbols: more than the LUT has entries.
  Bytes ones(255, 0xFF);
  ones[1] = 0x18;
  LutArray lut{};
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Decode(ones, 0, &lut), -1);
  EXPECT_EQ(BIOS2LUT(lut.data(), Bytes{4, 0, 0, 0}.data(), 767, 1), -1);  // entry count must be 768
  ::testing::internal::GetCapturedStdout();
}

TEST(LutCodec, RandomRampsRoundTripThroughBothMethods) {
  std::mt19937 rng(20181005);
  int chosen[2] = {0, 0};
  for (int round = 0; round < 200; ++round) {
    // Start from the identity steps and move units between positions: the
    // ramp stays monotonic and still ends at full scale.
    auto steps = IdentitySteps();
    const int moves = static_cast<int>(rng() % 120);
    for (int m = 0; m < moves; ++m) {
      const int c = static_cast<int>(rng() % 3);
      const int from = c * kLutEntries + 1 + static_cast<int>(rng() % 255);
      const int to = c * kLutEntries + 1 + static_cast<int>(rng() % 255);
      if (steps[from] == 0 || steps[to] >= 4) continue;
      --steps[from];
      ++steps[to];
    }
    const LutArray lut = FromSteps(steps, static_cast<int>(rng() % 256));
    const LutArray expected = FromSteps(steps);
    const DeltaLut delta = ToDeltaLut(lut.data());

    ::testing::internal::CaptureStdout();
    const auto huffman = EncodeHuffmanV1(delta);
    const auto positions = EncodePositionLists(delta);
    ::testing::internal::GetCapturedStdout();
    const Encoded e = Encode(lut);
    ASSERT_TRUE(huffman) << round;
    ASSERT_EQ(e.result, 0) << round;
    ++chosen[e.method];
    LutArray back{};
    EXPECT_EQ(Decode(*huffman, 0, &back), 0);
    EXPECT_EQ(back, expected) << round;
    if (positions) {
      EXPECT_EQ(Decode(*positions, 1, &back), 0);
      EXPECT_EQ(back, expected) << round;
    }
    EXPECT_EQ(Decode(e.str, static_cast<uint32_t>(e.method), &back), 0);
    EXPECT_EQ(back, expected) << round;
    // Method 0 only when strictly shorter.
    if (positions) {
      EXPECT_EQ(e.method, huffman->size() < positions->size() ? 0 : 1);
    }
  }
  // Few moves favour position lists, many favour Huffman: both got used.
  EXPECT_GT(chosen[0], 0);
  EXPECT_GT(chosen[1], 0);
}

}  // namespace
}  // namespace kelvara::codec
