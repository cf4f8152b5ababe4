// meetlamp.dll bound in process as the agent binds it (LoadLibraryW, then
// GetServiceControlBlock) and driven through the service interface on the
// simulated laptop, with Wine's own Core Audio behind it (no call in
// progress). The pop-up library is the recording stand-in, loaded first so
// that the plug-in's LoadLibraryW("glimmer.dll") finds it.
//
// --led-status=N: the status the device answers for the LED (default
// 0x10000, LED present); the runs on other machines pass their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "libs/glimmer/osd_api.h"
#include "plugins/common/platform_service.h"
#include "plugins/meetlamp/tests/meetlamp_test_support.h"
#include "testing/recording_logger.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"
#include "testing/win/unwritable_user_key.h"
#include "tools/simlaptop/bound_plugin.h"
#include "tools/simlaptop/osd_record.h"
#include "tools/simlaptop/sim_acpi.h"

namespace meetlamp::testing {
namespace {

namespace fs = std::filesystem;
namespace simacpi = zu::simacpi;
namespace simosd = zu::simosd;
using zu::testing::RecordingLogger;
using Values = std::vector<uint32_t>;

void EndStrayPopup() {
  using OsdEndFn = int32_t (*)();
  if (HMODULE recorder = ::GetModuleHandleW(L"glimmer.dll")) {
    if (auto end = reinterpret_cast<OsdEndFn>(reinterpret_cast<void*>(::GetProcAddress(recorder, "OSDEnd")))) end();
  }
  ::Sleep(100);  // lets the thread leave and drop its hold on the library
}

// The plug-in as the agent has it: the module, the service object it owns,
// the supervisor thread for everything but onEvent, and the pop-up record.
class MeetLampDllTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { simosd::LoadRecorderInProcess(); }

  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    ASSERT_TRUE(::GetModuleHandleW(L"glimmer.dll"));
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
    ASSERT_TRUE(simacpi::SetStatus(kLed, g_ledStatus));
  }
  void TearDown() override {
    // A case that stopped early still ends the pop-up thread and the audio
    // registrations, which would otherwise keep the library loaded.
    if (service_) supervisor_.Call([this] { service_->Release(); });
    Unload();
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
  }

  zu::IPlatformService* Load() { return service_ = plugin_.Load(); }
  // Unloads the library the way the agent does and tells whether it is gone.
  bool Unload() {
    service_ = nullptr;
    return plugin_.Unload();
  }

  bool Init() { return supervisor_.Call([this] { return service_->Init(&log_); }); }
  // Loads and initialises, and waits until the pop-up thread runs (a
  // request before that is answered OSD_FAILED).
  bool LoadInitialised() {
    const size_t starts = simosd::CountOf(Record(), "start");
    if (!Load() || !Init()) return false;
    return WaitForPopupStarts(record(), starts + 1);
  }

  // The service's own debug lines (tag "MeetLampService"), in order.
  std::vector<std::string> ServiceDebugLines() const {
    std::vector<std::string> lines;
    for (const auto& call : log_.calls())
      if (call.op == zu::testing::LogCall::Op::kLog && call.level == zu::kLogDebug &&
          call.component == "MeetLampService")
        lines.push_back(call.message);
    return lines;
  }

  fs::path record() const { return popups_.file(); }
  std::vector<simosd::Entry> Record() const { return popups_.Read(); }

  simacpi::Scope device_;
  zu::testing::TempDir dir_;
  SupervisorThread supervisor_;
  simosd::RecordScope popups_{dir_.path() / L"osd.txt"};
  zu::simagent::BoundPlugin plugin_{L"meetlamp.dll"};
  zu::IPlatformService* service_ = nullptr;  // the plug-in's, owned by the library
  RecordingLogger log_;
};

using MeetLampDll = MeetLampDllTest;

TEST_F(MeetLampDll, FirstStartCreatesBothKeysInAutoWithTheLedOff) {
  zu::testing::DeleteTree(HKEY_CURRENT_USER, kParentKey);
  ASSERT_FALSE(KeyExists(kParentKey));
  ASSERT_TRUE(LoadInitialised());
  EXPECT_EQ(service_->GetState(), zu::INIT);
  EXPECT_TRUE(KeyExists(kParentKey));
  EXPECT_EQ(StoredMode(), 0u);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_TRUE(zu::testing::GetValue(HKEY_CURRENT_USER, kLedKey, L"mode", &type, &data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data.size(), 4u);
  EXPECT_EQ(LedValues(), Values{0});
  // The start-up switch is silent.
  EXPECT_EQ(Record(), (std::vector<simosd::Entry>{{"start", "modal"}}));
  EXPECT_TRUE(log_.HasMessage("App state: 0, presence state: 0 -> 0"));
  EXPECT_TRUE(MessagesAt(log_, zu::kLogWarning).empty());
  EXPECT_TRUE(MessagesAt(log_, zu::kLogError).empty());
}

TEST_F(MeetLampDll, StoredModesAreRestoredAndOutOfRangeOnesReadAsAuto) {
  struct Case {
    DWORD stored;
    DWORD writtenBack;
    uint32_t led;
  };
  for (const Case c : {Case{7, 0, 0}, Case{1, 1, 1}, Case{2, 2, 0}, Case{0xFFFFFFFF, 0, 0}}) {
    SCOPED_TRACE("stored mode " + std::to_string(c.stored));
    ASSERT_TRUE(simacpi::Reset());
    ASSERT_TRUE(simacpi::SetStatus(kLed, g_ledStatus));
    ASSERT_EQ(zu::testing::SetDword(HKEY_CURRENT_USER, kLedKey, L"mode", c.stored), ERROR_SUCCESS);
    ASSERT_TRUE(LoadInitialised());
    EXPECT_EQ(StoredMode(), c.writtenBack);
    EXPECT_EQ(LedValues(), Values{c.led});
    supervisor_.Call([this] { service_->Release(); });
    EXPECT_TRUE(Unload());
  }
}

TEST_F(MeetLampDll, AModeOfAnotherTypeIsReadFromItsFirstFourBytes) {
  // The value's type is ignored: a REG_BINARY 1 is mode On.
  const BYTE on[4] = {1, 0, 0, 0};
  ASSERT_EQ(zu::testing::SetValue(HKEY_CURRENT_USER, kLedKey, L"mode", REG_BINARY, on, sizeof on), ERROR_SUCCESS);
  ASSERT_TRUE(LoadInitialised());
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(LedValues(), Values{1});
}

TEST_F(MeetLampDll, ThreePressesCycleOnOffAutoWithPopupsAndLeaveAuto) {
  ASSERT_TRUE(LoadInitialised());
  service_->onEvent(kFn1);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  service_->onEvent(kFn1);
  EXPECT_EQ(StoredMode(), 2u);
  service_->onEvent(kFn1);
  EXPECT_EQ(StoredMode(), 0u);
  // No call: Auto is off like Off.
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 0}));
  EXPECT_EQ(simosd::ShownRequests(Record()), (Shown{{kStatusLightKind, 1}, {kStatusLightKind, 2}, {kStatusLightKind, 0}}));

  const std::vector<std::string> applied = {"App state: 0, presence state: 0 -> 0", "App state: 1, presence state: 0 -> 0",
                                            "App state: 2, presence state: 0 -> 0", "App state: 0, presence state: 0 -> 0"};
  std::vector<std::string> appStates;
  for (const auto& message : log_.messages())
    if (message.rfind("App state: ", 0) == 0) appStates.push_back(message);
  EXPECT_EQ(appStates, applied);
  for (const auto& call : log_.calls()) {
    if (call.message.rfind("App state: ", 0) == 0) {
      EXPECT_EQ(call.component, "AudioSessionMonitor");
    }
  }

  // Other codes, the privacy key included, change nothing.
  for (uint32_t code : {kFn2, 0x63u, 0x20001u, 0x20002u, 0x20005u, 0x20006u, 0xFFFFFu}) service_->onEvent(code);
  EXPECT_EQ(StoredMode(), 0u);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 0}));
  EXPECT_EQ(simosd::CountOf(Record(), "display"), 3u);
}

TEST_F(MeetLampDll, LockAndEndTurnTheLedOffAndUnlockRestoresItAndStoresTheMode) {
  ASSERT_EQ(zu::testing::SetDword(HKEY_CURRENT_USER, kLedKey, L"mode", 1), ERROR_SUCCESS);
  ASSERT_TRUE(LoadInitialised());
  EXPECT_EQ(LedValues(), Values{1});

  ASSERT_EQ(zu::testing::DeleteValue(HKEY_CURRENT_USER, kLedKey, L"mode"), ERROR_SUCCESS);
  service_->onEvent(kLock);
  EXPECT_EQ(LedValues(), (Values{1, 0}));
  EXPECT_EQ(StoredMode(), std::nullopt);
  service_->onEvent(kUnlock);
  EXPECT_EQ(LedValues(), (Values{1, 0, 1}));
  EXPECT_EQ(StoredMode(), 1u);

  service_->onEvent(kEnd);
  EXPECT_EQ(LedValues(), (Values{1, 0, 1, 0}));
  service_->onEvent(kUnlock);
  EXPECT_EQ(LedValues(), (Values{1, 0, 1, 0, 1}));

  // A press while locked changes the mode and the LED as usual; unlocking
  // applies the mode then in force.
  service_->onEvent(kLock);
  service_->onEvent(kFn1);  // Off
  service_->onEvent(kUnlock);
  EXPECT_EQ(LedValues(), (Values{1, 0, 1, 0, 1, 0, 0, 0}));
  EXPECT_EQ(StoredMode(), 2u);
  // Lock, end and unlock show no pop-up.
  EXPECT_EQ(simosd::ShownRequests(Record()), (Shown{{kStatusLightKind, 2}}));
}

TEST_F(MeetLampDll, EachNamedEventIsLoggedBeforeItsReactionAndTheOthersAreSilent) {
  ASSERT_TRUE(LoadInitialised());
  struct Line {
    int level;
    std::string message;
    bool operator==(const Line&) const = default;
  };
  // Everything one event made the monitor log, in order, and nothing under
  // another tag.
  auto logged = [this](uint32_t code) {
    log_.Clear();
    service_->onEvent(code);
    std::vector<Line> lines;
    for (const auto& call : log_.calls()) {
      EXPECT_EQ(call.component, "AudioSessionMonitor") << call.message;
      lines.push_back({call.level, call.message});
    }
    return lines;
  };
  constexpr int kDebug = zu::kLogDebug;
  constexpr int kInfo = zu::kLogInfo;
  EXPECT_EQ(logged(kFn1), (std::vector<Line>{{kDebug, "ZuEventType::FN_1"},
                                             {kInfo, "App state: 1, presence state: 0 -> 0"},
                                             {kDebug, "Turn on LED"}}));
  EXPECT_EQ(logged(kLock), (std::vector<Line>{{kDebug, "ZuEventType::SESSION_LOCK"}, {kDebug, "Turn off LED"}}));
  EXPECT_EQ(logged(kUnlock), (std::vector<Line>{{kDebug, "ZuEventType::SESSION_UNLOCK"},
                                                {kInfo, "App state: 1, presence state: 0 -> 0"},
                                                {kDebug, "Turn on LED"}}));
  EXPECT_EQ(logged(kEnd), (std::vector<Line>{{kDebug, "ZuEventType::SESSION_END"}, {kDebug, "Turn off LED"}}));
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 1, 0}));
  // The display change restarts the pop-up without a word; unnamed codes
  // do nothing at all.
  for (uint32_t code : {kDisplayChange, kFn2, 0xFFFFFu}) EXPECT_TRUE(logged(code).empty()) << code;
  ASSERT_TRUE(WaitForPopupStarts(record(), 2));
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 1, 0}));
}

TEST_F(MeetLampDll, ARefusedSwitchLogsOneWarningAndTheNextChangeTriesAgain) {
  ASSERT_TRUE(LoadInitialised());
  ASSERT_TRUE(simacpi::SetRefuse(true));
  service_->onEvent(kFn1);  // On
  // The device refuses the status read too: both results are -1, and no
  // status word came back from either call.
  EXPECT_EQ(MessagesAt(log_, zu::kLogWarning),
            (std::vector<std::string>{"Failed to set device status via ACPI method call: ret=ffffffff, value = 0, "
                                      "GetLed: ret=ffffffff, value = 0"}));
  for (const auto& call : log_.calls()) {
    if (call.level == zu::kLogWarning) {
      EXPECT_EQ(call.component, "AudioSessionMonitor");
    }
  }
  // The set request, then the status read, and no retry.
  const auto history = simacpi::History();
  ASSERT_GE(history.size(), 2u);
  const auto& set = history[history.size() - 2];
  const auto& status = history.back();
  EXPECT_EQ(simacpi::TagText(set.tag), "DEVS");
  EXPECT_EQ(set.arg0, kLed);
  EXPECT_EQ(set.arg1, 1u);
  EXPECT_NE(set.status, 0u);
  EXPECT_EQ(simacpi::TagText(status.tag), "DSTS");
  EXPECT_EQ(status.arg0, kLed);
  // The mode is in force and shown all the same.
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simosd::ShownRequests(Record()), (Shown{{kStatusLightKind, 1}}));

  ASSERT_TRUE(simacpi::SetRefuse(false));
  service_->onEvent(kFn1);  // Off
  EXPECT_EQ(LedValues(), (Values{0, 0}));
  EXPECT_EQ(MessagesAt(log_, zu::kLogWarning).size(), 1u);
}

TEST_F(MeetLampDll, WithoutItsKeysInitFailsAndTheServiceStaysIdle) {
  zu::testing::UnwritableUserKey keys;
  ASSERT_TRUE(keys.refused());
  ASSERT_NE(Load(), nullptr);
  EXPECT_FALSE(Init());
  EXPECT_EQ(service_->GetState(), zu::OUT_OF_SERVICE);
  EXPECT_TRUE(log_.HasMessage("state change UNKNOWN -> OUT_OF_SERVICE"));
  EXPECT_EQ(MessagesAt(log_, zu::kLogError), std::vector<std::string>{"MeetLampService::Init: CreateKey error"});
  EXPECT_EQ(ServiceDebugLines(), std::vector<std::string>{"MeetLampService::_init"});

  EXPECT_TRUE(supervisor_.Call([this] { return service_->Reset(); }));
  EXPECT_EQ(service_->GetState(), zu::INIT);
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Run(); }));
  EXPECT_EQ(service_->GetState(), zu::IN_SERVICE);
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Heartbeat(); }));
  for (uint32_t code : {kFn1, kLock, kUnlock, kEnd, kDisplayChange}) service_->onEvent(code);
  EXPECT_EQ(simacpi::DevsCount(kLed), 0u);
  EXPECT_TRUE(Record().empty());
  EXPECT_FALSE(KeyExists(kLedKey));
  supervisor_.Call([this] { service_->Release(); });
  EXPECT_EQ(service_->GetState(), zu::UNKNOWN);
  EXPECT_TRUE(Unload());
}

TEST_F(MeetLampDll, ADisplayChangeRestartsThePopup) {
  ASSERT_TRUE(LoadInitialised());
  service_->onEvent(kDisplayChange);
  ASSERT_TRUE(WaitForPopupStarts(record(), 2));
  service_->onEvent(kFn1);
  supervisor_.Call([this] { service_->Release(); });
  const std::vector<simosd::Entry> popups = {{"start", "modal"},
                                             {"end", ""},
                                             {"start", "modal"},
                                             {"display", "", kStatusLightKind, 1, OSD_SUCCESS},
                                             {"end", ""}};
  EXPECT_EQ(Record(), popups);
  EXPECT_TRUE(Unload());
}

// The window thread restarts the pop-up while the supervisor thread
// releases the service: whichever comes first, no pop-up thread outlives
// Release (it would keep the library loaded).
TEST_F(MeetLampDll, ADisplayChangeRacingReleaseLeavesNoPopupBehind) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(LoadInitialised());
    std::atomic<bool> go{false};
    std::thread window([&] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < 30; ++i) service_->onEvent(kDisplayChange);
    });
    go = true;
    ::Sleep(round % 5);
    supervisor_.Call([this] { service_->Release(); });
    window.join();
    const auto record = Record();
    const bool ended = simosd::CountOf(record, "start") == simosd::CountOf(record, "end");
    EXPECT_TRUE(ended) << "a pop-up outlived Release";
    // A stray pop-up thread holds the library: end it, so that the cases
    // after this one still get a fresh library.
    if (!ended) EndStrayPopup();
    ASSERT_TRUE(Unload());
  }
}

TEST_F(MeetLampDll, BeforeInitEventsAreIgnoredAndDetachNeedsNoRelease) {
  zu::IPlatformService* service = Load();
  ASSERT_NE(service, nullptr);
  auto factory = plugin_.module().GetProc<zu::GetServiceControlBlockFn>(zu::kServiceFactoryExport);
  EXPECT_EQ(factory(), service);
  EXPECT_EQ(service->GetName(), "MeetLampService");
  EXPECT_EQ(service->GetType(), 1);
  EXPECT_EQ(service->GetState(), zu::UNKNOWN);
  EXPECT_TRUE(service->Heartbeat());
  for (uint32_t code : {kFn1, kLock, kUnlock, kDisplayChange}) service->onEvent(code);
  EXPECT_EQ(simacpi::DevsCount(kLed), 0u);
  EXPECT_EQ(StoredMode(), std::nullopt);
  EXPECT_TRUE(Record().empty());  // no pop-up thread before Init
  EXPECT_TRUE(Unload());
}

TEST_F(MeetLampDll, HostOrderFromInitToReleaseThenTheLibraryUnloads) {
  ASSERT_TRUE(LoadInitialised());
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Run(); }));
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Heartbeat(); }));
  service_->onEvent(kFn1);
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Join(0); }));
  EXPECT_EQ(service_->GetState(), zu::OUT_OF_SERVICE);
  // Join changes the state only: the LED still follows the hot key.
  service_->onEvent(kFn1);
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Reset(); }));
  EXPECT_EQ(service_->GetState(), zu::INIT);
  supervisor_.Call([this] { service_->Release(); });
  EXPECT_EQ(service_->GetState(), zu::UNKNOWN);
  supervisor_.Call([this] { service_->Release(); });  // twice is harmless
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Heartbeat(); }));

  EXPECT_EQ(LedValues(), (Values{0, 1, 0}));
  EXPECT_EQ(StoredMode(), 2u);
  // Release ended the pop-up; the library is about to go, so later events
  // change nothing and bring no pop-up back.
  service_->onEvent(kFn1);
  service_->onEvent(kDisplayChange);
  service_->onEvent(kUnlock);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0}));
  EXPECT_EQ(StoredMode(), 2u);
  const std::vector<simosd::Entry> popups = {{"start", "modal"},
                                             {"display", "", kStatusLightKind, 1, OSD_SUCCESS},
                                             {"display", "", kStatusLightKind, 2, OSD_SUCCESS},
                                             {"end", ""}};
  EXPECT_EQ(Record(), popups);

  const std::vector<std::string> states = {
      "state change UNKNOWN -> INIT", "state change INIT -> IN_SERVICE", "state change IN_SERVICE -> OUT_OF_SERVICE",
      "state change OUT_OF_SERVICE -> INIT", "state change INIT -> UNKNOWN"};
  std::vector<std::string> changes;
  for (const auto& call : log_.calls()) {
    if (call.message.rfind("state change ", 0) != 0) continue;
    changes.push_back(call.message);
    EXPECT_EQ(call.component, "MeetLampService");
    EXPECT_EQ(call.level, zu::kLogInfo);
  }
  EXPECT_EQ(changes, states);
  // Each operation's own debug line, Init's written once as it begins.
  const std::vector<std::string> operations = {"MeetLampService::_init",  "MeetLampService::Run",
                                               "MeetLampService::Join",   "MeetLampService::Reset",
                                               "MeetLampService::Release", "MeetLampService::Release"};
  EXPECT_EQ(ServiceDebugLines(), operations);
  EXPECT_TRUE(Unload());
}

// A desktop chassis, or a laptop whose firmware lacks the LED: the library
// offers no service and touches nothing.
using MeetLampDllNoLed = MeetLampDllTest;

TEST_F(MeetLampDllNoLed, NoServiceObject) {
  EXPECT_EQ(Load(), nullptr);
  ASSERT_TRUE(plugin_.module());
  EXPECT_EQ(simacpi::DevsCount(kLed), 0u);
  EXPECT_EQ(StoredMode(), std::nullopt);
  EXPECT_TRUE(Unload());
  EXPECT_TRUE(Record().empty());
}

}  // namespace
}  // namespace meetlamp::testing

int main(int argc, char** argv) { return meetlamp::testing::RunTests(argc, argv); }
