// A plug-in built with the contract, bound by its plain export name and
// driven through the interface from another module.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/win/module_path.h"
#include "base/win/unique_module.h"
#include "plugins/common/platform_service.h"
#include "testing/recording_logger.h"

namespace zu::testing {
namespace {

TEST(PluginBinding, FactoryIsBoundByPlainNameAndDrivenAcrossModules) {
  const std::wstring path = win::ModuleDirectory() + L"probe_plugin.dll";
  win::UniqueModule module(::LoadLibraryW(path.c_str()));
  ASSERT_TRUE(module) << "LoadLibrary failed: " << ::GetLastError();

  auto factory = module.GetProc<GetServiceControlBlockFn>(kServiceFactoryExport);
  ASSERT_NE(factory, nullptr) << "export must not be decorated";
  IPlatformService* service = factory();
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(factory(), service);  // the same object on every call

  // Owned strings come back across the boundary by value.
  EXPECT_EQ(service->GetName(), "ProbeService");
  EXPECT_EQ(service->GetType(), 1);
  EXPECT_EQ(service->GetState(), UNKNOWN);

  RecordingLogger log;
  EXPECT_TRUE(service->Init(&log));
  EXPECT_EQ(service->GetState(), INIT);
  EXPECT_TRUE(service->Run());
  EXPECT_EQ(service->GetState(), IN_SERVICE);
  EXPECT_TRUE(service->Heartbeat());
  service->onEvent(0x62);
  service->onEvent(0xFFFFF);
  EXPECT_EQ(module.GetProc<size_t (*)()>("ProbeEventCount")(), 2u);
  EXPECT_TRUE(service->Join(0));
  service->Release();
  EXPECT_EQ(service->GetState(), UNKNOWN);

  EXPECT_TRUE(log.HasMessage("state change UNKNOWN -> INIT"));
  EXPECT_TRUE(log.HasMessage("state change OUT_OF_SERVICE -> UNKNOWN"));
  for (const auto& c : log.calls()) EXPECT_EQ(c.component, "ProbeService");

  // Detach destroys the object, which still logs through the host logger.
  module.reset();
  EXPECT_EQ(log.messages().back(), "ProbeService destroyed");
}

TEST(PluginBinding, AMissingExportIsNull) {
  win::UniqueModule module(::LoadLibraryW(L"kernel32.dll"));
  ASSERT_TRUE(module);
  EXPECT_EQ(module.GetProc<GetServiceControlBlockFn>(kServiceFactoryExport), nullptr);
}

}  // namespace
}  // namespace zu::testing
