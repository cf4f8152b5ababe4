#include "agent/app_data.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "base/text.h"
#include "base/win/utf.h"

namespace zu {

void WriteStdoutLine(const std::wstring& line) {
  std::fflush(stdout);
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  const std::wstring text = line + L"\n";
  if (out && out != INVALID_HANDLE_VALUE && ::GetConsoleMode(out, &mode)) {
    DWORD written = 0;
    ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  std::fputs(win::ToUtf8(text).c_str(), stdout);
  std::fflush(stdout);
}

std::wstring GetAppDataPath(const std::wstring& subfolder) {
  std::wstring base;
  PWSTR known = nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known);
  if (SUCCEEDED(hr) && known) {
    base = known;
  } else {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    base.assign(temp, n);
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    WriteStdoutLine(L"GetAppDataPath: SHGetKnownFolderPath failed, hr = 0x" +
                    win::FromUtf8(Hex(static_cast<uint32_t>(hr))) + L", using " + base);
  }
  ::CoTaskMemFree(known);

  const std::wstring path = base + L"\\" + subfolder;
  ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
  WriteStdoutLine(L"GetAppDataPath: wsAppData= " + path);
  return path;
}

}  // namespace zu
