// RefuseDowngrade: runs before anything is changed when a newer version of
// the product is installed (WIX_DOWNGRADE_DETECTED holds its product codes).
// It says which version is installed and what to do, then ends the
// installation; the installed version is left as it is.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

#include "packaging/setup_actions/msi_messages.h"

namespace zu::setup {
namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = ARRAYSIZE(value);
  if (::MsiGetPropertyW(install, name, value, &size) != ERROR_SUCCESS) return {};
  return value;
}

// The version of the first product code of a ';'-separated list, or empty.
std::wstring InstalledVersion(const std::wstring& productCodes) {
  const std::wstring code = productCodes.substr(0, productCodes.find(L';'));
  wchar_t version[64] = {};
  DWORD size = ARRAYSIZE(version);
  if (::MsiGetProductInfoW(code.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size) != ERROR_SUCCESS) return {};
  return version;
}

}  // namespace
}  // namespace zu::setup

extern "C" __declspec(dllexport) UINT __stdcall RefuseDowngrade(MSIHANDLE install) {
  using namespace zu::setup;
  const std::wstring installed = InstalledVersion(Property(install, L"WIX_DOWNGRADE_DETECTED"));
  const std::wstring offered = Property(install, L"ProductVersion");
  ReportError(install, L"A newer version of TarnService" + (installed.empty() ? L"" : L" (" + installed + L")") +
                           L" is already installed; this package (version " + offered +
                           L") does not replace it. To go back to version " + offered +
                           L", uninstall TarnService first. Nothing was changed.");
  return ERROR_INSTALL_FAILURE;
}
