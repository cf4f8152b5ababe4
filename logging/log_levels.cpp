#include "logging/log_levels.h"

namespace zu {

LevelMapping MapLevel(int level) {
  switch (level) {
    case 0: return {FileLevel::kInfo, kEventInformation, kEventIdInformation};
    case 1: return {FileLevel::kWarning, kEventWarning, kEventIdWarning};
    case 2: return {FileLevel::kError, kEventError, kEventIdError};
    case 3: return {FileLevel::kInfo, kEventSuccess, 0};
    case 4: return {FileLevel::kDebug, kEventSuccess, 0};
    default: return {FileLevel::kNone, kEventSuccess, 0};
  }
}

}  // namespace zu
