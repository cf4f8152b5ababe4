// A colour profile opened through the Windows Color System, closed by its
// owner, and its tags served to the portable tag pass.
#pragma once

#include <windows.h>
#include <icm.h>

#include <string>
#include <utility>

#include "plugins/tintora/profile_tags.h"

namespace tintora {

class UniqueProfile {
 public:
  UniqueProfile() = default;
  explicit UniqueProfile(HPROFILE profile) : profile_(profile) {}
  UniqueProfile(const UniqueProfile&) = delete;
  UniqueProfile& operator=(const UniqueProfile&) = delete;
  ~UniqueProfile() {
    if (profile_) ::CloseColorProfile(profile_);
  }
  HPROFILE get() const { return profile_; }
  explicit operator bool() const { return profile_ != nullptr; }

 private:
  HPROFILE profile_ = nullptr;
};

// Opens a profile file for reading; null on failure.
UniqueProfile OpenProfileFile(const std::wstring& path);

// The system's text for an error code, without the trailing line break.
std::string SystemErrorText(DWORD code);

class WcsTagSource final : public ProfileTagSource {
 public:
  explicit WcsTagSource(HPROFILE profile) : profile_(profile) {}
  // The whole tag: a size query, then one read (partial reads fail).
  Lookup ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error* error) override;

 private:
  HPROFILE profile_;
};

}  // namespace tintora
