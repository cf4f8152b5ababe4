// The request table: every entry, the edges of each kind's values, unknown kinds.
#include <gtest/gtest.h>

#include <string>

#include "libs/glimmer/request_table.h"

namespace glimmer {
namespace {

struct Expected {
  int32_t kind, value;
  int large, normal;
  const char* key;
  int stringId;
};

TEST(RequestTable, EveryEntryNamesItsImagesAndText) {
  const Expected rows[] = {
      {0, 0, 134, 134, nullptr, 106}, {0, 1, 136, 136, nullptr, 107}, {0, 2, 138, 138, nullptr, 108},
      {1, 0, 133, 133, nullptr, 104}, {1, 1, 132, 132, nullptr, 105}, {1, 3, 132, 132, nullptr, 105},
      {2, 0, 149, 146, "FanModeStandard", 0}, {2, 1, 151, 148, "FanModeWhisper", 0},
      {2, 2, 150, 147, "FanModePerformance", 0}, {3, 0, 143, 140, "StatusLightAuto", 0},
      {3, 1, 145, 142, "StatusLightOn", 0}, {3, 2, 144, 141, "StatusLightOff", 0},
      {4, 0, 232, 233, "PrivacyViewOn", 0}, {4, 1, 230, 231, "PrivacyViewOff", 0},
      {5, 0, 220, 221, "ai_denoise_mic_off", 0}, {5, 1, 222, 223, "ai_denoise_mic_on_single", 0},
      {5, 2, 224, 225, "ai_denoise_mic_on_multi", 0}, {6, 0, 226, 227, "ai_denoise_speaker_off", 0},
      {6, 1, 228, 229, "ai_denoise_speaker_on", 0},
  };
  for (const Expected& e : rows) {
    SCOPED_TRACE("kind " + std::to_string(e.kind) + " value " + std::to_string(e.value));
    const RequestLookup r = LookupRequest(e.kind, e.value);
    ASSERT_EQ(r.result, OSD_SUCCESS);
    EXPECT_EQ(r.content.largeImage, e.large);
    EXPECT_EQ(r.content.normalImage, e.normal);
    EXPECT_EQ(r.content.stringId, e.stringId);
    if (e.key) {
      ASSERT_NE(r.content.textKey, nullptr);
      EXPECT_STREQ(r.content.textKey, e.key);
    } else {
      EXPECT_EQ(r.content.textKey, nullptr);
    }
  }
}

TEST(RequestTable, ValuesWithoutEntryAreUnknownValues) {
  const std::pair<int32_t, int32_t> misses[] = {{0, 3}, {0, -1}, {1, 4}, {1, -1}, {2, 3}, {3, 3},
                                               {4, 2}, {4, 5}, {4, -1}, {5, 3}, {6, 2}, {6, INT32_MIN}};
  for (auto [kind, value] : misses) {
    EXPECT_EQ(LookupRequest(kind, value).result, OSD_UNKNOWN_VALUE) << kind << "/" << value;
  }
}

TEST(RequestTable, KindsOutsideTheTableAreUnknownKindsWhateverTheValue) {
  for (int32_t kind : {7, 8, 100, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(LookupRequest(kind, 0).result, OSD_UNKNOWN_KIND) << kind;
    EXPECT_EQ(LookupRequest(kind, 5).result, OSD_UNKNOWN_KIND) << kind;
  }
}

TEST(RequestTable, OnlyBrightnessLevelsCarryTheValueInTheCaption) {
  EXPECT_EQ(CaptionSuffix(LookupRequest(1, 2).content, 2), " 2");
  EXPECT_EQ(CaptionSuffix(LookupRequest(1, 3).content, 3), " 3");
  EXPECT_EQ(CaptionSuffix(LookupRequest(1, 0).content, 0), "");
  EXPECT_EQ(CaptionSuffix(LookupRequest(0, 2).content, 2), "");
  EXPECT_EQ(CaptionSuffix(LookupRequest(2, 1).content, 1), "");
}

}  // namespace
}  // namespace glimmer
