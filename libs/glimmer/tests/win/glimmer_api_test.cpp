// The exported API: results before, during and after a pop-up dialog, ends
// from another thread, and the modeless variant.
#include <gtest/gtest.h>

#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

namespace glimmer::testing {

HWND ModalPopup::window() const { return FindPopupWindow(threadId_); }

namespace {

TEST(GlimmerApi, RequestsWithoutADialogFailAndDrawNothing) {
  PopupProbe probe;
  EXPECT_EQ(Display(4, 0), OSD_FAILED);
  EXPECT_EQ(OSDDisplay(nullptr), OSD_FAILED);
  EXPECT_EQ(OSDEnd(), 0);
  EXPECT_TRUE(probe.Frames().empty());
  EXPECT_TRUE(probe.Images().empty());
}

TEST(GlimmerApi, ResultsForKindsAndValuesWhileADialogRuns) {
  ModalPopup popup;
  ASSERT_FALSE(popup.ended());
  EXPECT_EQ(Display(7, 0), OSD_UNKNOWN_KIND);
  EXPECT_EQ(Display(-1, 0), OSD_UNKNOWN_KIND);
  EXPECT_EQ(Display(4, 5), OSD_UNKNOWN_VALUE);
  EXPECT_EQ(Display(1, 4), OSD_UNKNOWN_VALUE);
  for (auto [kind, value] : {std::pair{0, 0}, {0, 2}, {1, 0}, {1, 3}, {2, 1}, {3, 2}, {4, 0}, {4, 1}, {5, 2}, {6, 1}}) {
    EXPECT_EQ(Display(kind, value), OSD_SUCCESS) << kind << "/" << value;
  }
  // The request record's reserved bytes are copied, never read.
  OSDData_t r = Request(4, 1);
  std::memset(r.reserved, 0xAB, sizeof r.reserved);
  EXPECT_EQ(OSDDisplay(&r), OSD_SUCCESS);
}

TEST(GlimmerApi, EndFromAnotherThreadEndsTheModalLoopWithOne) {
  ModalPopup popup;
  ASSERT_NE(popup.window(), nullptr);
  EXPECT_EQ(OSDEnd(), 1);
  ASSERT_TRUE(popup.WaitEnded(5000));
  EXPECT_EQ(popup.result(), 1);
  EXPECT_EQ(OSDEnd(), 0);
  EXPECT_EQ(Display(4, 0), OSD_FAILED);
  EXPECT_EQ(popup.window(), nullptr);
}

TEST(GlimmerApi, ANewStartEndsThePreviousDialog) {
  ModalPopup first;
  ModalPopup second;
  EXPECT_TRUE(first.WaitEnded(5000));
  EXPECT_EQ(first.result(), 1);
  EXPECT_FALSE(second.ended());
  EXPECT_EQ(Display(4, 0), OSD_SUCCESS);
  EXPECT_EQ(OSDEnd(), 1);
  EXPECT_TRUE(second.WaitEnded(5000));
}

TEST(GlimmerApi, EndRightAfterStartNeverLeavesALoopRunning) {
  // The end may arrive before the dialog's window exists.
  for (int round = 0; round < 20; ++round) {
    std::atomic<bool> done{false};
    std::atomic<int64_t> result{0};
    std::thread ui([&] {
      result = OSDStart(0);
      done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline) {
      OSDEnd();
      std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 5)));
    }
    ASSERT_TRUE(done) << "round " << round;
    ui.join();
    EXPECT_EQ(result, 1);
  }
  EXPECT_EQ(OSDEnd(), 0);
}

TEST(GlimmerApi, ExportedClassCopiesShareTheDialog) {
  CExport own;
  EXPECT_EQ(own.DisplayOSD(Request(4, 0)), OSD_FAILED);
  EXPECT_EQ(own.EndOSD(), 0);

  std::atomic<int64_t> result{0};
  std::thread ui([&] { result = own.StartOSD(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (own.DisplayOSD(Request(7, 0)) != OSD_UNKNOWN_KIND && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  CExport copy(own);
  EXPECT_EQ(copy.DisplayOSD(Request(3, 1)), OSD_SUCCESS);
  // The library's own instance is separate.
  EXPECT_EQ(Display(3, 1), OSD_FAILED);
  EXPECT_EQ(copy.EndOSD(), 1);
  ui.join();
  EXPECT_EQ(result, 1);
  // The original still points at the ended dialog, whose run mode is 0.
  EXPECT_EQ(own.DisplayOSD(Request(3, 1)), OSD_FAILED);
  EXPECT_EQ(own.EndOSD(), 0);
}

TEST(GlimmerApi, ModelessDialogRunsOnTheCallersLoop) {
  PopupProbe probe;
  std::atomic<int64_t> started{0};
  std::atomic<DWORD> threadId{0};
  std::atomic<bool> quit{false};
  std::thread ui([&] {
    threadId = ::GetCurrentThreadId();
    started = OSDStart(0x101);  // only the low byte counts: modeless
    MSG msg;
    while (!quit) {
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (started == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(started, 1);
  EXPECT_EQ(Display(2, 2), OSD_SUCCESS);
  EXPECT_EQ(probe.Frames().size(), 1u);
  HWND window = FindPopupWindow(threadId);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  // Ended from this thread: the window goes on its own thread.
  EXPECT_EQ(OSDEnd(), 1);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(Display(2, 2), OSD_FAILED);
  EXPECT_EQ(OSDEnd(), 0);
  quit = true;
  ui.join();
}

}  // namespace
}  // namespace glimmer::testing
