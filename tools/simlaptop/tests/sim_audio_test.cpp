// The Core Audio stand-in as a client in this process meets it: a call made
// by another process (simcall) is enumerated and reported here on the
// stand-in's own threads; an unregistration waits for its callback in
// flight; one made inside its own callback is reported instead of hanging.
#include <windows.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/win/com_ptr.h"
#include "tools/simlaptop/sim_audio.h"
#include "tools/simlaptop/simaudio/standin/com_object.h"
#include "tools/simlaptop/simaudio/sim_audio_table.h"

namespace zu::simaudio {
namespace {

using win::ComPtr;

// What the stand-in reported, in order, and the threads it came on.
class Reports {
 public:
  void Add(const std::string& entry) {
    {
      std::lock_guard lock(mutex_);
      entries_.push_back(entry);
      threads_.push_back(::GetCurrentThreadId());
    }
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(15), [&] { return entries_.size() >= count; });
  }
  std::vector<std::string> entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  std::vector<DWORD> threads() {
    std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> entries_;
  std::vector<DWORD> threads_;
};

// A client's callback object, counted as the stand-in counts its own.
template <class Interface>
class Callback : public ComObject<Interface> {
 protected:
  void* Find(REFIID iid) override {
    return IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(Interface)) ? static_cast<Interface*>(this)
                                                                                      : nullptr;
  }
};

class Events final : public Callback<IAudioSessionEvents> {
 public:
  Events(Reports& reports, std::function<void(AudioSessionState)> hook = {}) : reports_(reports), hook_(hook) {}
  HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState state) override {
    reports_.Add(state == AudioSessionStateActive ? "active" : state == AudioSessionStateInactive ? "inactive" : "expired");
    if (hook_) hook_(state);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float, BOOL, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float*, DWORD, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason) override { return S_OK; }

 private:
  Reports& reports_;
  std::function<void(AudioSessionState)> hook_;
};

class Notification final : public Callback<IAudioSessionNotification> {
 public:
  explicit Notification(std::function<void(IAudioSessionControl*)> created) : created_(std::move(created)) {}
  HRESULT STDMETHODCALLTYPE OnSessionCreated(IAudioSessionControl* control) override {
    created_(control);
    return S_OK;
  }

 private:
  std::function<void(IAudioSessionControl*)> created_;
};

class SimAudioStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standin_.ready()) << standin_.error();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                 __uuidof(IMMDeviceEnumerator), enumerator_.put_void()),
              S_OK);
    ComPtr<IMMDevice> microphone;
    ASSERT_EQ(enumerator_->GetDevice(EndpointId(kCapture, kBuiltInNumber).c_str(), microphone.put()), S_OK);
    ASSERT_EQ(microphone->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, manager_.put_void()), S_OK);
    std::string error;
    table_ = Table::Open(&error);
    ASSERT_TRUE(table_) << error;
  }
  void TearDown() override {
    if (Simcall(L"end call").exitCode != 0) Simcall(L"kill call");
    manager_.reset();
    enumerator_.reset();
    ::CoUninitialize();
  }

  // The one session of the call, from the manager's enumerator.
  ComPtr<IAudioSessionControl> TheSession() {
    ComPtr<IAudioSessionEnumerator> sessions;
    int count = 0;
    ComPtr<IAudioSessionControl> control;
    if (manager_->GetSessionEnumerator(sessions.put()) == S_OK && sessions->GetCount(&count) == S_OK && count == 1)
      sessions->GetSession(0, control.put());
    return control;
  }

  StandinScope standin_;
  ComPtr<IMMDeviceEnumerator> enumerator_;
  ComPtr<IAudioSessionManager2> manager_;
  std::unique_ptr<Table> table_;
};

TEST_F(SimAudioStandin, ACallOfAnotherProcessIsReportedHereOnTheStandinsThreads) {
  Reports reports;
  std::vector<ComPtr<IAudioSessionControl>> kept;
  auto* events = new Events(reports);
  auto* notification = new Notification([&](IAudioSessionControl* control) {
    ComPtr<IAudioSessionControl2> control2;
    DWORD pid = 0;
    if (SUCCEEDED(control->QueryInterface(__uuidof(IAudioSessionControl2), control2.put_void())))
      control2->GetProcessId(&pid);
    control->RegisterAudioSessionNotification(events);
    kept.emplace_back(control);
    reports.Add("created " + std::to_string(pid));
  });
  // New sessions are reported to a manager that was asked for its sessions.
  ComPtr<IAudioSessionEnumerator> sessions;
  int count = -1;
  ASSERT_EQ(manager_->GetSessionEnumerator(sessions.put()), S_OK);
  ASSERT_EQ(sessions->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(manager_->RegisterSessionNotification(notification), S_OK);

  const ToolRun start = Simcall(L"start call");
  ASSERT_EQ(start.exitCode, 0u) << start.output;
  std::smatch pid;
  ASSERT_TRUE(std::regex_search(start.output, pid, std::regex("process ([0-9]+)"))) << start.output;
  ASSERT_NE(pid[1].str(), std::to_string(::GetCurrentProcessId()));
  ASSERT_TRUE(reports.WaitFor(2));
  ASSERT_EQ(Simcall(L"end call").exitCode, 0u);
  ASSERT_TRUE(reports.WaitFor(4));

  EXPECT_EQ(reports.entries(), (std::vector<std::string>{"created " + pid[1].str(), "active", "inactive", "expired"}));
  for (DWORD thread : reports.threads()) EXPECT_NE(thread, ::GetCurrentThreadId());
  EXPECT_EQ(kept.at(0)->UnregisterAudioSessionNotification(events), S_OK);
  EXPECT_EQ(manager_->UnregisterSessionNotification(notification), S_OK);
  events->Release();
  notification->Release();
}

TEST_F(SimAudioStandin, AnUnregistrationWaitsForTheCallbackInFlight) {
  ASSERT_EQ(Simcall(L"start call --inactive").exitCode, 0u);
  ComPtr<IAudioSessionControl> control = TheSession();
  ASSERT_TRUE(control);
  Reports reports;
  HANDLE entered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> returned{false};
  auto* events = new Events(reports, [&](AudioSessionState) {
    ::SetEvent(entered);
    ::Sleep(500);
    returned = true;
  });
  ASSERT_EQ(control->RegisterAudioSessionNotification(events), S_OK);

  std::thread caller([] { Simcall(L"active call"); });
  ASSERT_EQ(::WaitForSingleObject(entered, 15000), WAIT_OBJECT_0);
  EXPECT_EQ(control->UnregisterAudioSessionNotification(events), S_OK);
  EXPECT_TRUE(returned);
  caller.join();
  ::CloseHandle(entered);
  events->Release();
}

TEST_F(SimAudioStandin, UnregisteringInsideItsOwnCallbackIsReportedInsteadOfHanging) {
  ASSERT_EQ(Simcall(L"start call --inactive").exitCode, 0u);
  ComPtr<IAudioSessionControl> control = TheSession();
  ASSERT_TRUE(control);
  Reports reports;
  std::atomic<HRESULT> inside{S_OK};
  Events* events = nullptr;
  events = new Events(reports, [&](AudioSessionState) { inside = control->UnregisterAudioSessionNotification(events); });
  ASSERT_EQ(control->RegisterAudioSessionNotification(events), S_OK);
  const uint32_t before = table_->ViolationCount();

  ASSERT_EQ(Simcall(L"active call").exitCode, 0u);
  ASSERT_TRUE(reports.WaitFor(1));
  EXPECT_EQ(inside, HRESULT_FROM_WIN32(ERROR_POSSIBLE_DEADLOCK));
  EXPECT_EQ(table_->ViolationCount(), before + 1);
  const ToolRun check = Simcall(L"check");
  EXPECT_EQ(check.exitCode, 1u);
  EXPECT_NE(check.output.find("UnregisterAudioSessionNotification called from inside a callback of the same registration"),
            std::string::npos)
      << check.output;
  // The registration is over all the same: nothing more is reported.
  ASSERT_EQ(Simcall(L"inactive call").exitCode, 0u);
  EXPECT_EQ(reports.entries(), std::vector<std::string>{"active"});
  events->Release();
}

}  // namespace
}  // namespace zu::simaudio
