// Loading of the plug-in service libraries: each file is checked for a
// valid Authenticode signature by the expected publisher before any of its
// code runs, then loaded by its full path and bound through its factory.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "agent/service_list.h"

namespace zu {

class ILogger;

// The libraries the agent loads, in this order, from its own directory.
inline constexpr const wchar_t* kPluginLoadList[] = {L"meetlamp.dll", L"Fanrule.dll", L"Hushnet.dll",
                                                     L"Veilpane.dll"};

// SHA-1 thumbprint (40 lower-case hex digits) of the publisher certificate
// whose signatures the agent accepts; a build setting.
extern const char* const kPublisherThumbprint;

// The running program's directory with its trailing backslash.
std::wstring GetModuleDirectory();

// WinVerifyTrust with the generic Authenticode policy, no UI, no revocation
// checks. `file`, when given, is the open file that is verified.
bool VerifyEmbeddedSignature(const std::wstring& path, HANDLE file = nullptr);

// The SHA-1 thumbprint of the certificate of the file's first signer, in
// lower-case hex; nothing when the file has no readable embedded signature.
std::optional<std::string> SignerThumbprint(const std::wstring& path);

// True when the file's signer is the expected publisher (exact, case-sensitive).
bool VerifyPublisherThumbprint(const std::wstring& path, std::string_view expected = kPublisherThumbprint);

class PluginLoader {
 public:
  // directory: where the libraries are, with its trailing backslash.
  PluginLoader(std::wstring directory, ILogger& logger, ServiceList& services)
      : directory_(std::move(directory)), logger_(logger), services_(services) {}

  // Verifies, loads and binds one library; appends its service to the list.
  // Every step is logged under "core". False when the library was skipped.
  bool LoadPlugin(const std::wstring& fileName);

  // LoadPlugin for every name of kPluginLoadList, in order.
  void LoadAll();

 private:
  void Fail(const std::string& message);

  std::wstring directory_;
  ILogger& logger_;
  ServiceList& services_;
};

}  // namespace zu
