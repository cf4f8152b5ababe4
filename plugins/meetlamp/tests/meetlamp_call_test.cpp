// The LED during a call: MeetLampService built directly with Core Audio
// fakes (fake_core_audio.h), so that a test can start and end a call (a
// capture session going active and inactive) and see what the LED device
// was told, on the simulated laptop's ACPI control device.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugins/meetlamp/tests/fake_core_audio.h"
#include "plugins/meetlamp/tests/meetlamp_test_support.h"
#include "plugins/meetlamp/win/meetlamp_service.h"
#include "testing/recording_logger.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"
#include "tools/simlaptop/bound_plugin.h"
#include "tools/simlaptop/osd_record.h"
#include "tools/simlaptop/sim_acpi.h"

namespace meetlamp::testing {
namespace {

namespace fs = std::filesystem;
namespace simacpi = zu::simacpi;
namespace simosd = zu::simosd;
using fake::FakeCoreAudio;
using fake::FakeSession;
using Values = std::vector<uint32_t>;

constexpr DWORD kCallApp = 4100;
constexpr DWORD kOtherApp = 4200;

std::vector<std::string> AppStateLines(const zu::testing::RecordingLogger& log) {
  std::vector<std::string> lines;
  for (const auto& message : log.messages())
    if (message.rfind("App state: ", 0) == 0) lines.push_back(message);
  return lines;
}

class MeetLampCall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { simosd::LoadRecorderInProcess(); }

  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
    microphone_ = audio_.AddEndpoint(eCapture, 1);
  }
  void TearDown() override {
    if (service_) {
      supervisor_.Call([this] { service_->Release(); });
      service_.reset();
    }
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
  }

  // A service in `mode` (stored as a previous run left it), initialised on
  // the supervisor thread.
  bool Start(DWORD storedMode) {
    if (zu::testing::SetDword(HKEY_CURRENT_USER, kLedKey, L"mode", storedMode) != ERROR_SUCCESS) return false;
    service_ = std::make_unique<MeetLampService>(audio_.Factory());
    return supervisor_.Call([this] { return service_->Init(&log_); });
  }
  void Release() { supervisor_.Call([this] { service_->Release(); }); }

  // A call application's capture session on the microphone.
  zu::win::ComPtr<FakeSession> NewSession(DWORD processId) {
    return microphone_->manager()->CreateSession(processId, AudioSessionStateInactive);
  }

  simacpi::Scope device_;
  zu::testing::TempDir dir_;
  simosd::RecordScope popups_{dir_.path() / L"osd.txt"};
  FakeCoreAudio audio_;
  zu::win::ComPtr<fake::FakeEndpoint> microphone_;
  SupervisorThread supervisor_;
  zu::testing::RecordingLogger log_;
  std::unique_ptr<MeetLampService> service_;
};

TEST_F(MeetLampCall, TheLedFollowsTheCallInAutoStaysOnInOnAndOffInOff) {
  struct Case {
    LedMode mode;
    Values led;  // at Init, call starts, call ends
  };
  for (const Case& c : {Case{Auto, {0, 1, 0}}, Case{On, {1, 1, 1}}, Case{Off, {0, 0, 0}}}) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    ASSERT_TRUE(simacpi::Reset());
    log_.Clear();
    ASSERT_TRUE(Start(c.mode));
    auto session = NewSession(kCallApp);
    EXPECT_EQ(LedValues(), Values{c.led[0]}) << "a new session alone is no call";
    session->ChangeState(AudioSessionStateActive);
    EXPECT_EQ(LedValues(), (Values{c.led[0], c.led[1]}));
    session->ChangeState(AudioSessionStateInactive);
    EXPECT_EQ(LedValues(), c.led);
    const std::string m = std::to_string(c.mode);
    EXPECT_EQ(AppStateLines(log_),
              (std::vector<std::string>{"App state: " + m + ", presence state: 0 -> 0",
                                        "App state: " + m + ", presence state: 0 -> 1",
                                        "App state: " + m + ", presence state: 1 -> 0"}));
    Release();
    service_.reset();
  }
}

TEST_F(MeetLampCall, ACallInProgressAtStartUpTurnsTheLedOnAtInit) {
  auto session = microphone_->manager()->CreateSession(kCallApp, AudioSessionStateActive);
  ASSERT_TRUE(Start(Auto));
  EXPECT_EQ(LedValues(), Values{1});
  // The presence found at start-up is stored before the rule runs.
  EXPECT_EQ(AppStateLines(log_), std::vector<std::string>{"App state: 0, presence state: 1 -> 1"});
  session->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(LedValues(), (Values{1, 0}));
}

TEST_F(MeetLampCall, OneCallEndingWhileAnotherGoesOnKeepsTheLedOn) {
  ASSERT_TRUE(Start(Auto));
  auto first = NewSession(kCallApp);
  auto second = NewSession(kOtherApp);
  first->ChangeState(AudioSessionStateActive);
  second->ChangeState(AudioSessionStateActive);
  first->ChangeState(AudioSessionStateInactive);
  // The presence stayed 1 from the first activation on: one switch only.
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  second->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0}));
}

TEST_F(MeetLampCall, AfterOneSessionOfAProcessExpiresACallOnItsOtherSessionTurnsTheLedOnAndOff) {
  // A conferencing program with a capture session on each of two microphones.
  auto headset = audio_.AddEndpoint(eCapture, 2);
  ASSERT_TRUE(Start(Auto));
  auto first = NewSession(kCallApp);
  auto second = headset->manager()->CreateSession(kCallApp, AudioSessionStateInactive);
  first->ChangeState(AudioSessionStateExpired);
  // The heartbeat lets go of the expired session, and of it only.
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Heartbeat(); }));
  EXPECT_EQ(first->registeredEvents(), 0u);

  log_.Clear();
  second->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  second->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0}));
  const std::string pid = std::to_string(kCallApp);
  EXPECT_EQ(log_.messages(), (std::vector<std::string>{"audio state changed: PID(" + pid + "), new state = active",
                                                       "App state: 0, presence state: 0 -> 1", "Turn on LED",
                                                       "audio state changed: PID(" + pid + "), new state = inactive",
                                                       "App state: 0, presence state: 1 -> 0", "Turn off LED"}));
}

TEST_F(MeetLampCall, AutoDuringACallLockTurnsTheLedOffAndUnlockOnWithoutAnAudioEvent) {
  ASSERT_TRUE(Start(Auto));
  auto session = NewSession(kCallApp);
  session->ChangeState(AudioSessionStateActive);
  ASSERT_EQ(LedValues(), (Values{0, 1}));
  service_->onEvent(kLock);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0}));
  service_->onEvent(kUnlock);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 1}));
  EXPECT_EQ(AppStateLines(log_).back(), "App state: 0, presence state: 1 -> 1");

  // The call ends while the session is locked: the LED stays off, and the
  // unlock after it leaves it off.
  service_->onEvent(kEnd);
  session->ChangeState(AudioSessionStateInactive);
  service_->onEvent(kUnlock);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 1, 0, 0, 0}));
}

TEST_F(MeetLampCall, OffDuringACallKeepsTheLedOffButLogsThePresenceAndAutoThenTurnsItOn) {
  ASSERT_TRUE(Start(Off));
  auto session = NewSession(kCallApp);
  session->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(LedValues(), (Values{0, 0}));
  EXPECT_EQ(AppStateLines(log_).back(), "App state: 2, presence state: 0 -> 1");
  for (const auto& call : log_.calls()) {
    if (call.message.rfind("App state: ", 0) == 0) {
      EXPECT_EQ(call.level, zu::kLogInfo);
      EXPECT_EQ(call.component, "AudioSessionMonitor");
    }
  }
  // The hot key's next mode is Auto, which the call in progress turns on.
  service_->onEvent(kFn1);
  EXPECT_EQ(StoredMode(), static_cast<DWORD>(Auto));
  EXPECT_EQ(LedValues(), (Values{0, 0, 1}));
  EXPECT_EQ(AppStateLines(log_).back(), "App state: 0, presence state: 1 -> 1");
}

TEST_F(MeetLampCall, AHeadsetPluggedInDuringTheRunIsWatchedFromTheNextHeartbeat) {
  ASSERT_TRUE(Start(Auto));
  auto headset = audio_.AddEndpoint(eCapture, 2);
  audio_.AnnounceAdded(headset->id());
  // Until the heartbeat nobody listens on it, and a call already running
  // there when it is watched never counts.
  auto before = headset->manager()->CreateSession(kCallApp, AudioSessionStateInactive);
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Heartbeat(); }));
  before->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(LedValues(), Values{0});

  auto after = headset->manager()->CreateSession(kOtherApp, AudioSessionStateInactive);
  after->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(LedValues(), (Values{0, 1}));

  Release();
  EXPECT_EQ(audio_.counts.sessionNotificationUnregistered, audio_.counts.sessionNotificationRegistered);
  EXPECT_EQ(audio_.counts.sessionNotificationRegistered, 2);
  EXPECT_EQ(headset->manager()->registeredNotifications(), 0u);
}

TEST_F(MeetLampCall, ReleaseUndoesEveryCoreAudioRegistration) {
  auto headset = audio_.AddEndpoint(eCapture, 2);
  audio_.AddEndpoint(eRender, 3);
  auto early = microphone_->manager()->CreateSession(kCallApp, AudioSessionStateInactive);
  auto earlySecond = headset->manager()->CreateSession(kOtherApp, AudioSessionStateInactive);
  ASSERT_TRUE(Start(Auto));
  auto late = NewSession(kOtherApp + 1);
  late->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(LedValues(), (Values{0, 1}));

  const auto& counts = audio_.counts;
  EXPECT_EQ(counts.endpointRegistered, 1);
  EXPECT_EQ(counts.sessionNotificationRegistered, 2);  // the two microphones
  EXPECT_EQ(counts.eventsRegistered, 3);
  EXPECT_EQ(counts.endpointUnregistered, 0);

  Release();
  EXPECT_EQ(service_->GetState(), zu::UNKNOWN);
  EXPECT_EQ(counts.endpointUnregistered, counts.endpointRegistered);
  EXPECT_EQ(counts.sessionNotificationUnregistered, counts.sessionNotificationRegistered);
  EXPECT_EQ(counts.eventsUnregistered, counts.eventsRegistered);
  EXPECT_EQ(audio_.registeredClients(), 0u);
  EXPECT_EQ(microphone_->manager()->registeredNotifications(), 0u);
  EXPECT_EQ(headset->manager()->registeredNotifications(), 0u);
  for (const auto& session : {early, earlySecond, late}) EXPECT_EQ(session->registeredEvents(), 0u);
  // Nobody but the fake holds the monitor's callback objects any more.
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 0);

  // A delivery Core Audio had already started reaches nothing.
  late->ChangeState(AudioSessionStateInactive);
  audio_.LateCallbacks();
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  EXPECT_EQ(AppStateLines(log_).size(), 2u);
  service_.reset();
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 0);
}

TEST_F(MeetLampCall, AFailedInitLeavesNoRegistrationBehind) {
  // The settings keys are there; the pop-up and COM start; the failure is
  // COM's: the supervisor thread already joined a single-threaded apartment.
  service_ = std::make_unique<MeetLampService>(audio_.Factory());
  const bool initialised = supervisor_.Call([this] {
    const HRESULT sta = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool result = service_->Init(&log_);
    if (SUCCEEDED(sta)) ::CoUninitialize();
    return result;
  });
  EXPECT_FALSE(initialised);
  EXPECT_EQ(service_->GetState(), zu::OUT_OF_SERVICE);
  EXPECT_TRUE(log_.HasMessage("MeetLampService::Init: Unable to call CoInitializeEx"));
  EXPECT_EQ(audio_.counts.endpointRegistered, audio_.counts.endpointUnregistered);
  EXPECT_EQ(audio_.counts.sessionNotificationRegistered, audio_.counts.sessionNotificationUnregistered);
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 0);
  EXPECT_EQ(simacpi::DevsCount(kLed), 0u);
  // The pop-up the monitor had started is ended again.
  const auto record = popups_.Read();
  EXPECT_EQ(simosd::CountOf(record, "start"), simosd::CountOf(record, "end"));
  // Idle from then on: Reset and Run succeed, events change nothing.
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Reset(); }));
  EXPECT_TRUE(supervisor_.Call([this] { return service_->Run(); }));
  auto session = NewSession(kCallApp);
  session->ChangeState(AudioSessionStateActive);
  service_->onEvent(kFn1);
  EXPECT_EQ(simacpi::DevsCount(kLed), 0u);
}

}  // namespace
}  // namespace meetlamp::testing
