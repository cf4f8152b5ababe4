// What the console control handler decides for each control type.
#include <gtest/gtest.h>

#include "agent/console_control.h"

namespace zu {
namespace {

TEST(ConsoleControl, OtherControlTypesArePassedOn) {
  // Ctrl+Break, log-off, shutdown, and anything unknown.
  for (uint32_t type : {1u, 5u, 6u, 3u, 99u}) {
    for (bool started : {false, true}) {
      for (bool window : {false, true}) {
        const ControlDecision d = DecideConsoleControl(type, started, window);
        EXPECT_EQ(d.action, ControlAction::kPassOn) << type;
        EXPECT_FALSE(d.requestStop) << type;
      }
    }
  }
}

TEST(ConsoleControl, CtrlCAndCloseEndTheProcessWhileTheWindowExists) {
  for (uint32_t type : {kCtrlCEvent, kCtrlCloseEvent}) {
    const ControlDecision d = DecideConsoleControl(type, true, true);
    EXPECT_EQ(d.action, ControlAction::kExitProcess);
    EXPECT_TRUE(d.requestStop);
  }
}

TEST(ConsoleControl, WithoutAWindowTheSupervisorTearsDown) {
  for (uint32_t type : {kCtrlCEvent, kCtrlCloseEvent}) {
    const ControlDecision d = DecideConsoleControl(type, true, false);
    EXPECT_EQ(d.action, ControlAction::kHandled);
    EXPECT_TRUE(d.requestStop);
  }
}

TEST(ConsoleControl, NoStopIsRequestedBeforeTheSupervisorExists) {
  EXPECT_FALSE(DecideConsoleControl(kCtrlCEvent, false, false).requestStop);
  EXPECT_EQ(DecideConsoleControl(kCtrlCEvent, false, false).action, ControlAction::kHandled);
  EXPECT_FALSE(DecideConsoleControl(kCtrlCloseEvent, false, true).requestStop);
  EXPECT_EQ(DecideConsoleControl(kCtrlCloseEvent, false, true).action, ControlAction::kExitProcess);
}

}  // namespace
}  // namespace zu
