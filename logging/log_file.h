// The log file as the rotating sink writes it: one Win32 handle, lines
// appended at the end of the file, each one whole or not at all.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zu {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens (or creates) the file for appending; false with error() set.
  bool Open(const std::wstring& path);
  void Close();
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

  // Appends the bytes at the end of the file. When the file system takes
  // only a part of them (a full disk), that part is cut off again, so the
  // file never ends in a torn line. False when the bytes are not in the
  // file; error() says why.
  bool Append(const char* data, size_t size);

  // Size of the file as this handle last knew it.
  uint64_t size() const { return size_; }
  // Win32 error of the last failed Open or Append.
  DWORD error() const { return error_; }

 private:
  uint64_t QuerySize() const;
  void CutTo(uint64_t size);

  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
  DWORD error_ = ERROR_SUCCESS;
};

}  // namespace zu
