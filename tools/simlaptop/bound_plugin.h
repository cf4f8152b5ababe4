// A plug-in library bound in the test process the way the agent binds it
// (LoadLibraryW from the build's bin folder, then GetServiceControlBlock),
// with the pop-up library's recording stand-in as the process's glimmer.dll.
//
//   static void SetUpTestSuite() { zu::simagent::LoadPopupRecorder(); }
//   zu::testing::TempDir dir_;
//   zu::simosd::RecordScope popups_{dir_.path() / L"osd.txt"};
//   zu::simagent::BoundPlugin plugin_{L"Veilpane.dll"};
//   zu::IPlatformService* service = plugin_.Load();  ...  plugin_.Unload();
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/win/unique_module.h"
#include "plugins/common/platform_service.h"
#include "tools/simlaptop/osd_record.h"

namespace zu::simosd {

// Loads the recording stand-in (osd_recorder/glimmer.dll of the bin folder)
// for the rest of the process: plug-ins never unload their pop-up library,
// and their LoadLibraryW("glimmer.dll") finds the one already loaded. True
// when a glimmer.dll is loaded.
bool LoadRecorderInProcess();

// Points this process's recording stand-in at `file` while it lives.
class RecordScope {
 public:
  explicit RecordScope(std::filesystem::path file);
  ~RecordScope();
  RecordScope(const RecordScope&) = delete;
  RecordScope& operator=(const RecordScope&) = delete;

  const std::filesystem::path& file() const { return file_; }
  std::vector<Entry> Read() const { return ReadRecord(file_); }

 private:
  std::filesystem::path file_;
};

}  // namespace zu::simosd

namespace zu::simagent {

class BoundPlugin {
 public:
  // fileName: the signed plug-in in the build's bin folder.
  explicit BoundPlugin(std::wstring fileName) : fileName_(std::move(fileName)) {}
  BoundPlugin(const BoundPlugin&) = delete;
  BoundPlugin& operator=(const BoundPlugin&) = delete;

  // Loads the library and asks it for its service: null when the library
  // offers none (or could not be loaded; module() then tells).
  IPlatformService* Load();
  // Frees the library as the agent does; true when it has left the process.
  bool Unload();

  const win::UniqueModule& module() const { return module_; }
  IPlatformService* service() const { return service_; }

 private:
  std::wstring fileName_;
  win::UniqueModule module_;
  IPlatformService* service_ = nullptr;  // owned by the library
};

}  // namespace zu::simagent
