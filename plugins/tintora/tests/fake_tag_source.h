// Serves the tags of a generated profile to the tag pass, as the Windows
// Color System would, and can make a chosen tag fail to read.
#pragma once

#include <set>

#include "plugins/tintora/profile_tags.h"
#include "plugins/tintora/tests/icc_profile_builder.h"

namespace tintora::testing {

class FakeTagSource final : public ProfileTagSource {
 public:
  explicit FakeTagSource(const IccProfileBuilder& profile) : tags_(profile.tags()) {}

  void FailOn(uint32_t signature) { failing_.insert(signature); }
  const std::vector<uint32_t>& asked() const { return asked_; }

  Lookup ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error* error) override {
    asked_.push_back(signature);
    if (failing_.count(signature)) {
      error->code = 13;
      error->text = "The data is invalid.";
      return Lookup::kFailed;
    }
    auto it = tags_.find(signature);
    if (it == tags_.end()) return Lookup::kAbsent;
    *bytes = it->second;
    return Lookup::kFound;
  }

 private:
  std::map<uint32_t, Bytes> tags_;
  std::set<uint32_t> failing_;
  std::vector<uint32_t> asked_;
};

}  // namespace tintora::testing
