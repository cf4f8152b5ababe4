// A folder of test plug-ins for one case: copies of the signed recording
// plug-in and its bad variants under chosen names, optionally with the agent
// and its runtime beside them, and the trace the plug-ins write there.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/win/module_path.h"
#include "base/win/utf.h"
#include "testing/win/file_text.h"
#include "testing/win/temp_dir.h"

namespace zu::testing {

enum class PluginVariant { kGood, kUnsigned, kOtherPublisher, kTampered, kNoExport };

inline std::filesystem::path BinDirectory() { return std::filesystem::path(win::ModuleDirectory()); }

inline std::filesystem::path VariantFile(PluginVariant variant) {
  const auto dir = BinDirectory() / L"agent-test-plugins";
  switch (variant) {
    case PluginVariant::kGood: return dir / L"agent_fake_plugin.dll";
    case PluginVariant::kUnsigned: return dir / L"agent_fake_plugin_unsigned.dll";
    case PluginVariant::kOtherPublisher: return dir / L"agent_fake_plugin_other.dll";
    case PluginVariant::kTampered: return dir / L"agent_fake_plugin_tampered.dll";
    case PluginVariant::kNoExport: return dir / L"agent_fake_plugin_noexport.dll";
  }
  return {};
}

class PluginFolder {
 public:
  // The folder with its trailing backslash, as the loader takes it.
  std::wstring directory() const { return dir_.wstr() + L"\\"; }
  const std::filesystem::path& path() const { return dir_.path(); }

  void Add(PluginVariant variant, const std::wstring& asName) {
    std::filesystem::copy_file(VariantFile(variant), dir_.path() / asName,
                               std::filesystem::copy_options::overwrite_existing);
  }
  // Words for the plug-in whose file stem is `stem` (see fake_plugin.cpp).
  void SetBehaviour(const std::wstring& stem, const std::string& words) {
    std::ofstream(dir_.path() / (stem + L".behaviour"), std::ios::binary) << words;
  }
  // The agent program and the C++ runtime, so the folder is an installation.
  void AddAgent() {
    for (const wchar_t* file : {L"zueventapp.exe", L"libstdc++-6.dll", L"libgcc_s_seh-1.dll", L"libwinpthread-1.dll"})
      std::filesystem::copy_file(BinDirectory() / file, dir_.path() / file,
                                 std::filesystem::copy_options::overwrite_existing);
  }

  // Every line the plug-ins of this folder wrote, in order.
  std::vector<std::string> Trace() const { return ReadLines(dir_.path() / L"trace.txt"); }
  // The lines of one plug-in, without its name.
  std::vector<std::string> TraceOf(const std::string& stem) const {
    std::vector<std::string> out;
    for (const auto& line : Trace())
      if (line.rfind(stem + " ", 0) == 0) out.push_back(line.substr(stem.size() + 1));
    return out;
  }

 private:
  TempDir dir_;
};

}  // namespace zu::testing
