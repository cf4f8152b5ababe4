#include "libs/glimmer/request_table.h"

#include <array>

namespace glimmer {
namespace {

// Library strings of the touchpad and keyboard pop-ups.
constexpr int kStrBacklightOff = 104;
constexpr int kStrRaiseBrightness = 105;
constexpr int kStrTwinpadMode = 106;
constexpr int kStrPadMode = 107;
constexpr int kStrTouchpadOff = 108;

struct Row {
  int32_t value;
  PopupContent content;
};

PopupContent Image(int large, int normal, const char* key) { return {large, normal, key, 0, false}; }
PopupContent Text(int image, int stringId) { return {image, image, nullptr, stringId, false}; }

const std::array<Row, 3> kTouchpad = {{
    {0, Text(134, kStrTwinpadMode)},
    {1, Text(136, kStrPadMode)},
    {2, Text(138, kStrTouchpadOff)},
}};
const std::array<Row, 3> kFan = {{
    {0, Image(149, 146, "FanModeStandard")},
    {1, Image(151, 148, "FanModeWhisper")},
    {2, Image(150, 147, "FanModePerformance")},
}};
const std::array<Row, 3> kStatusLight = {{
    {0, Image(143, 140, "StatusLightAuto")},
    {1, Image(145, 142, "StatusLightOn")},
    {2, Image(144, 141, "StatusLightOff")},
}};
const std::array<Row, 2> kPrivacy = {{
    {0, Image(232, 233, "PrivacyViewOn")},
    {1, Image(230, 231, "PrivacyViewOff")},
}};
const std::array<Row, 3> kNoiseMic = {{
    {0, Image(220, 221, "ai_denoise_mic_off")},
    {1, Image(222, 223, "ai_denoise_mic_on_single")},
    {2, Image(224, 225, "ai_denoise_mic_on_multi")},
}};
const std::array<Row, 2> kNoiseSpeaker = {{
    {0, Image(226, 227, "ai_denoise_speaker_off")},
    {1, Image(228, 229, "ai_denoise_speaker_on")},
}};

template <size_t N>
RequestLookup Find(const std::array<Row, N>& rows, int32_t value) {
  for (const Row& row : rows) {
    if (row.value == value) return {OSD_SUCCESS, row.content};
  }
  return {OSD_UNKNOWN_VALUE, {}};
}

}  // namespace

RequestLookup LookupRequest(int32_t kind, int32_t value) {
  // Compared as unsigned, so negative kinds are unknown too.
  switch (static_cast<uint32_t>(kind)) {
    case OSD_KIND_TOUCHPAD:
      return Find(kTouchpad, value);
    case OSD_KIND_KEYBOARD_BACKLIGHT:
      if (value == 0) return {OSD_SUCCESS, Text(133, kStrBacklightOff)};
      if (value >= 1 && value <= 3) {
        PopupContent level = Text(132, kStrRaiseBrightness);
        level.appendValue = true;
        return {OSD_SUCCESS, level};
      }
      return {OSD_UNKNOWN_VALUE, {}};
    case OSD_KIND_FAN_MODE:
      return Find(kFan, value);
    case OSD_KIND_STATUS_LIGHT:
      return Find(kStatusLight, value);
    case OSD_KIND_PRIVACY_VIEW:
      return Find(kPrivacy, value);
    case OSD_KIND_NOISE_MIC:
      return Find(kNoiseMic, value);
    case OSD_KIND_NOISE_SPEAKER:
      return Find(kNoiseSpeaker, value);
    default:
      return {OSD_UNKNOWN_KIND, {}};
  }
}

std::string CaptionSuffix(const PopupContent& content, int32_t value) {
  if (!content.appendValue || value == 0) return {};
  return " " + std::to_string(value);
}

}  // namespace glimmer
