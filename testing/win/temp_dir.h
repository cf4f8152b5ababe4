// A fresh directory under %TEMP% for one test, removed with its contents.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "base/win/utf.h"

namespace zu::testing {

class TempDir {
 public:
  TempDir() {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    path_ = std::filesystem::path(base) /
            (L"zutest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::wstring wstr() const { return path_.wstring(); }
  // UTF-8 form, as the logger takes it.
  std::string str() const { return win::ToUtf8(path_.wstring()); }

 private:
  std::filesystem::path path_;
};

}  // namespace zu::testing
