// The message-to-event table and the window procedure's debug line.
#include <gtest/gtest.h>

#include "agent/event_table.h"

namespace zu {
namespace {

constexpr uint32_t kFirmware = 0xC123;  // registered message ids start at 0xC000

struct Row {
  uint32_t message;
  uint64_t wParam;
  uint32_t code;
};

TEST(EventTable, TranslatesEveryRowOfTheTable) {
  using namespace win_msg;
  const Row rows[] = {
      {kFirmware, 0x61, FN_1},
      {kFirmware, 0x62, FN_2},
      {kFirmware, 0x63, FN_3},
      {kFirmware, 0x64, FN_4},
      {kFirmware, 0x9D, FN_5},
      {kFirmware, 0x65, UNKNOWN_EVENT},
      {kFirmware, 0x0, UNKNOWN_EVENT},
      {kFirmware, 0x10001, UNKNOWN_EVENT},  // hot-key ids are not firmware codes
      {kHotKey, 0x10001, HOTKEY_CPU_FAN},
      {kHotKey, 0x10002, HOTKEY_HUSHNET_MIC},
      {kHotKey, 0x10003, HOTKEY_HUSHNET_SPEAKER},
      {kHotKey, 0x10004, UNKNOWN_EVENT},
      {kHotKey, 0x62, UNKNOWN_EVENT},
      {kPowerBroadcast, 4, SUSPEND},
      {kPowerBroadcast, 7, RESUME},
      {kPowerBroadcast, 0x12, UNKNOWN_EVENT},  // PBT_APMRESUMEAUTOMATIC
      {kPowerBroadcast, 0xA, UNKNOWN_EVENT},   // PBT_APMPOWERSTATUSCHANGE
      {kSessionChange, 5, SESSION_LOGON},
      {kSessionChange, 6, SESSION_LOGOFF},
      {kSessionChange, 7, SESSION_LOCK},
      {kSessionChange, 8, SESSION_UNLOCK},
      {kSessionChange, 1, UNKNOWN_EVENT},  // WTS_CONSOLE_CONNECT
      {kEndSession, 0, SESSION_END},
      {kEndSession, 1, SESSION_END},
      {kDisplayChange, 0, DISPLAY_CHANGE},
      {kDisplayChange, 32, DISPLAY_CHANGE},
      {0x0001, 0, UNKNOWN_EVENT},   // WM_CREATE
      {0x0400, 0x62, UNKNOWN_EVENT},  // WM_USER
  };
  for (const Row& row : rows)
    EXPECT_EQ(TranslateToEvent(row.message, row.wParam, kFirmware), row.code)
        << std::hex << "message 0x" << row.message << " wParam 0x" << row.wParam;
}

TEST(EventTable, FirmwareCodesAndHotKeyIdsUseTheLow32BitsOfWParam) {
  EXPECT_EQ(TranslateToEvent(kFirmware, 0x1'0000'0062ull, kFirmware), FN_2);
  EXPECT_EQ(TranslateToEvent(win_msg::kHotKey, 0xFFFF'FFFF'0001'0003ull, kFirmware), HOTKEY_HUSHNET_SPEAKER);
  // The power and session codes are whole values.
  EXPECT_EQ(TranslateToEvent(win_msg::kPowerBroadcast, 0x1'0000'0004ull, kFirmware), UNKNOWN_EVENT);
}

TEST(EventTable, AnUnregisteredFirmwareMessageMatchesNothing) {
  // Registration failed (id 0): WM_NULL must not pass as a firmware code.
  EXPECT_EQ(TranslateToEvent(0, 0x62, 0), UNKNOWN_EVENT);
  EXPECT_EQ(TranslateToEvent(win_msg::kDisplayChange, 0, 0), DISPLAY_CHANGE);
}

TEST(EventTable, WndProcLineIsLowerCaseHexWithoutLeadingZeros) {
  EXPECT_EQ(WndProcLine(0x218, 0x7, RESUME), "WndProc: message = 0x218 wParam = 0x7 ZuEventType = 0x20002");
  EXPECT_EQ(WndProcLine(0xC0DE, 0x9D, FN_5), "WndProc: message = 0xc0de wParam = 0x9d ZuEventType = 0x9d");
  EXPECT_EQ(WndProcLine(0x1, 0, UNKNOWN_EVENT), "WndProc: message = 0x1 wParam = 0x0 ZuEventType = 0xfffff");
  EXPECT_EQ(WndProcLine(0x312, 0xFFFF'FFFF'FFFF'FFFFull, UNKNOWN_EVENT),
            "WndProc: message = 0x312 wParam = 0xffffffffffffffff ZuEventType = 0xfffff");
}

}  // namespace
}  // namespace zu
