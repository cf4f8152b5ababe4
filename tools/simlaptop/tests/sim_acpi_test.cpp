// The simulated ACPI control device itself, seen through raw DeviceIoControl
// calls: the request format it accepts, its failures and its records.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/win/unique_handle.h"
#include "tools/simlaptop/sim_acpi.h"

namespace zu::simlaptop {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr DWORD kIoctl = 0x0022240C;

struct Answer {
  bool ok = false;
  DWORD error = 0;
  Bytes bytes;
};

Answer Call(const Bytes& input, DWORD outputSize = 1024, DWORD code = kIoctl) {
  Answer a;
  win::UniqueFile device(::CreateFileW(L"\\\\.\\VORTAACPI", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) {
    a.error = ::GetLastError();
    return a;
  }
  a.bytes.resize(outputSize);
  DWORD returned = 0;
  a.ok = ::DeviceIoControl(device.get(), code, const_cast<uint8_t*>(input.data()), static_cast<DWORD>(input.size()),
                           a.bytes.data(), outputSize, &returned, nullptr) != 0;
  a.error = a.ok ? 0 : ::GetLastError();
  a.bytes.resize(a.ok ? returned : 0);
  return a;
}

Bytes Le(std::initializer_list<uint32_t> words) {
  Bytes b;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return b;
}

const uint32_t kDsts = simacpi::TagOf("DSTS"), kDevs = simacpi::TagOf("DEVS"), kScdg = simacpi::TagOf("SCDG");

class SimAcpiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_.ready()); }
  simacpi::Scope device_;
};

TEST_F(SimAcpiTest, RejectsRequestsOutsideTheFormat) {
  ASSERT_TRUE(simacpi::SetStatus(1, 0x10000));
  const Bytes cases[] = {
      {},                                // no header
      {'D', 'S', 'T', 'S', 4, 0, 0},     // short header
      Le({kDsts, 4, 1, 0}),              // length field disagrees with the input
      Le({kDsts, 8, 1, 0}),              // "DSTS" takes one word
      Le({kDevs, 4, 1}),                 // "DEVS" takes two
      Le({simacpi::TagOf("XXXX"), 4, 1}),  // unknown method
  };
  for (const auto& input : cases) {
    const auto a = Call(input);
    EXPECT_FALSE(a.ok) << input.size();
    EXPECT_EQ(a.error, ERROR_INVALID_PARAMETER) << input.size();
  }
  EXPECT_EQ(simacpi::RequestCount(), std::size(cases));
  EXPECT_EQ(simacpi::LastRequest(), Le({simacpi::TagOf("XXXX"), 4, 1}));
  EXPECT_EQ(simacpi::History().back().status, 0xC000000Du);  // STATUS_INVALID_PARAMETER

  const auto wrongCode = Call(Le({kDsts, 4, 1}), 1024, 0x00222410);
  EXPECT_EQ(wrongCode.error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(simacpi::LastIoctl(), 0x00222410u);

  const auto small = Call(Le({kDsts, 4, 1}), 2);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.error, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(simacpi::LastOutputSize(), 2u);
  EXPECT_TRUE(Call(Le({kDsts, 4, 1}), 4).ok);
}

TEST_F(SimAcpiTest, RefusesWithTheGivenStatus) {
  ASSERT_TRUE(simacpi::SetRefuse(true, 0xC0000185));  // STATUS_IO_DEVICE_ERROR
  EXPECT_EQ(Call(Le({kDsts, 4, 1})).error, ERROR_IO_DEVICE);
  ASSERT_TRUE(simacpi::SetRefuse(true));
  EXPECT_EQ(Call(Le({kDsts, 4, 1})).error, ERROR_GEN_FAILURE);
  ASSERT_TRUE(simacpi::SetRefuse(false));
  EXPECT_TRUE(Call(Le({kDsts, 4, 1})).ok);
}

TEST_F(SimAcpiTest, ServesCalibrationAnswersPerSelector) {
  Bytes payload = Le({kScdg, 516, 3, 0});
  payload.resize(8 + 516);
  auto a = Call(payload);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.bytes, Bytes(516, 0)) << "unknown selector: no data";

  ASSERT_TRUE(simacpi::SetCalibrationAnswer(3, Bytes{7, 0}));
  a = Call(payload);
  EXPECT_EQ(a.bytes, (Bytes{7, 0})) << "the test's exact answer";
  ASSERT_TRUE(simacpi::ClearCalibration(3));
  EXPECT_EQ(Call(payload).bytes.size(), 516u);
}

TEST_F(SimAcpiTest, ResetForgetsSettingsAndRecords) {
  ASSERT_TRUE(simacpi::SetStatus(5, 0x10000));
  ASSERT_TRUE(Call(Le({kDevs, 8, 5, 1})).ok);
  EXPECT_EQ(simacpi::LastDevsValue(5), 1u);
  ASSERT_TRUE(simacpi::Reset());
  EXPECT_EQ(simacpi::RequestCount(), 0u);
  EXPECT_TRUE(simacpi::History().empty());
  EXPECT_EQ(simacpi::LastDevsValue(5), std::nullopt);
  EXPECT_EQ(Call(Le({kDsts, 4, 5})).bytes, Le({0}));
}

TEST_F(SimAcpiTest, ConcurrentCallersAreAllRecorded) {
  constexpr int kThreads = 3, kCalls = 15;
  std::vector<std::thread> threads;
  std::atomic<int> failures = 0;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kCalls; ++i)
        if (!Call(Le({kDevs, 8, static_cast<uint32_t>(t), static_cast<uint32_t>(i)})).ok) ++failures;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(simacpi::RequestCount(), static_cast<uint32_t>(kThreads * kCalls));
  EXPECT_EQ(simacpi::History().size(), static_cast<size_t>(kThreads * kCalls));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(simacpi::DevsCount(t), static_cast<uint32_t>(kCalls));
    EXPECT_EQ(simacpi::LastDevsValue(t), static_cast<uint32_t>(kCalls - 1));
    // Each caller's own sets arrive in its order.
    uint32_t next = 0;
    for (const auto& [device, value] : simacpi::DevsHistory()) {
      if (device == static_cast<uint32_t>(t)) {
        EXPECT_EQ(value, next++);
      }
    }
  }
}

TEST_F(SimAcpiTest, StoppedDriverLeavesNoDevice) {
  ASSERT_TRUE(simacpi::Stop());
  EXPECT_FALSE(simacpi::IsRunning());
  EXPECT_EQ(Call(Le({kDsts, 4, 1})).error, ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(simacpi::Start());
  EXPECT_TRUE(simacpi::IsRunning());
  EXPECT_TRUE(Call(Le({kDsts, 4, 1})).ok);
  EXPECT_GE(simacpi::LoadCount(), 1u);
}

}  // namespace
}  // namespace zu::simlaptop
