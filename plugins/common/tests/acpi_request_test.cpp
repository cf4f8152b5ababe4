// The bytes sent to the ACPI control device and the reading of its answers.
#include <gtest/gtest.h>

#include "plugins/common/acpi_request.h"

namespace zu::acpi {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(AcpiRequest, StatusQueryAndSetDeviceLayout) {
  EXPECT_EQ(BuildStatusQuery(0x0005001B), (Bytes{'D', 'S', 'T', 'S', 4, 0, 0, 0, 0x1B, 0x00, 0x05, 0x00}));
  EXPECT_EQ(BuildSetDevice(0x00040019, 1),
            (Bytes{'D', 'E', 'V', 'S', 8, 0, 0, 0, 0x19, 0x00, 0x04, 0x00, 1, 0, 0, 0}));
  EXPECT_EQ(kTagCalibrationData, 0x47444353u);
}

TEST(AcpiRequest, CalibrationQueryCarriesTheSelector) {
  for (uint32_t selector : {1u, 2u}) {
    Bytes r = BuildCalibrationQuery(selector);
    ASSERT_EQ(r.size(), 8u + 516u);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 8), (Bytes{'S', 'C', 'D', 'G', 0x04, 0x02, 0, 0}));
    EXPECT_EQ(GetLe32(r.data() + 8), selector);
    for (size_t i = 12; i < r.size(); ++i) ASSERT_EQ(r[i], 0) << i;
  }
}

TEST(AcpiRequest, FirstWordNeedsFourReturnedBytes) {
  const Bytes answer = {0x01, 0x00, 0x01, 0x00, 0xFF};
  EXPECT_EQ(FirstWord(answer, 5), 0x00010001u);
  EXPECT_EQ(FirstWord(answer, 4), 0x00010001u);
  EXPECT_EQ(FirstWord(answer, 3), 0u);
  EXPECT_EQ(FirstWord(answer, 0), 0u);
  EXPECT_EQ(FirstWord(Bytes{1, 2}, 100), 0u);  // a count beyond the buffer is bounded by it
}

}  // namespace
}  // namespace zu::acpi
