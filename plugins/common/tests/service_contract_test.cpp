// The state-transition rule and its log lines, as every service inherits them.
#include <gtest/gtest.h>

#include "plugins/common/tests/probe_service.h"
#include "testing/recording_logger.h"

namespace zu::testing {
namespace {

std::vector<std::pair<int, std::string>> LevelsAndMessages(const RecordingLogger& log) {
  std::vector<std::pair<int, std::string>> out;
  for (const auto& c : log.calls()) {
    EXPECT_EQ(c.op, LogCall::Op::kLog);
    EXPECT_EQ(c.component, "ProbeService");
    out.emplace_back(c.level, c.message);
  }
  return out;
}

TEST(ServiceContract, LifeCycleLogsOperationsAndStateChanges) {
  RecordingLogger log;
  ProbeService s;
  EXPECT_EQ(s.GetState(), UNKNOWN);
  EXPECT_EQ(s.GetName(), "ProbeService");
  EXPECT_EQ(s.GetType(), 1);
  EXPECT_EQ(s.GetLogTag(), "ProbeService");

  s.Init(&log);
  s.Run();
  s.Run();  // already running: operation text only
  s.Join(0);
  s.Reset();
  s.Release();
  s.Release();  // already released: operation text only
  EXPECT_EQ(s.GetState(), UNKNOWN);

  const std::vector<std::pair<int, std::string>> expected = {
      {4, "ProbeService::Init"},    {0, "state change UNKNOWN -> INIT"},
      {4, "ProbeService::Run"},     {0, "state change INIT -> IN_SERVICE"},
      {4, "ProbeService::Run"},     {4, "ProbeService::Join"},
      {0, "state change IN_SERVICE -> OUT_OF_SERVICE"},
      {4, "ProbeService::Reset"},   {0, "state change OUT_OF_SERVICE -> INIT"},
      {4, "ProbeService::Release"}, {0, "state change INIT -> UNKNOWN"},
      {4, "ProbeService::Release"},
  };
  EXPECT_EQ(LevelsAndMessages(log), expected);
}

TEST(ServiceContract, NullLoggerStillMovesTheState) {
  ProbeService s;
  s.Run();  // before Init: nothing to log to
  EXPECT_EQ(s.GetState(), IN_SERVICE);
  s.Init(nullptr);
  EXPECT_EQ(s.GetState(), INIT);
  s.Join(0);
  EXPECT_EQ(s.GetState(), OUT_OF_SERVICE);
  s.LogError("goes nowhere");
}

TEST(ServiceContract, LoggingFunctionsUseTheirLevels) {
  RecordingLogger log;
  ProbeService s;
  s.PlatformServiceBase::Init(&log);  // the base Init only stores the logger
  EXPECT_EQ(s.GetState(), UNKNOWN);
  s.LogDebug("d");
  s.LogInfo("i");
  s.LogWarning("w");
  s.LogError("e");
  const std::vector<std::pair<int, std::string>> expected = {{4, "d"}, {0, "i"}, {1, "w"}, {2, "e"}};
  EXPECT_EQ(LevelsAndMessages(log), expected);
}

TEST(ServiceContract, StateNames) {
  EXPECT_EQ(StateName(0), "UNKNOWN");
  EXPECT_EQ(StateName(1), "INIT");
  EXPECT_EQ(StateName(2), "IN_SERVICE");
  EXPECT_EQ(StateName(3), "OUT_OF_SERVICE");
  EXPECT_EQ(StateName(4), "UNKNOWN");
  EXPECT_EQ(StateName(-1), "UNKNOWN");
  EXPECT_EQ(StateName(0x7FFFFFFF), "UNKNOWN");
  EXPECT_EQ(&StateName(5), &StateName(0));  // one table, built once
}

}  // namespace
}  // namespace zu::testing
