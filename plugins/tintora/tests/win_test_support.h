// Test equipment for the Win32 side: registry values restored after a test,
// the driver stand-ins' settings and records, and the stand-ins' folders.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/win/module_path.h"
#include "base/win/unique_hkey.h"
#include "base/win/utf.h"
#include "testing/win/file_text.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"

namespace tintora::testing {

// Sets (or removes) one value under HKEY_LOCAL_MACHINE for the test's
// duration and puts back what was there: the old value, or no value, and
// no key when the key did not exist.
class ScopedMachineValue {
 public:
  ScopedMachineValue(std::wstring keyPath, std::wstring name) : keyPath_(std::move(keyPath)), name_(std::move(name)) {
    keyExisted_ = KeyExists(keyPath_);
    if (!keyExisted_) {
      // The outermost key that setting the value will create.
      createdKey_ = keyPath_;
      for (size_t cut = keyPath_.rfind(L'\\'); cut != std::wstring::npos; cut = keyPath_.rfind(L'\\', cut - 1)) {
        const std::wstring parent = keyPath_.substr(0, cut);
        if (KeyExists(parent)) break;
        createdKey_ = parent;
        if (cut == 0) break;
      }
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    if (keyExisted_ && zu::testing::GetValue(HKEY_LOCAL_MACHINE, keyPath_, name_, &type, &data))
      old_ = Saved{type, std::move(data)};
  }
  ~ScopedMachineValue() {
    if (!keyExisted_) {
      ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, createdKey_.c_str());
      ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, createdKey_.c_str());
    } else if (old_) {
      zu::testing::SetValue(HKEY_LOCAL_MACHINE, keyPath_, name_, old_->type, old_->data.data(),
                            static_cast<DWORD>(old_->data.size()));
    } else {
      zu::testing::DeleteValue(HKEY_LOCAL_MACHINE, keyPath_, name_);
    }
  }
  ScopedMachineValue(const ScopedMachineValue&) = delete;
  ScopedMachineValue& operator=(const ScopedMachineValue&) = delete;

  bool SetText(const std::wstring& text) {
    return zu::testing::SetValue(HKEY_LOCAL_MACHINE, keyPath_, name_, REG_SZ, text.c_str(),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  bool SetRaw(DWORD type, const void* data, size_t size) {
    return zu::testing::SetValue(HKEY_LOCAL_MACHINE, keyPath_, name_, type, data, static_cast<DWORD>(size)) ==
           ERROR_SUCCESS;
  }
  void Remove() { zu::testing::DeleteValue(HKEY_LOCAL_MACHINE, keyPath_, name_); }

 private:
  static bool KeyExists(const std::wstring& path) {
    zu::win::UniqueHkey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }
  struct Saved {
    DWORD type;
    std::vector<BYTE> data;
  };
  std::wstring keyPath_;
  std::wstring createdKey_;
  std::wstring name_;
  bool keyExisted_ = false;
  std::optional<Saved> old_;
};

class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
    ::SetEnvironmentVariableA(name_.c_str(), value.c_str());
  }
  ~ScopedEnvironment() { ::SetEnvironmentVariableA(name_.c_str(), nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
};

// The stand-ins' settings (environment of this process) and their records
// (files in a fresh folder), for one test.
class Standins {
 public:
  Standins() : dir_("ZU_STANDIN_DIR", folder_.str()) {}

  void Set(const std::string& name, const std::string& value) {
    settings_.push_back(std::make_unique<ScopedEnvironment>("ZU_STANDIN_" + name, value));
  }
  std::vector<std::string> Calls() const { return zu::testing::ReadLines(folder_.path() / "calls.txt"); }
  std::string Record(const char* file) const { return zu::testing::ReadFile(folder_.path() / file); }
  bool HasRecord(const char* file) const { return std::filesystem::exists(folder_.path() / file); }

 private:
  zu::testing::TempDir folder_;
  ScopedEnvironment dir_;
  std::vector<std::unique_ptr<ScopedEnvironment>> settings_;
};

// Folder of a stand-in build beside the test program.
inline std::wstring StandinFolder(const wchar_t* name) {
  return zu::win::ModuleDirectory() + L"tintora_standins\\" + name;
}

// The Intel control object's class registered to the stand-in server.
class IntelClassRegistration {
 public:
  static constexpr const wchar_t* kClassKey = L"Software\\Classes\\CLSID\\{7160A13D-73DA-4CEA-95B9-37356478588A}";
  IntelClassRegistration() {
    const std::wstring server = StandinFolder(L"intel") + L"\\intel_control_standin.dll";
    const std::wstring key = std::wstring(kClassKey) + L"\\InprocServer32";
    const std::wstring model = L"Both";
    zu::testing::SetValue(HKEY_LOCAL_MACHINE, key, L"", REG_SZ, server.c_str(),
                          static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
    zu::testing::SetValue(HKEY_LOCAL_MACHINE, key, L"ThreadingModel", REG_SZ, model.c_str(),
                          static_cast<DWORD>((model.size() + 1) * sizeof(wchar_t)));
  }
  ~IntelClassRegistration() {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kClassKey);
  }
  IntelClassRegistration(const IntelClassRegistration&) = delete;
  IntelClassRegistration& operator=(const IntelClassRegistration&) = delete;
};

// Lets the loader find the libraries of one folder for the test's duration.
class ScopedDllDirectory {
 public:
  explicit ScopedDllDirectory(const std::wstring& folder) { ::SetDllDirectoryW(folder.c_str()); }
  ~ScopedDllDirectory() { ::SetDllDirectoryW(nullptr); }
  ScopedDllDirectory(const ScopedDllDirectory&) = delete;
  ScopedDllDirectory& operator=(const ScopedDllDirectory&) = delete;
};

}  // namespace tintora::testing
