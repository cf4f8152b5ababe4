// installedfiles.exe FILE...: what Windows reads from installed binaries, one
// line per file, for the package tests:
//
//   NAME version=A.B.C.D product=A.B.C.D signature=valid|invalid
//        publisher=expected|other|none manifest=asInvoker|other|none
//
// The signature and publisher checks are the agent's own (WinVerifyTrust,
// then the signer's SHA-1 thumbprint against the publisher it accepts).
// Exit code 0 when every file was found, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/plugin_loader.h"
#include "base/win/unique_module.h"

namespace {

std::wstring Dotted(DWORD high, DWORD low) {
  return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." + std::to_wstring(HIWORD(low)) +
         L"." + std::to_wstring(LOWORD(low));
}

// File and product version of the fixed version block, or "none".
void Versions(const std::wstring& path, std::wstring* file, std::wstring* product) {
  *file = *product = L"none";
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return;
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed)
    return;
  *file = Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  *product = Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
}

// The execution level the program's manifest asks for.
const wchar_t* ManifestLevel(const std::wstring& path) {
  zu::win::UniqueModule image(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!image) return L"none";
  HRSRC found = ::FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  HGLOBAL loaded = found ? ::LoadResource(image.get(), found) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!bytes) return L"none";
  const std::string manifest(bytes, ::SizeofResource(image.get(), found));
  return manifest.find("level=\"asInvoker\"") != std::string::npos ? L"asInvoker" : L"other";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: installedfiles FILE...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::wstring path = argv[i];
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::wprintf(L"%ls missing\n", name.c_str());
      status = 1;
      continue;
    }
    std::wstring file, product;
    Versions(path, &file, &product);
    const bool valid = zu::VerifyEmbeddedSignature(path);
    const wchar_t* publisher = !zu::SignerThumbprint(path)       ? L"none"
                               : zu::VerifyPublisherThumbprint(path) ? L"expected"
                                                                     : L"other";
    std::wprintf(L"%ls version=%ls product=%ls signature=%ls publisher=%ls manifest=%ls\n", name.c_str(),
                 file.c_str(), product.c_str(), valid ? L"valid" : L"invalid", publisher, ManifestLevel(path));
  }
  std::fflush(stdout);
  return status;
}
