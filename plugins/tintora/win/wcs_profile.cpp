#include "plugins/tintora/win/wcs_profile.h"

namespace tintora {

UniqueProfile OpenProfileFile(const std::wstring& path) {
  PROFILE profile{};
  profile.dwType = PROFILE_FILENAME;
  profile.pProfileData = const_cast<wchar_t*>(path.c_str());
  profile.cbDataSize = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
  return UniqueProfile(::OpenColorProfileW(&profile, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING));
}

std::string SystemErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length ? std::string(text, length) : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
    result.pop_back();
  return result;
}

ProfileTagSource::Lookup WcsTagSource::ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error* error) {
  auto failed = [error](DWORD code) {
    error->code = static_cast<int>(code);
    error->text = SystemErrorText(code);
    return Lookup::kFailed;
  };
  BOOL present = FALSE;
  if (!::IsColorProfileTagPresent(profile_, signature, &present)) return failed(::GetLastError());
  if (!present) return Lookup::kAbsent;
  DWORD size = 0;
  BOOL reference = FALSE;
  ::GetColorProfileElement(profile_, signature, 0, &size, nullptr, &reference);
  if (size == 0) {
    error->code = 0;
    error->text = "the tag has no data";
    return Lookup::kFailed;
  }
  bytes->assign(size, 0);
  if (!::GetColorProfileElement(profile_, signature, 0, &size, bytes->data(), &reference))
    return failed(::GetLastError());
  bytes->resize(size);
  return Lookup::kFound;
}

}  // namespace tintora
