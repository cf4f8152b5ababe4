#include "packaging/setup_actions/msi_messages.h"

#include <msiquery.h>

namespace zu::setup {
namespace {

void Post(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text) {
  // The text travels as field 1 of a "[1]" template, so brackets in paths or
  // names are never read as installer properties.
  PMSIHANDLE record = ::MsiCreateRecord(1);
  ::MsiRecordSetStringW(record, 0, L"[1]");
  ::MsiRecordSetStringW(record, 1, text.c_str());
  ::MsiProcessMessage(install, kind, record);
}

}  // namespace

void LogInfo(MSIHANDLE install, const std::wstring& text) { Post(install, INSTALLMESSAGE_INFO, text); }

void ReportError(MSIHANDLE install, const std::wstring& text) {
  Post(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), text);
}

std::wstring ErrorText(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = L"(error " + std::to_wstring(code);
  if (length) {
    std::wstring system(message, length);
    while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r' || system.back() == L'.'))
      system.pop_back();
    text += L": " + system;
  }
  if (message) ::LocalFree(message);
  return text + L")";
}

}  // namespace zu::setup
