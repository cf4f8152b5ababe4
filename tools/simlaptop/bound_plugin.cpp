#include "tools/simlaptop/bound_plugin.h"

#include "base/win/module_path.h"

namespace zu::simosd {

bool LoadRecorderInProcess() {
  const std::filesystem::path recorder =
      std::filesystem::path(win::ModuleDirectory()) / kRecorderFolder / L"glimmer.dll";
  ::LoadLibraryW(recorder.c_str());  // never freed
  return ::GetModuleHandleW(L"glimmer.dll") != nullptr;
}

RecordScope::RecordScope(std::filesystem::path file) : file_(std::move(file)) {
  ::SetEnvironmentVariableW(kRecordVariable, file_.c_str());
}

RecordScope::~RecordScope() { ::SetEnvironmentVariableW(kRecordVariable, nullptr); }

}  // namespace zu::simosd

namespace zu::simagent {

IPlatformService* BoundPlugin::Load() {
  module_.reset(::LoadLibraryW((std::filesystem::path(win::ModuleDirectory()) / fileName_).c_str()));
  auto factory = module_.GetProc<GetServiceControlBlockFn>(kServiceFactoryExport);
  service_ = factory ? factory() : nullptr;
  return service_;
}

bool BoundPlugin::Unload() {
  service_ = nullptr;
  module_.reset();
  return ::GetModuleHandleW(fileName_.c_str()) == nullptr;
}

}  // namespace zu::simagent
