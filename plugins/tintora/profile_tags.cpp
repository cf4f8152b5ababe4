#include "plugins/tintora/profile_tags.h"

#include "plugins/tintora/colour_space.h"
#include "plugins/tintora/icc_tags.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

constexpr const char* kStep = "parseICC";

enum class TagKind { kPrimary, kWhitePoint, kVideoCardGamma, kSecondProfile };

struct ProfileTag {
  const char* name;
  TagKind kind;
  int xyzRow;  // nativeXyz row for the XYZ tags
};

constexpr ProfileTag kTags[] = {
    {"rXYZ", TagKind::kPrimary, 0},        {"gXYZ", TagKind::kPrimary, 1},
    {"bXYZ", TagKind::kPrimary, 2},        {"wtpt", TagKind::kWhitePoint, 3},
    {"vcgt", TagKind::kVideoCardGamma, 0}, {"cmgm", TagKind::kSecondProfile, 0},
};

uint32_t SignatureOf(const char* name) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 | static_cast<uint8_t>(name[3]);
}

void StoreXyz(CctParams& params, int row, const Xyz& xyz) {
  params.nativeXyz[row][0] = xyz.X;
  params.nativeXyz[row][1] = xyz.Y;
  params.nativeXyz[row][2] = xyz.Z;
}

// Logs a tag that could not be decoded; always -1.
int DecodeFailed(const ProfileTag& tag, const icc::TagResult& result) {
  if (result.status == icc::TagStatus::kUnknownType)
    TINTORA_LOG(kWriteLogError, kStep, "icc->find_tag() tag '%s' found but unknown type", tag.name);
  else
    TINTORA_LOG(kWriteLogError, kStep, "Failed to read tag '%s': %d, %s", tag.name, result.errorCode,
                result.errorText.c_str());
  return -1;
}

int UseTag(const ProfileTag& tag, std::span<const uint8_t> bytes, CctParams& params,
           const SecondProfileHandler& onSecondProfile) {
  switch (tag.kind) {
    case TagKind::kPrimary: {
      Xyz d50;
      if (auto r = icc::DecodeXyz(bytes, &d50); r.status != icc::TagStatus::kOk) return DecodeFailed(tag, r);
      TINTORA_LOG(kWriteLogInfo, kStep, "XYZ D50 : %f, %f, %f", d50.X, d50.Y, d50.Z);
      const Xyz d65 = D50ToD65(d50);
      StoreXyz(params, tag.xyzRow, d65);
      TINTORA_LOG(kWriteLogInfo, kStep, "XYZ D65 : %f, %f, %f", d65.X, d65.Y, d65.Z);
      return 0;
    }
    case TagKind::kWhitePoint: {
      Xyz white;
      if (auto r = icc::DecodeXyz(bytes, &white); r.status != icc::TagStatus::kOk) return DecodeFailed(tag, r);
      TINTORA_LOG(kWriteLogInfo, kStep, "wtpt : %f, %f, %f", white.X, white.Y, white.Z);
      StoreXyz(params, tag.xyzRow, white);
      return 0;
    }
    case TagKind::kVideoCardGamma: {
      icc::VcgtTable table;
      const auto r = icc::DecodeVcgt(bytes, &table);
      if (r.status == icc::TagStatus::kUnknownType) return DecodeFailed(tag, r);
      TINTORA_LOG(kWriteLogInfo, kStep, "vcgt channels %u", static_cast<unsigned>(table.channels));
      TINTORA_LOG(kWriteLogInfo, kStep, "vcgt entryCount %u", static_cast<unsigned>(table.entryCount));
      TINTORA_LOG(kWriteLogInfo, kStep, "vcgt entrySize %u", static_cast<unsigned>(table.entrySize));
      if (r.status != icc::TagStatus::kOk) return DecodeFailed(tag, r);
      for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c) params.baseLut[c][i] = table.entries[c][i];
        TINTORA_LOG(kWriteLogInfo, kStep, "%d: %d  %d  %d", i, params.baseLut[0][i], params.baseLut[1][i],
                    params.baseLut[2][i]);
      }
      return 0;
    }
    case TagKind::kSecondProfile: {
      // The second profile is optional: without a readable name the panel
      // is still calibrated, just nothing more is installed.
      std::string name;
      if (auto r = icc::DecodeProfileReference(bytes, &name); r.status != icc::TagStatus::kOk) {
        TINTORA_LOG(kWriteLogKeptWarning, kStep, "tag '%s' cannot be read (%s); no second profile is installed",
                    tag.name, r.errorText.c_str());
        return 0;
      }
      if (onSecondProfile) onSecondProfile(name);
      return 0;
    }
  }
  return -1;
}

}  // namespace

void FillIdentityRamp(uint16_t (&lut)[3][256]) {
  for (auto& channel : lut)
    for (int i = 0; i < 256; ++i) channel[i] = static_cast<uint16_t>(i * 256);
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ':') return false;
  return true;
}

int ReadProfileTags(ProfileTagSource& source, CctParams& params, const SecondProfileHandler& onSecondProfile) {
  for (const ProfileTag& tag : kTags) {
    std::vector<uint8_t> bytes;
    ProfileTagSource::Error error;
    switch (source.ReadTag(SignatureOf(tag.name), &bytes, &error)) {
      case ProfileTagSource::Lookup::kFailed:
        if (tag.kind == TagKind::kSecondProfile) {
          TINTORA_LOG(kWriteLogKeptWarning, kStep, "tag '%s' cannot be read (%d, %s); no second profile is installed",
                      tag.name, error.code, error.text.c_str());
          break;
        }
        TINTORA_LOG(kWriteLogError, kStep, "Failed to read tag '%s': %d, %s", tag.name, error.code,
                    error.text.c_str());
        return -1;
      case ProfileTagSource::Lookup::kAbsent:
        TINTORA_LOG(kWriteLogWarning, kStep, "icc->find_tag() can't find tag '%s' in file", tag.name);
        if (tag.kind == TagKind::kVideoCardGamma) {
          TINTORA_LOG(kWriteLogWarning, kStep, "vcgt use default value");
          FillIdentityRamp(params.baseLut);
        }
        break;
      case ProfileTagSource::Lookup::kFound:
        if (UseTag(tag, bytes, params, onSecondProfile) != 0) return -1;
        break;
    }
  }
  return 0;
}

}  // namespace tintora
