// The audio session monitor against the fake Core Audio (and once against
// Wine's own), on the simulated laptop: the LED it switches is the
// simulated ACPI device's, the pop-up library the recording stand-in,
// loaded first so that LoadLibraryW("glimmer.dll") finds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "logging/ilogger.h"
#include "plugins/meetlamp/tests/fake_core_audio.h"
#include "plugins/meetlamp/win/audio_session_monitor.h"
#include "testing/recording_logger.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"
#include "tools/simlaptop/bound_plugin.h"
#include "tools/simlaptop/osd_record.h"
#include "tools/simlaptop/sim_acpi.h"

namespace meetlamp {
namespace {

namespace fs = std::filesystem;
namespace simacpi = zu::simacpi;
namespace simosd = zu::simosd;
using fake::FakeCoreAudio;
using fake::FakeEndpoint;
using fake::FakeSession;
using zu::testing::LogCall;
using zu::testing::RecordingLogger;
using zu::win::ComPtr;

constexpr uint32_t kLed = 0x00040019;
constexpr const wchar_t* kUserKey = L"SOFTWARE\\Orvale\\TarnService\\ConfigLED";
constexpr const char* kTag = "AudioSessionMonitor";
constexpr const char* kNotificationTag = "MeetingAudioSessionNotification";

using Devs = std::vector<std::pair<uint32_t, uint32_t>>;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class AudioSessionMonitorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { simosd::LoadRecorderInProcess(); }

  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    ASSERT_TRUE(::GetModuleHandleW(L"glimmer.dll"));
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kUserKey);
  }
  void TearDown() override {
    monitor_.reset();
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kUserKey);
  }

  // The monitor as the service's Init starts it, on the fake Core Audio.
  AudioSessionMonitor& Start() {
    monitor_ = std::make_unique<AudioSessionMonitor>(&log_, audio_.Factory());
    monitor_->InitAudioSessionManager();
    monitor_->StartLedControl();
    return *monitor_;
  }

  bool Logged(int level, const std::string& component, const std::string& message) const {
    for (const LogCall& c : log_.calls())
      if (c.op == LogCall::Op::kLog && c.level == level && c.component == component && c.message == message)
        return true;
    return false;
  }
  size_t Count(const std::string& message) const {
    size_t n = 0;
    for (const std::string& m : log_.messages()) n += m == message;
    return n;
  }
  std::vector<std::string> AppStateLines() const {
    std::vector<std::string> lines;
    for (const std::string& m : log_.messages())
      if (m.rfind("App state: ", 0) == 0) lines.push_back(m);
    return lines;
  }

  simacpi::Scope device_;
  zu::testing::TempDir dir_;
  simosd::RecordScope popups_{dir_.path() / L"osd.txt"};
  RecordingLogger log_;
  FakeCoreAudio audio_;  // outlives the monitor
  std::unique_ptr<AudioSessionMonitor> monitor_;
};

std::vector<DWORD> Pids(std::initializer_list<DWORD> pids) { return pids; }

TEST_F(AudioSessionMonitorTest, StartUpEntersCaptureSessionsAndSkipsBrokenEndpoints) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto sounds = mic->manager()->CreateSession(4, AudioSessionStateActive, /*systemSounds=*/true);
  auto call = mic->manager()->CreateSession(100, AudioSessionStateActive);
  auto first = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  auto second = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  auto speaker = audio_.AddEndpoint(eRender, 2);
  speaker->manager()->CreateSession(300, AudioSessionStateActive);
  auto disabled = audio_.AddEndpoint(eCapture, 3, DEVICE_STATE_DISABLED);
  disabled->activateResult = AUDCLNT_E_DEVICE_INVALIDATED;
  auto broken = audio_.AddEndpoint(eCapture, 4);
  broken->activateGivesNull = true;  // S_OK and no object
  auto nameless = audio_.AddEndpoint(eCapture, 5);
  nameless->hasName = false;
  auto unlisted = audio_.AddEndpoint(eCapture, 6, DEVICE_STATE_UNPLUGGED);
  unlisted->manager()->sessionEnumeratorResult = E_FAIL;

  AudioSessionMonitor& monitor = Start();

  EXPECT_TRUE(Logged(zu::kLogDebug, kTag,
                     "InitAudioSessionManager, PID = " + std::to_string(::GetCurrentProcessId()) +
                         ", TID = " + std::to_string(::GetCurrentThreadId())));
  EXPECT_EQ(Count("Unable to get IAudioSessionManager2"), 2u);
  EXPECT_TRUE(Logged(zu::kLogWarning, kTag, "Unable to get IAudioSessionManager2"));
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "Numbers of capture endpoints: 2"));
  const std::vector<GUID> guids = {FakeCoreAudio::EndpointGuid(1), FakeCoreAudio::EndpointGuid(6)};
  EXPECT_EQ(monitor.EndpointGuids(), guids);

  // One entry per process, the system sounds left out; both sessions of
  // process 200 report, the system sounds session does not.
  EXPECT_EQ(monitor.TrackedProcessIds(), Pids({100, 200}));
  EXPECT_EQ(sounds->registeredEvents(), 0u);
  EXPECT_EQ(first->registeredEvents(), 1u);
  EXPECT_EQ(second->registeredEvents(), 1u);
  EXPECT_EQ(audio_.counts.eventsRegistered, 3);
  // The endpoint whose sessions could not be listed still reports new ones.
  EXPECT_EQ(mic->manager()->registeredNotifications(), 1u);
  EXPECT_EQ(unlisted->manager()->registeredNotifications(), 1u);
  EXPECT_EQ(audio_.registeredClients(), 1u);

  // Process 100's active session: presence 1 from the start, LED on.
  EXPECT_EQ(monitor.lastPresence(), 1);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 1}}));
}

TEST_F(AudioSessionMonitorTest, SystemSoundsSessionNeverCountsAndNeverEnters) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto sounds = mic->manager()->CreateSession(4, AudioSessionStateActive, true);
  AudioSessionMonitor& monitor = Start();
  EXPECT_EQ(monitor.lastPresence(), 0);

  auto later = mic->manager()->CreateSession(4, AudioSessionStateInactive, true);
  later->ChangeState(AudioSessionStateActive);
  sounds->ChangeState(AudioSessionStateInactive);
  sounds->ChangeState(AudioSessionStateActive);

  EXPECT_TRUE(monitor.TrackedProcessIds().empty());
  EXPECT_EQ(later->registeredEvents(), 0u);
  EXPECT_EQ(monitor.lastPresence(), 0);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}}));
  EXPECT_FALSE(Logged(zu::kLogInfo, kNotificationTag, "PID(4) created a new audio session"));
}

TEST_F(AudioSessionMonitorTest, SessionsOfOneProcessShareOneEntryAndPresenceFollowsEveryProcess) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto first = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  AudioSessionMonitor& monitor = Start();

  // A second session of the same process, created while watched.
  auto second = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  EXPECT_TRUE(Logged(zu::kLogInfo, kNotificationTag, "PID(200) created a new audio session"));
  EXPECT_EQ(second->registeredEvents(), 1u);
  EXPECT_EQ(monitor.TrackedProcessIds(), Pids({200}));

  second->ChangeState(AudioSessionStateActive);
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "audio state changed: PID(200), new state = active"));
  EXPECT_EQ(monitor.lastPresence(), 1);

  // Another process's call keeps the presence while the first goes quiet.
  auto call = mic->manager()->CreateSession(100, AudioSessionStateInactive);
  call->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(monitor.TrackedProcessIds(), Pids({100, 200}));
  first->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(monitor.lastPresence(), 1);
  call->ChangeState(AudioSessionStateInactive);
  // The first session of the process is inactive, but its second still is
  // in the call.
  EXPECT_EQ(monitor.lastPresence(), 1);
  second->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(monitor.lastPresence(), 0);

  const std::vector<std::string> lines = {"App state: 0, presence state: 0 -> 0",
                                          "App state: 0, presence state: 0 -> 1",
                                          "App state: 0, presence state: 1 -> 0"};
  EXPECT_EQ(AppStateLines(), lines);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}, {kLed, 1}, {kLed, 0}}));
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "audio state changed: PID(100), new state = inactive"));
}

TEST_F(AudioSessionMonitorTest, ExpiryRemovesTheEntryKeepsPresenceAndReleasesOutsideTheCallback) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto call = mic->manager()->CreateSession(100, AudioSessionStateActive);
  AudioSessionMonitor& monitor = Start();
  ASSERT_EQ(monitor.lastPresence(), 1);

  call->ChangeState(AudioSessionStateExpired);
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "audio state changed: PID(100), new state = expired"));
  EXPECT_TRUE(Logged(zu::kLogDebug, kTag, "remove session"));
  EXPECT_TRUE(monitor.TrackedProcessIds().empty());
  EXPECT_EQ(monitor.lastPresence(), 1);
  EXPECT_EQ(audio_.counts.eventsUnregisteredInCallback, 0);
  EXPECT_EQ(audio_.counts.eventsUnregistered, 0);
  EXPECT_EQ(call->registeredEvents(), 1u);

  // An unknown state is treated as an expiry too; for an unknown process
  // it changes nothing.
  call->ChangeState(static_cast<AudioSessionState>(7));
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "audio state changed: PID(100), new state = ?????"));

  // The heartbeat lets go of the session.
  monitor.ProcessPendingDevices();
  EXPECT_EQ(audio_.counts.eventsUnregistered, 1);
  EXPECT_EQ(audio_.counts.eventsUnregisteredInCallback, 0);
  EXPECT_EQ(call->registeredEvents(), 0u);
  // Left: the endpoint and session notifications, each held by the monitor
  // and by its registration.
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 4);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 1}}));
}

TEST_F(AudioSessionMonitorTest, ASessionExpiringWhileStartUpEntersItLeavesNoEntryBehind) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto leaving = mic->manager()->CreateSession(100, AudioSessionStateActive);
  leaving->expiresWhileRegistering = true;
  auto call = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  AudioSessionMonitor& monitor = Start();
  leaving->JoinReporter();
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "audio state changed: PID(100), new state = expired"));
  EXPECT_EQ(monitor.TrackedProcessIds(), Pids({200}));

  // The process's next session is its own entry again and counts.
  auto again = mic->manager()->CreateSession(100, AudioSessionStateInactive);
  again->ChangeState(AudioSessionStateActive);
  call->ChangeState(AudioSessionStateActive);
  call->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(monitor.lastPresence(), 1);
  monitor.ProcessPendingDevices();
  EXPECT_EQ(leaving->registeredEvents(), 0u);
}

TEST_F(AudioSessionMonitorTest, EndpointsAddedAndRemovedAfterStartUp) {
  AudioSessionMonitor& monitor = Start();
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "Numbers of capture endpoints: 0"));

  // A playback endpoint: logged at debug level and not watched.
  auto speaker = audio_.AddEndpoint(eRender, 2);
  audio_.AnnounceAdded(speaker->id());
  EXPECT_EQ(monitor.PendingDeviceCount(), 1u);
  monitor.ProcessPendingDevices();
  EXPECT_EQ(monitor.PendingDeviceCount(), 0u);
  EXPECT_TRUE(
      Logged(zu::kLogDebug, kTag, "OnDeviceAddedBottom, DeviceID = " + Narrow(speaker->id()) + ", non-capture device"));
  EXPECT_TRUE(monitor.EndpointGuids().empty());

  // A microphone already in use when it is added does not count...
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto busy = mic->manager()->CreateSession(500, AudioSessionStateActive);
  audio_.AnnounceAdded(mic->id());
  EXPECT_TRUE(monitor.EndpointGuids().empty());  // only at the heartbeat
  monitor.ProcessPendingDevices();
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "OnDeviceAddedBottom, DeviceID = " + Narrow(mic->id())));
  EXPECT_EQ(monitor.EndpointGuids(), std::vector<GUID>{FakeCoreAudio::EndpointGuid(1)});
  EXPECT_TRUE(monitor.TrackedProcessIds().empty());
  EXPECT_EQ(busy->registeredEvents(), 0u);
  busy->ChangeState(AudioSessionStateInactive);
  busy->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(monitor.lastPresence(), 0);
  // ...a session created on it afterwards does.
  auto call = mic->manager()->CreateSession(600, AudioSessionStateInactive);
  EXPECT_TRUE(Logged(zu::kLogInfo, kNotificationTag, "PID(600) created a new audio session"));
  call->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(monitor.lastPresence(), 1);

  // Removing an endpoint that was never watched, then the watched one.
  audio_.AnnounceRemoved(speaker->id());
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "OnDeviceRemoved, DeviceID = " + Narrow(speaker->id()) + ", ignored"));
  audio_.RemoveEndpoint(mic->id());
  audio_.AnnounceRemoved(mic->id());
  EXPECT_TRUE(Logged(zu::kLogInfo, kTag, "OnDeviceRemoved, DeviceID = " + Narrow(mic->id()) + ", removed"));
  EXPECT_TRUE(monitor.EndpointGuids().empty());
  EXPECT_EQ(mic->manager()->registeredNotifications(), 0u);
  EXPECT_EQ(audio_.counts.sessionNotificationUnregistered, 1);
  // Its sessions stay until they expire.
  EXPECT_EQ(monitor.TrackedProcessIds(), Pids({600}));

  // Ids that lead nowhere: gone by the heartbeat, or not an endpoint id.
  audio_.AnnounceAdded(FakeCoreAudio::EndpointId(eCapture, 9));
  audio_.AnnounceAdded(L"{0.0.1.00000000}");
  audio_.AnnounceRemoved(L"garbage");
  monitor.ProcessPendingDevices();
  EXPECT_TRUE(Logged(zu::kLogError, kTag,
                     "OnDeviceAddedBottom, DeviceID = " + Narrow(FakeCoreAudio::EndpointId(eCapture, 9)) +
                         ", unable to get device -2147023728"));
  EXPECT_TRUE(Logged(zu::kLogError, kTag,
                     "OnDeviceAddedBottom, DeviceID = {0.0.1.00000000}, unable to get endpoint GUID, -2147024809"));
  EXPECT_TRUE(Logged(zu::kLogWarning, kTag, "OnDeviceRemoved, DeviceID = garbage, unable to get endpoint GUID, -2147024809"));
  EXPECT_TRUE(monitor.EndpointGuids().empty());
  EXPECT_EQ(monitor.PendingDeviceCount(), 0u);

  // An endpoint added whose session enumerator fails is not watched and
  // keeps no registration.
  auto odd = audio_.AddEndpoint(eCapture, 3);
  odd->manager()->sessionEnumeratorResult = E_OUTOFMEMORY;
  audio_.AnnounceAdded(odd->id());
  monitor.ProcessPendingDevices();
  EXPECT_TRUE(Logged(zu::kLogError, kTag,
                     "OnDeviceAddedBottom, DeviceID = " + Narrow(odd->id()) +
                         ", unable to get session enumerator -2147024882"));
  EXPECT_EQ(odd->manager()->registeredNotifications(), 0u);
  EXPECT_TRUE(monitor.EndpointGuids().empty());
}

TEST_F(AudioSessionMonitorTest, AddedEndpointsThatRefuseAStepAreLoggedWithTheResultAndNotWatched) {
  AudioSessionMonitor& monitor = Start();
  auto nameless = audio_.AddEndpoint(eCapture, 1);
  nameless->hasName = false;
  auto disabled = audio_.AddEndpoint(eCapture, 2, DEVICE_STATE_DISABLED);
  disabled->activateResult = AUDCLNT_E_DEVICE_INVALIDATED;
  auto empty = audio_.AddEndpoint(eCapture, 3);
  empty->activateGivesNull = true;
  for (const auto* e : {&nameless, &disabled, &empty}) audio_.AnnounceAdded((*e)->id());
  monitor.ProcessPendingDevices();

  // One line each, at error level, the result in signed decimal.
  const std::vector<std::string> errors = {
      "OnDeviceAddedBottom, DeviceID = " + Narrow(nameless->id()) + ", unable to get device name -2147467259",
      "OnDeviceAddedBottom, DeviceID = " + Narrow(disabled->id()) + ", unable to get IAudioSessionManager2 -2004287484",
      "OnDeviceAddedBottom, DeviceID = " + Narrow(empty->id()) + ", unable to get IAudioSessionManager2 -2147467261"};
  std::vector<std::string> logged;
  for (const LogCall& c : log_.calls())
    if (c.message.rfind("OnDeviceAddedBottom", 0) == 0) {
      EXPECT_EQ(c.level, zu::kLogError) << c.message;
      EXPECT_EQ(c.component, kTag);
      logged.push_back(c.message);
    }
  EXPECT_EQ(logged, errors);
  EXPECT_TRUE(monitor.EndpointGuids().empty());
  EXPECT_EQ(audio_.counts.sessionNotificationRegistered, 0);
}

TEST_F(AudioSessionMonitorTest, CallbacksFromSeveralThreadsAtOnce) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  constexpr int kThreads = 4;
  constexpr int kRounds = 60;
  std::vector<ComPtr<FakeSession>> sessions;
  for (int t = 0; t < kThreads; ++t) sessions.push_back(mic->manager()->CreateSession(1000 + t));
  AudioSessionMonitor& monitor = Start();

  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kRounds; ++i) {
        sessions[t]->ChangeState(AudioSessionStateActive);
        sessions[t]->ChangeState(AudioSessionStateInactive);
      }
    });
  }
  // Meanwhile endpoints come and go, sessions appear and the heartbeat runs.
  threads.emplace_back([&] {
    while (!go) std::this_thread::yield();
    for (int i = 0; i < kRounds; ++i) {
      auto extra = audio_.AddEndpoint(eCapture, 10 + i);
      audio_.AnnounceAdded(extra->id());
      mic->manager()->CreateSession(2000 + i);
      monitor.ProcessPendingDevices();
      audio_.AnnounceRemoved(extra->id());
    }
  });
  go = true;
  for (auto& th : threads) th.join();
  monitor.ProcessPendingDevices();

  EXPECT_EQ(monitor.lastPresence(), 0);
  EXPECT_EQ(monitor.TrackedProcessIds().size(), static_cast<size_t>(kThreads + kRounds));
  EXPECT_EQ(monitor.EndpointGuids().size(), 1u);
  // Every presence change was applied once, in order: each line starts
  // where the one before ended.
  const std::vector<std::string> lines = AppStateLines();
  ASSERT_GE(lines.size(), 3u);
  char last = '0';
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    ASSERT_EQ(l.size(), std::string("App state: 0, presence state: 0 -> 1").size()) << l;
    EXPECT_EQ(l[l.size() - 6], last) << l;
    EXPECT_NE(l.back(), last) << l;
    last = l.back();
  }
  EXPECT_EQ(last, '0');
  const Devs devs = simacpi::DevsHistory();
  ASSERT_EQ(devs.size(), lines.size());
  EXPECT_EQ(devs.back(), (std::pair<uint32_t, uint32_t>{kLed, 0}));
  EXPECT_EQ(Count("timeout in acquiring mutex"), 0u);
}

TEST_F(AudioSessionMonitorTest, ShutdownUndoesEveryRegistrationAndLateCallbacksChangeNothing) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto call = mic->manager()->CreateSession(100, AudioSessionStateActive);
  auto twin = mic->manager()->CreateSession(100, AudioSessionStateInactive);
  auto other = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  AudioSessionMonitor& monitor = Start();
  auto later = mic->manager()->CreateSession(300, AudioSessionStateInactive);
  auto added = audio_.AddEndpoint(eCapture, 2);
  audio_.AnnounceAdded(added->id());
  monitor.ProcessPendingDevices();
  auto onAdded = added->manager()->CreateSession(400, AudioSessionStateInactive);
  other->ChangeState(AudioSessionStateExpired);  // waits for a lock holder
  audio_.AnnounceAdded(FakeCoreAudio::EndpointId(eCapture, 3));  // still pending
  ASSERT_EQ(monitor.TrackedProcessIds(), Pids({100, 300, 400}));
  EXPECT_GT(audio_.ForeignCallbackRefs(), 0);

  monitor.Shutdown();
  EXPECT_EQ(audio_.counts.endpointRegistered, 1);
  EXPECT_EQ(audio_.counts.endpointUnregistered, 1);
  EXPECT_EQ(audio_.counts.sessionNotificationRegistered, 2);
  EXPECT_EQ(audio_.counts.sessionNotificationUnregistered, 2);
  EXPECT_EQ(audio_.counts.eventsRegistered, 5);
  EXPECT_EQ(audio_.counts.eventsUnregistered, 5);
  EXPECT_EQ(audio_.counts.eventsUnregisteredInCallback, 0);
  // The monitor holds nothing of Core Audio's, nor Core Audio of the monitor's.
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 0);
  EXPECT_EQ(audio_.enumerator()->refs(), 1);
  EXPECT_EQ(mic->manager()->refs(), 1);
  EXPECT_EQ(added->manager()->refs(), 1);
  for (const auto* s : {&call, &twin, &other, &later, &onAdded}) EXPECT_EQ((*s)->refs(), 2);  // list + test
  EXPECT_TRUE(monitor.TrackedProcessIds().empty());
  EXPECT_TRUE(monitor.EndpointGuids().empty());
  EXPECT_EQ(monitor.PendingDeviceCount(), 0u);

  // Core Audio delivering late: nothing reaches the monitor.
  log_.Clear();
  audio_.LateCallbacks();
  call->ChangeState(AudioSessionStateInactive);
  monitor.ProcessPendingDevices();
  monitor.Shutdown();
  EXPECT_TRUE(log_.messages().empty());
  EXPECT_EQ(monitor.PendingDeviceCount(), 0u);
  EXPECT_TRUE(monitor.TrackedProcessIds().empty());
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 1}}));
  EXPECT_EQ(audio_.counts.endpointUnregistered, 1);
  EXPECT_EQ(audio_.counts.eventsRegistered, 5);
}

// Passes every call on to a RecordingLogger, but holds the thread that logs
// one chosen message until released: a callback stopped half-way.
class HoldingLogger final : public zu::LoggerBase {
 public:
  HoldingLogger(RecordingLogger& inner, std::string holdOn) : inner_(inner), holdOn_(std::move(holdOn)) {}
  ~HoldingLogger() { Let(); }
  int Log(int level, const std::string& component, const std::string& message) override {
    inner_.Log(level, component, message);
    if (message == holdOn_) {
      std::unique_lock lock(mutex_);
      held_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return let_; });
    }
    return 0;
  }
  int Report(int level, const std::string& component, const std::string& message) override {
    return inner_.Report(level, component, message);
  }
  int LogAndReport(int level, const std::string& component, const std::string& message) override {
    return Log(level, component, message) | Report(level, component, message);
  }
  void WaitUntilHeld() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return held_; });
  }
  void Let() {
    std::lock_guard lock(mutex_);
    let_ = true;
    changed_.notify_all();
  }

 private:
  RecordingLogger& inner_;
  const std::string holdOn_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool let_ = false;
};

TEST_F(AudioSessionMonitorTest, ShutdownWaitsForTheCallbackInFlight) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto call = mic->manager()->CreateSession(100, AudioSessionStateInactive);
  HoldingLogger logger(log_, "audio state changed: PID(100), new state = active");
  monitor_ = std::make_unique<AudioSessionMonitor>(&logger, audio_.Factory());
  monitor_->InitAudioSessionManager();
  monitor_->StartLedControl();

  // The callback is inside, before it takes the lock.
  std::thread callback([&] { call->ChangeState(AudioSessionStateActive); });
  logger.WaitUntilHeld();
  // Shutdown on the thread that started the monitor, as the service does;
  // another thread looks while it waits, then lets the callback go on.
  std::atomic<bool> done{false};
  bool doneEarly = true;
  int unregisteredEarly = -1;
  std::thread watcher([&] {
    ::Sleep(300);
    doneEarly = done;
    unregisteredEarly = audio_.counts.eventsUnregistered;
    logger.Let();
  });
  monitor_->Shutdown();
  done = true;
  watcher.join();
  callback.join();
  EXPECT_FALSE(doneEarly);  // it waited for the callback
  EXPECT_EQ(unregisteredEarly, 0);

  // The callback finished its work, and only then were the registrations
  // undone.
  EXPECT_EQ(AppStateLines().back(), "App state: 0, presence state: 0 -> 1");
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}, {kLed, 1}}));
  EXPECT_EQ(audio_.counts.eventsUnregistered, 1);
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 0);
}

TEST_F(AudioSessionMonitorTest, ShutdownWaitsForTheEventInFlight) {
  // The host unloads the library once Release returns: a hot-key press the
  // window thread is still handling must be finished by then.
  HoldingLogger logger(log_, "ZuEventType::FN_1");
  monitor_ = std::make_unique<AudioSessionMonitor>(&logger, audio_.Factory());
  monitor_->InitAudioSessionManager();
  monitor_->StartLedControl();
  // A request before the pop-up runs would not be shown.
  const fs::path record = popups_.file();
  for (int i = 0; i < 250 && simosd::CountOf(simosd::ReadRecord(record), "start") == 0; ++i) ::Sleep(20);

  std::thread window([&] { monitor_->HandleEvent(0x61); });
  logger.WaitUntilHeld();
  std::atomic<bool> done{false};
  bool doneEarly = true;
  std::thread watcher([&] {
    ::Sleep(300);
    doneEarly = done;
    logger.Let();
  });
  monitor_->Shutdown();
  done = true;
  watcher.join();
  window.join();
  EXPECT_FALSE(doneEarly);  // it waited for the event
  // The press was handled in full before the pop-up ended.
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}, {kLed, 1}}));
  EXPECT_EQ(simosd::ShownRequests(simosd::ReadRecord(record)), (std::vector<std::pair<int32_t, int32_t>>{{3, 1}}));

  // Events after Shutdown are turned away without a word.
  log_.Clear();
  for (uint32_t code : {0x61u, 0x20003u, 0x20004u, 0x20007u, 0x20008u}) monitor_->HandleEvent(code);
  EXPECT_TRUE(log_.messages().empty());
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}, {kLed, 1}}));
}

TEST_F(AudioSessionMonitorTest, CallbackObjectsAnswerOnlyTheirOwnInterfaceAndCountTheirReferences) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  mic->manager()->CreateSession(100, AudioSessionStateInactive);
  Start();
  const std::vector<ComPtr<IUnknown>> objects = audio_.Seen();
  ASSERT_EQ(objects.size(), 3u);  // endpoint client, session notification, session events
  const IID interfaces[] = {__uuidof(IMMNotificationClient), __uuidof(IAudioSessionNotification),
                            __uuidof(IAudioSessionEvents)};
  for (size_t i = 0; i < objects.size(); ++i) {
    IUnknown* object = objects[i].get();
    const LONG before = static_cast<LONG>(object->AddRef()) - 1;
    object->Release();
    size_t answered = 0;
    for (const IID& iid : interfaces) {
      void* out = reinterpret_cast<void*>(1);
      const HRESULT hr = object->QueryInterface(iid, &out);
      if (hr == S_OK) {
        ++answered;
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(static_cast<LONG>(object->Release()), before);  // the answer took one reference
      } else {
        EXPECT_EQ(hr, E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
      }
    }
    EXPECT_EQ(answered, 1u) << "object " << i;
    for (const IID& iid : {__uuidof(IAudioSessionControl), __uuidof(IMMDevice), __uuidof(IDispatch)}) {
      void* out = reinterpret_cast<void*>(1);
      EXPECT_EQ(object->QueryInterface(iid, &out), E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
    // IUnknown gives the same identity and one more reference.
    IUnknown* identity = nullptr;
    ASSERT_EQ(object->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, object);
    EXPECT_EQ(static_cast<LONG>(identity->Release()), before);
  }
  // The monitor's references and the registrations' go with Shutdown; the
  // fake's and this test's copy stay, so each object is alive at two.
  monitor_->Shutdown();
  for (const auto& object : objects) {
    object->AddRef();
    EXPECT_EQ(object->Release(), 2u);
  }
}

TEST_F(AudioSessionMonitorTest, OperationsThatCannotGetTheLockLeaveTheStateAlone) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  auto call = mic->manager()->CreateSession(100, AudioSessionStateInactive);
  auto gone = mic->manager()->CreateSession(200, AudioSessionStateInactive);
  AudioSessionMonitor& monitor = Start();
  ASSERT_EQ(monitor.TrackedProcessIds(), Pids({100, 200}));
  const Devs before = simacpi::DevsHistory();

  std::atomic<bool> held{false};
  std::thread holder([&] {
    ASSERT_TRUE(monitor.AcquireLock());
    held = true;
    ::Sleep(4500);
    monitor.ReleaseLock();
  });
  while (!held) ::Sleep(1);
  ComPtr<FakeSession> created;
  std::vector<std::thread> blocked;
  blocked.emplace_back([&] { call->ChangeState(AudioSessionStateActive); });
  blocked.emplace_back([&] { gone->ChangeState(AudioSessionStateExpired); });
  blocked.emplace_back([&] { created = mic->manager()->CreateSession(300, AudioSessionStateActive); });
  blocked.emplace_back([&] { audio_.AnnounceAdded(FakeCoreAudio::EndpointId(eCapture, 2)); });
  blocked.emplace_back([&] { audio_.AnnounceRemoved(mic->id()); });
  for (auto& t : blocked) t.join();
  holder.join();

  EXPECT_EQ(Count("timeout in acquiring mutex"), 5u);
  EXPECT_TRUE(Logged(zu::kLogWarning, kTag, "timeout in acquiring mutex"));
  EXPECT_EQ(monitor.lastPresence(), 0);
  EXPECT_EQ(monitor.TrackedProcessIds(), Pids({100, 200}));
  EXPECT_EQ(monitor.EndpointGuids(), std::vector<GUID>{FakeCoreAudio::EndpointGuid(1)});
  EXPECT_EQ(monitor.PendingDeviceCount(), 0u);
  ASSERT_TRUE(created);
  EXPECT_EQ(created->registeredEvents(), 0u);  // not entered, so not registered
  EXPECT_EQ(simacpi::DevsHistory(), before);

  // With the lock free again everything works.
  call->ChangeState(AudioSessionStateActive);
  EXPECT_EQ(monitor.lastPresence(), 1);

  // A holder that ended without letting go leaves an abandoned lock, which
  // the next caller simply takes.
  std::thread([&] { ASSERT_TRUE(monitor.AcquireLock()); }).join();
  log_.Clear();
  call->ChangeState(AudioSessionStateInactive);
  EXPECT_EQ(monitor.lastPresence(), 0);
  EXPECT_EQ(Count("timeout in acquiring mutex"), 0u);
  EXPECT_EQ(Count("unable to acquire mutex"), 0u);

  // Letting go of a lock this thread does not hold fails, with a warning.
  monitor.ReleaseLock();
  EXPECT_TRUE(Logged(zu::kLogWarning, kTag, "error in releasing mutex"));
  EXPECT_EQ(Count("error in releasing mutex"), 1u);
}

TEST_F(AudioSessionMonitorTest, AModeThatCannotBeStoredStaysInForceAndIsWrittenAgainAtUnlock) {
  AudioSessionMonitor& monitor = Start();
  ASSERT_EQ(Count("unable to set mode"), 0u);
  // The key goes away under the open handle: every write fails from now on.
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey), ERROR_SUCCESS);
  monitor.HandleEvent(0x61);
  EXPECT_TRUE(Logged(zu::kLogError, kTag, "unable to set mode"));
  EXPECT_EQ(monitor.mode(), On);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}, {kLed, 1}}));
  monitor.HandleEvent(0x20003);
  monitor.HandleEvent(0x20004);
  EXPECT_EQ(Count("unable to set mode"), 2u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}, {kLed, 1}, {kLed, 0}, {kLed, 1}}));
}

TEST_F(AudioSessionMonitorTest, WithoutTheMultithreadedApartmentStartUpFails) {
  auto mic = audio_.AddEndpoint(eCapture, 1);
  monitor_ = std::make_unique<AudioSessionMonitor>(&log_, audio_.Factory());
  for (const DWORD apartment : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    std::string error;
    HRESULT again = E_FAIL;
    std::thread([&] {
      const HRESULT own = ::CoInitializeEx(nullptr, apartment);
      try {
        monitor_->InitAudioSessionManager();
      } catch (const ServiceError& e) {
        error = e.what();
      }
      // Nothing of the failed start is left on the thread's count: after
      // its own pair the thread is out of COM.
      if (SUCCEEDED(own)) ::CoUninitialize();
      again = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (SUCCEEDED(again)) ::CoUninitialize();
    }).join();
    EXPECT_EQ(error, "Unable to call CoInitializeEx") << apartment;
    EXPECT_EQ(again, S_OK) << apartment;
  }
  EXPECT_EQ(audio_.counts.endpointRegistered, 0);
  EXPECT_TRUE(monitor_->EndpointGuids().empty());
}

TEST_F(AudioSessionMonitorTest, NoEnumeratorMeansNoEndpoints) {
  audio_.AddEndpoint(eCapture, 1);
  audio_.factoryResult = REGDB_E_CLASSNOTREG;
  AudioSessionMonitor& monitor = Start();
  EXPECT_TRUE(monitor.EndpointGuids().empty());
  EXPECT_EQ(Count("Numbers of capture endpoints: 0"), 0u);
  EXPECT_EQ(monitor.lastPresence(), 0);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kLed, 0}}));
  monitor.Shutdown();
  EXPECT_EQ(audio_.ForeignCallbackRefs(), 0);
}

TEST_F(AudioSessionMonitorTest, WinesOwnCoreAudioStartsAndStops) {
  monitor_ = std::make_unique<AudioSessionMonitor>(&log_);
  monitor_->InitAudioSessionManager();
  monitor_->StartLedControl();
  size_t reported = SIZE_MAX;
  const std::string prefix = "Numbers of capture endpoints: ";
  for (const std::string& m : log_.messages())
    if (m.rfind(prefix, 0) == 0) reported = std::stoul(m.substr(prefix.size()));
  ASSERT_NE(reported, SIZE_MAX) << "no endpoint count logged";
  EXPECT_EQ(monitor_->EndpointGuids().size(), reported);
  monitor_->ProcessPendingDevices();
  monitor_->Shutdown();
  EXPECT_TRUE(monitor_->EndpointGuids().empty());
}

}  // namespace
}  // namespace meetlamp
