// From a display request to what the pop-up shows: the icon for large and
// normal screens and where the caption comes from.
#pragma once

#include <cstdint>
#include <string>

#include "libs/glimmer/osd_api.h"

namespace glimmer {

// Image resources (type "PNG").
inline constexpr int kPlateImage = 131;  // background plate, 550 x 553

struct PopupContent {
  int largeImage = 0;              // for screens at least 2000 pixels wide
  int normalImage = 0;
  const char* textKey = nullptr;   // dictionary key, or null
  int stringId = 0;                // library string when there is no key, 0 for none
  bool appendValue = false;        // brightness levels: " <value>" after the text
};

struct RequestLookup {
  OSD_RESULT result = OSD_UNKNOWN_KIND;  // OSD_SUCCESS when content is valid
  PopupContent content;
};

RequestLookup LookupRequest(int32_t kind, int32_t value);

// What follows the caption text: " <value>" for a brightness level, else "".
std::string CaptionSuffix(const PopupContent& content, int32_t value);

}  // namespace glimmer
