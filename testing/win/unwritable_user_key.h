// Makes a plug-in's per-user settings key impossible to create: the parent
// key (HKCU\SOFTWARE\Orvale\TarnService by default) is replaced by a volatile
// key, under which a non-volatile subkey is refused. Whatever the parent
// held is saved aside and put back afterwards.
//
// Tests that use it hold the CTest resource lock on that key
// (registry-orvale-user for the default).
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "base/win/unique_hkey.h"
#include "testing/win/registry.h"

namespace zu::testing {

class UnwritableUserKey {
 public:
  explicit UnwritableUserKey(std::wstring parentKey = L"SOFTWARE\\Orvale\\TarnService")
      : parentKey_(std::move(parentKey)), backupKey_(parentKey_ + L"-unwritable-test-backup") {
    saved_ = ::RegOpenKeyExW(HKEY_CURRENT_USER, parentKey_.c_str(), 0, KEY_READ, parent_.put()) == ERROR_SUCCESS;
    if (saved_) {
      DeleteTree(HKEY_CURRENT_USER, backupKey_);
      auto backup = CreateKey(HKEY_CURRENT_USER, backupKey_);
      ::RegCopyTreeW(parent_.get(), nullptr, backup.get());
      parent_.reset();
      DeleteTree(HKEY_CURRENT_USER, parentKey_);
    }
    ::RegCreateKeyExW(HKEY_CURRENT_USER, parentKey_.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, parent_.put(), nullptr);
  }
  ~UnwritableUserKey() {
    parent_.reset();
    DeleteTree(HKEY_CURRENT_USER, parentKey_);
    if (saved_) {
      auto restored = CreateKey(HKEY_CURRENT_USER, parentKey_);
      win::UniqueHkey backup;
      ::RegOpenKeyExW(HKEY_CURRENT_USER, backupKey_.c_str(), 0, KEY_READ, backup.put());
      ::RegCopyTreeW(backup.get(), nullptr, restored.get());
      backup.reset();
      DeleteTree(HKEY_CURRENT_USER, backupKey_);
    }
  }
  UnwritableUserKey(const UnwritableUserKey&) = delete;
  UnwritableUserKey& operator=(const UnwritableUserKey&) = delete;

  // The volatile parent is in place and really refuses a non-volatile
  // subkey (a test checks this before it relies on it).
  bool refused() const {
    if (!parent_) return false;
    win::UniqueHkey child;
    const LSTATUS status = ::RegCreateKeyExW(parent_.get(), L"probe", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, child.put(), nullptr);
    if (status == ERROR_SUCCESS) ::RegDeleteKeyW(parent_.get(), L"probe");
    return status != ERROR_SUCCESS;
  }

 private:
  std::wstring parentKey_;
  std::wstring backupKey_;
  win::UniqueHkey parent_;
  bool saved_ = false;
};

}  // namespace zu::testing
