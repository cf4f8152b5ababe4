// The tag pass of the profile parse: the panel's primaries, white point and
// video-card gamma into the Kelvara record, and the second profile that the
// profile names.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "libs/kelvara/cct_params.h"

namespace tintora {

// Where the tags come from (the Windows Color System in the plug-in).
class ProfileTagSource {
 public:
  enum class Lookup { kFound, kAbsent, kFailed };
  struct Error {
    int code = 0;
    std::string text;
  };
  // kFound with the whole tag (type signature first) in *bytes; kAbsent
  // when the profile has no such tag; kFailed with *error otherwise.
  virtual Lookup ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error* error) = 0;

 protected:
  ~ProfileTagSource() = default;
};

// Called with the file name a "cmgm" tag holds.
using SecondProfileHandler = std::function<void(const std::string& fileName)>;

// Reads "rXYZ", "gXYZ", "bXYZ", "wtpt", "vcgt" and "cmgm" in this order,
// logging each as the parse step. Primaries go to nativeXyz converted to
// D65, the white point as read, the "vcgt" table to baseLut (the identity
// ramp when the tag is absent); an absent XYZ tag leaves its triple alone.
// 0, or -1 at the first tag that cannot be read or decoded; a "cmgm" that
// cannot be read is only a warning, since the second profile is optional.
int ReadProfileTags(ProfileTagSource& source, CctParams& params, const SecondProfileHandler& onSecondProfile);

// Entry i = i * 256 in every channel.
void FillIdentityRamp(uint16_t (&lut)[3][256]);

// A name that stays inside the folder it is joined to: not empty, no path
// separators, drive colons or control characters, and not "." or "..".
bool IsPlainFileName(std::string_view name);

}  // namespace tintora
