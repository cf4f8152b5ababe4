#include "agent/plugin_loader.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "base/text.h"
#include "base/win/module_path.h"
#include "base/win/unique_handle.h"
#include "base/win/unique_module.h"
#include "base/win/utf.h"
#include "logging/ilogger.h"

#ifndef ZU_PUBLISHER_THUMBPRINT
#error "ZU_PUBLISHER_THUMBPRINT must be set by the build"
#endif

namespace zu {

const char* const kPublisherThumbprint = ZU_PUBLISHER_THUMBPRINT;

namespace {

constexpr const char* kCoreTag = "core";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr size_t kPathBuffer = MAX_PATH;

// Owners for the CryptoAPI objects of one signature query.
struct StoreCloser {
  void operator()(void* store) const { ::CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
struct MessageCloser {
  void operator()(void* message) const { ::CryptMsgClose(static_cast<HCRYPTMSG>(message)); }
};
struct CertificateFreer {
  void operator()(const CERT_CONTEXT* certificate) const { ::CertFreeCertificateContext(certificate); }
};
using UniqueStore = std::unique_ptr<void, StoreCloser>;
using UniqueMessage = std::unique_ptr<void, MessageCloser>;
using UniqueCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

// The signer's program-publisher attribute (program name and links) carries
// nothing the check depends on; it is decoded for its diagnostics only.
void ReadPublisherInfo(const CMSG_SIGNER_INFO& signer) {
  for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
    if (!attribute.pszObjId || std::string_view(attribute.pszObjId) != SPC_SP_OPUS_INFO_OBJID) continue;
    if (attribute.cValue == 0) return;
    const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
    DWORD size = 0;
    if (!::CryptDecodeObject(kEncoding, SPC_SP_OPUS_INFO_OBJID, value.pbData, value.cbData, 0, nullptr, &size)) {
      std::printf("CryptDecodeObject failed with %lx\n", ::GetLastError());
      return;
    }
    void* info = ::LocalAlloc(LPTR, size);
    if (!info) {
      std::printf("Unable to allocate memory for Publisher Info.\n");
      return;
    }
    if (!::CryptDecodeObject(kEncoding, SPC_SP_OPUS_INFO_OBJID, value.pbData, value.cbData, 0, info, &size))
      std::printf("CryptDecodeObject failed with %lx\n", ::GetLastError());
    ::LocalFree(info);
    return;
  }
}

}  // namespace

std::wstring GetModuleDirectory() { return win::ModuleDirectory(nullptr); }

bool VerifyEmbeddedSignature(const std::wstring& path, HANDLE file) {
  WINTRUST_FILE_INFO fileInfo = {};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = path.c_str();
  fileInfo.hFile = file;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  const LONG result = ::WinVerifyTrust(nullptr, &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(nullptr, &action, &data);
  return result == 0;
}

std::optional<std::string> SignerThumbprint(const std::wstring& path) {
  wchar_t buffer[kPathBuffer] = {};
  path.copy(buffer, kPathBuffer - 1);

  HCERTSTORE rawStore = nullptr;
  HCRYPTMSG rawMessage = nullptr;
  DWORD encoding = 0, contentType = 0, formatType = 0;
  if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, buffer, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &rawStore,
                          &rawMessage, nullptr))
    return std::nullopt;
  const UniqueStore store(rawStore);
  const UniqueMessage message(rawMessage);

  DWORD size = 0;
  if (!::CryptMsgGetParam(rawMessage, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0)
    return std::nullopt;
  std::vector<BYTE> signerBytes(size, 0);
  if (!::CryptMsgGetParam(rawMessage, CMSG_SIGNER_INFO_PARAM, 0, signerBytes.data(), &size)) return std::nullopt;
  const auto& signer = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerBytes.data());

  ReadPublisherInfo(signer);

  CERT_INFO wanted = {};
  wanted.Issuer = signer.Issuer;
  wanted.SerialNumber = signer.SerialNumber;
  const UniqueCertificate certificate(
      ::CertFindCertificateInStore(rawStore, kEncoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
  if (!certificate) return std::nullopt;

  DWORD hashSize = 0;
  if (!::CryptHashCertificate(0, CALG_SHA1, 0, certificate->pbCertEncoded, certificate->cbCertEncoded, nullptr,
                              &hashSize) ||
      hashSize == 0)
    return std::nullopt;
  std::vector<BYTE> hash(hashSize);
  if (!::CryptHashCertificate(0, CALG_SHA1, 0, certificate->pbCertEncoded, certificate->cbCertEncoded, hash.data(),
                              &hashSize))
    return std::nullopt;

  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (DWORD i = 0; i < hashSize; ++i) {
    text += kDigits[hash[i] >> 4];
    text += kDigits[hash[i] & 0xF];
  }
  return text;
}

bool VerifyPublisherThumbprint(const std::wstring& path, std::string_view expected) {
  const std::optional<std::string> thumbprint = SignerThumbprint(path);
  return thumbprint && *thumbprint == expected;
}

void PluginLoader::Fail(const std::string& message) { logger_.LogAndReport(kLogError, kCoreTag, message); }

bool PluginLoader::LoadPlugin(const std::wstring& fileName) {
  const std::string name = win::ToUtf8(fileName);
  const std::wstring path = directory_ + fileName;

  // Held open without write or delete sharing from the checks until the
  // load, so the file that runs is the file that was verified.
  win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD error = ::GetLastError();
    // A library that is not there is reported with the loader's own
    // module-not-found code, which administrators' log watchers look for.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) error = ERROR_MOD_NOT_FOUND;
    Fail(name + ": LoadLibrary() failed, GetLastError() = " + Dec(error) + "\n");
    return false;
  }

  const std::string verifyError = "An error occurred trying to verify the signature of the file " + name + ".";
  if (!VerifyEmbeddedSignature(path, file.get())) {
    Fail(verifyError);
    return false;
  }
  logger_.LogAndReport(kLogInfo, kCoreTag, "The file " + name + " is signed.");

  if (!VerifyPublisherThumbprint(path)) {
    Fail(verifyError);
    return false;
  }
  logger_.LogAndReport(kLogInfo, kCoreTag, "A certified check has been verified for the file " + name + ".");

  // Exactly the verified file; its own imports only from the program's
  // directory and System32.
  win::UniqueModule module(
      ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!module) {
    const DWORD error = ::GetLastError();
    Fail(name + ": LoadLibrary() failed, GetLastError() = " + Dec(error) + "\n");
    return false;
  }
  file.reset();

  auto factory = module.GetProc<GetServiceControlBlockFn>(kServiceFactoryExport);
  if (!factory) {
    const DWORD error = ::GetLastError();
    Fail(name + ": GetProcAddress() failed, GetLastError() = " + Dec(error) + "\n");
    return false;
  }
  IPlatformService* service = factory();
  if (!service) {
    logger_.LogAndReport(kLogInfo, kCoreTag, name + ": SvrGetter() is null\n");
    return false;
  }

  auto entry = std::make_unique<ServiceEntry>();
  entry->service = service;
  entry->module = module.release();
  services_.Append(std::move(entry));
  logger_.LogAndReport(kLogInfo, kCoreTag,
                       "Start service: " + service->GetName() + ", Type: " + Dec(service->GetType()));
  return true;
}

void PluginLoader::LoadAll() {
  for (const wchar_t* name : kPluginLoadList) LoadPlugin(name);
}

}  // namespace zu
