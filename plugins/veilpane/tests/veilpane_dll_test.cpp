// Veilpane.dll bound in process as the agent binds it (LoadLibraryW, then
// GetServiceControlBlock) and driven through the service interface in the
// orders the agent can produce, on the simulated laptop. The pop-up library
// is the recording stand-in, loaded first so that the plug-in's
// LoadLibraryW("glimmer.dll") finds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "libs/glimmer/osd_api.h"
#include "plugins/common/platform_service.h"
#include "testing/recording_logger.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"
#include "testing/win/unwritable_user_key.h"
#include "tools/simlaptop/bound_plugin.h"
#include "tools/simlaptop/osd_record.h"
#include "tools/simlaptop/sim_acpi.h"

namespace veilpane {
namespace {

namespace fs = std::filesystem;
namespace simacpi = zu::simacpi;
namespace simosd = zu::simosd;
using zu::testing::RecordingLogger;

constexpr uint32_t kPanel = 0x0005001B;
constexpr uint32_t kFn2 = 0x62;
constexpr uint32_t kDisplayChange = 0x20008;
constexpr const wchar_t* kUserKey = L"SOFTWARE\\Orvale\\TarnService\\Veilpane";

using Devs = std::vector<std::pair<uint32_t, uint32_t>>;

DWORD StoredMode() {
  DWORD mode = 0xFFFFFFFF;
  zu::testing::GetDword(HKEY_CURRENT_USER, kUserKey, L"mode", &mode);
  return mode;
}

bool WaitForStarts(const fs::path& record, size_t count) {
  for (int i = 0; i < 250; ++i) {
    if (simosd::CountOf(simosd::ReadRecord(record), "start") >= count) return true;
    ::Sleep(20);
  }
  return false;
}

class VeilpaneDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { simosd::LoadRecorderInProcess(); }

  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    ASSERT_TRUE(::GetModuleHandleW(L"glimmer.dll"));
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kUserKey);
    ASSERT_TRUE(simacpi::SetStatus(kPanel, 0x10000));
  }
  void TearDown() override {
    // A case that stopped early still ends the pop-up thread, which would
    // otherwise keep the library (and its service) loaded for the next.
    if (plugin_.service()) plugin_.service()->Release();
    plugin_.Unload();
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kUserKey);
  }

  zu::IPlatformService* Load() { return plugin_.Load(); }
  bool Unload() { return plugin_.Unload(); }

  fs::path record() const { return popups_.file(); }
  std::vector<simosd::Entry> Record() const { return popups_.Read(); }

  simacpi::Scope device_;
  zu::testing::TempDir dir_;
  simosd::RecordScope popups_{dir_.path() / L"osd.txt"};
  zu::simagent::BoundPlugin plugin_{L"Veilpane.dll"};
  RecordingLogger log_;
};

TEST_F(VeilpaneDll, BeforeInitHotKeysAreIgnoredAndDetachNeedsNoRelease) {
  zu::IPlatformService* service = Load();
  ASSERT_NE(service, nullptr);
  auto factory = plugin_.module().GetProc<zu::GetServiceControlBlockFn>(zu::kServiceFactoryExport);
  EXPECT_EQ(factory(), service);
  EXPECT_EQ(service->GetName(), "Veilpane");
  EXPECT_EQ(service->GetType(), 1);
  EXPECT_EQ(service->GetState(), zu::UNKNOWN);

  service->onEvent(kFn2);
  service->onEvent(kDisplayChange);
  EXPECT_EQ(simacpi::DevsCount(kPanel), 0u);
  EXPECT_EQ(StoredMode(), 0xFFFFFFFFu);
  EXPECT_TRUE(Record().empty());  // no pop-up thread before Init
  EXPECT_TRUE(Unload());
}

TEST_F(VeilpaneDll, HostOrderFromInitToReleaseThenDetach) {
  zu::IPlatformService* service = Load();
  ASSERT_NE(service, nullptr);
  ASSERT_TRUE(service->Init(&log_));
  EXPECT_EQ(service->GetState(), zu::INIT);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}}));
  ASSERT_TRUE(WaitForStarts(record(), 1));

  EXPECT_TRUE(service->Run());
  EXPECT_TRUE(service->Run());
  EXPECT_TRUE(service->Heartbeat());
  service->onEvent(kFn2);
  EXPECT_EQ(StoredMode(), 0u);
  EXPECT_TRUE(service->Join(0));
  EXPECT_EQ(service->GetState(), zu::OUT_OF_SERVICE);
  EXPECT_TRUE(service->Reset());
  EXPECT_EQ(service->GetState(), zu::INIT);
  service->Release();
  EXPECT_EQ(service->GetState(), zu::UNKNOWN);
  service->Release();

  // Until detach the hot key still switches the panel, but the pop-up has
  // ended, and a display change does not bring it back.
  service->onEvent(kDisplayChange);
  service->onEvent(kFn2);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}, {kPanel, 1}, {kPanel, 0}}));
  const std::vector<simosd::Entry> popups = {{"start", "modal"},
                                             {"display", "", 4, 0, OSD_SUCCESS},
                                             {"end", ""},
                                             {"display", "", 4, 1, OSD_FAILED}};
  EXPECT_EQ(Record(), popups);

  const std::vector<std::string> lines = {
      "Veilpane::Init",    "state change UNKNOWN -> INIT",
      "Veilpane::Run",     "state change INIT -> IN_SERVICE",
      "Veilpane::Run",     "Veilpane::onEvent",
      "Veilpane::Join",    "state change IN_SERVICE -> OUT_OF_SERVICE",
      "Veilpane::Reset",   "state change OUT_OF_SERVICE -> INIT",
      "Veilpane::Release", "state change INIT -> UNKNOWN",
      "Veilpane::Release", "Veilpane::onEvent"};
  EXPECT_EQ(log_.messages(), lines);
  for (const auto& call : log_.calls()) EXPECT_EQ(call.component, "Veilpane");
  EXPECT_TRUE(Unload());
}

TEST_F(VeilpaneDll, DisplayChangeRestartsThePopupThread) {
  zu::IPlatformService* service = Load();
  ASSERT_NE(service, nullptr);
  ASSERT_TRUE(service->Init(&log_));
  ASSERT_TRUE(WaitForStarts(record(), 1));
  service->onEvent(kDisplayChange);
  service->onEvent(kDisplayChange);
  ASSERT_TRUE(WaitForStarts(record(), 3));
  service->Release();
  const std::vector<simosd::Entry> popups = {
      {"start", "modal"}, {"end", ""}, {"start", "modal"}, {"end", ""}, {"start", "modal"}, {"end", ""}};
  EXPECT_EQ(Record(), popups);
  EXPECT_TRUE(Unload());
}

TEST_F(VeilpaneDll, AModeThatCannotBeStoredIsStillAppliedAndShown) {
  zu::IPlatformService* service = Load();
  ASSERT_NE(service, nullptr);
  ASSERT_TRUE(service->Init(&log_));
  ASSERT_TRUE(WaitForStarts(record(), 1));
  // The service's open key now refers to a deleted one.
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey), ERROR_SUCCESS);
  service->onEvent(kFn2);
  std::vector<std::string> errors;
  for (const auto& call : log_.calls())
    if (call.level == zu::kLogError) errors.push_back(call.message);
  EXPECT_EQ(errors, std::vector<std::string>{"unable to set mode"});
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}, {kPanel, 1}}));
  EXPECT_EQ(simosd::ShownRequests(Record()), (std::vector<std::pair<int32_t, int32_t>>{{4, 0}}));
  service->Release();
  EXPECT_TRUE(Unload());
}

TEST_F(VeilpaneDll, WithoutItsKeysInitFailsCleanlyAndNothingIsApplied) {
  zu::testing::UnwritableUserKey keys;
  ASSERT_TRUE(keys.refused());
  zu::IPlatformService* service = Load();
  ASSERT_NE(service, nullptr);
  EXPECT_FALSE(service->Init(&log_));
  EXPECT_EQ(service->GetState(), zu::OUT_OF_SERVICE);
  EXPECT_TRUE(log_.HasMessage("Veilpane::Init: CreateKey error"));
  service->onEvent(kFn2);
  EXPECT_EQ(simacpi::DevsCount(kPanel), 0u);
  EXPECT_TRUE(Record().empty());
  EXPECT_TRUE(service->Reset());
  service->Release();
  EXPECT_TRUE(Unload());
}

}  // namespace
}  // namespace veilpane
