// OsdHost with the real glimmer.dll beside the test: start, show, end,
// restarts in any order, two hosts in one process, a plug-in library
// released with its pop-up still running, and the library's reference count.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "base/win/module_path.h"
#include "plugins/common/osd_host.h"

namespace zu::testing {
namespace {

// Waits until the host's pop-up answers requests (an unknown kind draws
// nothing and answers 3 once a dialog runs).
bool WaitReady(OsdHost& host) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (host.Show(7, 0) == OSD_UNKNOWN_KIND) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

int ProcessThreads() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{sizeof entry};
  int count = 0;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
  }
  ::CloseHandle(snapshot);
  return count;
}

int PopupWindows() {
  int count = 0;
  ::EnumWindows(
      [](HWND hwnd, LPARAM out) -> BOOL {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        wchar_t cls[16] = {};
        ::GetClassNameW(hwnd, cls, 16);
        if (pid == ::GetCurrentProcessId() && std::wstring(cls) == L"#32770") ++*reinterpret_cast<int*>(out);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

// Drops every reference on glimmer.dll; how many there were.
int UnloadGlimmer() {
  int references = 0;
  while (HMODULE m = ::GetModuleHandleW(L"glimmer.dll")) {
    ::FreeLibrary(m);
    if (++references > 100) break;
  }
  return references;
}

TEST(OsdHost, StartShowEndAndTheLinesItWrites) {
  OsdHost host;
  EXPECT_EQ(host.Show(4, 0), OSD_FAILED);  // not started
  EXPECT_TRUE(host.End());                // nothing to end

  ::testing::internal::CaptureStdout();
  host.Start();
  ASSERT_TRUE(WaitReady(host));
  EXPECT_TRUE(host.IsRunning());
  EXPECT_EQ(host.Show(4, 0), OSD_SUCCESS);
  EXPECT_EQ(host.Show(4, 5), OSD_UNKNOWN_VALUE);
  OSDData_t request{};
  request.kind = 3;
  request.value = 1;
  EXPECT_EQ(host.Show(request), OSD_SUCCESS);
  EXPECT_TRUE(host.End());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), " StartOSD.\n EndOSD.\n");
  EXPECT_FALSE(host.IsRunning());
  EXPECT_EQ(host.Show(4, 0), OSD_FAILED);  // the library stays loaded, without a pop-up
  EXPECT_TRUE(host.End());
}

TEST(OsdHost, RestartsInAnyOrderLeaveExactlyOneUiThread) {
  ASSERT_EQ(PopupWindows(), 0);
  OsdHost host;
  host.Start();
  ASSERT_TRUE(WaitReady(host));
  const int threads = ProcessThreads();
  EXPECT_EQ(PopupWindows(), 1);

  host.Restart();
  host.Restart();
  ASSERT_TRUE(WaitReady(host));
  EXPECT_EQ(PopupWindows(), 1);
  EXPECT_EQ(ProcessThreads(), threads);
  EXPECT_EQ(host.Show(2, 1), OSD_SUCCESS);

  host.Start();  // on a running host: ends it first
  ASSERT_TRUE(WaitReady(host));
  EXPECT_EQ(PopupWindows(), 1);
  EXPECT_EQ(ProcessThreads(), threads);

  EXPECT_TRUE(host.End());
  EXPECT_TRUE(host.End());
  host.Restart();  // from ended: a start
  ASSERT_TRUE(WaitReady(host));
  EXPECT_TRUE(host.End());
  EXPECT_EQ(PopupWindows(), 0);
}

TEST(OsdHost, ImmediateEndsAndRestartsNeverHang) {
  OsdHost host;
  for (int round = 0; round < 15; ++round) {
    host.Start();
    if (round % 3 == 0) host.Restart();
    ASSERT_TRUE(host.End()) << round;  // possibly before the pop-up's window exists
    EXPECT_FALSE(host.IsRunning());
  }
  EXPECT_EQ(PopupWindows(), 0);
}

TEST(OsdHost, ShowsFromOtherThreadsDuringRestarts) {
  OsdHost host;
  host.Start();
  ASSERT_TRUE(WaitReady(host));
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0}, shown{0};
  std::thread shower([&] {
    while (!stop) {
      const OSD_RESULT r = host.Show(4, shown % 2);
      if (r == OSD_SUCCESS) ++shown;
      else if (r != OSD_FAILED) ++unexpected;
    }
  });
  for (int i = 0; i < 6; ++i) {
    host.Restart();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  // On a loaded machine the last pop-up may take a while to come up; the
  // shower keeps going until it has been shown through at least once.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (shown == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  stop = true;
  shower.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_GT(shown, 0);
  EXPECT_TRUE(host.End());
}

TEST(OsdHost, TwoHostsShareThePopupAndEndingTheSupersededOneKeepsIt) {
  OsdHost veilpane, meetlamp;
  veilpane.Start();
  ASSERT_TRUE(WaitReady(veilpane));
  meetlamp.Start();  // takes the library's one pop-up over
  ASSERT_TRUE(WaitReady(meetlamp));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (veilpane.IsRunning() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(veilpane.IsRunning());
  // The first host's pop-up may have answered until the second one's took over.
  ASSERT_TRUE(WaitReady(meetlamp));
  EXPECT_EQ(veilpane.Show(4, 0), OSD_SUCCESS);  // through the shared pop-up
  EXPECT_EQ(PopupWindows(), 1);

  EXPECT_TRUE(veilpane.End());
  EXPECT_TRUE(meetlamp.IsRunning());
  EXPECT_EQ(meetlamp.Show(3, 0), OSD_SUCCESS);
  EXPECT_TRUE(meetlamp.End());
  EXPECT_EQ(meetlamp.Show(3, 0), OSD_FAILED);
}

TEST(OsdHost, APluginReleasedWithItsPopupRunningStaysLoadedUntilThePopupEnds) {
  const std::wstring path = win::ModuleDirectory() + L"osd_probe_plugin.dll";
  HMODULE plugin = ::LoadLibraryW(path.c_str());
  ASSERT_NE(plugin, nullptr);
  auto start = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(::GetProcAddress(plugin, "ProbeStartOsd")));
  auto show = reinterpret_cast<int32_t (*)(int32_t, int32_t)>(
      reinterpret_cast<void*>(::GetProcAddress(plugin, "ProbeShowOsd")));
  ASSERT_TRUE(start && show);
  start();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (show(7, 0) != OSD_UNKNOWN_KIND && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(show(4, 1), OSD_SUCCESS);

  // The host forgot its End: the UI thread keeps the code it runs loaded.
  ::FreeLibrary(plugin);
  EXPECT_NE(::GetModuleHandleW(L"osd_probe_plugin.dll"), nullptr);

  // Once the pop-up ends the thread leaves and the library goes.
  auto osdEnd = reinterpret_cast<glimmer::OSDEndFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"glimmer.dll"), "OSDEnd")));
  ASSERT_NE(osdEnd, nullptr);
  EXPECT_EQ(osdEnd(), 1);
  // Promptly: the detach runs on the leaving thread and must not wait for itself.
  const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (::GetModuleHandleW(L"osd_probe_plugin.dll") && std::chrono::steady_clock::now() < gone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(::GetModuleHandleW(L"osd_probe_plugin.dll"), nullptr);
}

// Last: it unloads the library.
TEST(OsdHost, EachStartAddsOneReferenceToTheLibrary) {
  UnloadGlimmer();  // what earlier cases left (every pop-up has ended)
  {
    OsdHost host;
    host.Start();
    host.Restart();
    host.Restart();
    ASSERT_TRUE(WaitReady(host));
    EXPECT_TRUE(host.End());
  }
  EXPECT_EQ(UnloadGlimmer(), 3);
}

TEST(OsdHostAlone, WithoutTheLibraryNothingIsShownAndNothingHangs) {
  if (::GetFileAttributesW((win::ModuleDirectory() + L"glimmer.dll").c_str()) != INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "runs from a folder without glimmer.dll";
  }
  OsdHost host;
  ::testing::internal::CaptureStdout();
  host.Start();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (host.IsRunning() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_FALSE(host.IsRunning());  // the thread ended at once
  EXPECT_EQ(host.Show(4, 0), OSD_FAILED);
  EXPECT_TRUE(host.End());
  host.Restart();
  EXPECT_TRUE(host.End());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), " StartOSD.\n StartOSD.\n");
}

}  // namespace
}  // namespace zu::testing
