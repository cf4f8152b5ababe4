#include "logging/log_file.h"

namespace zu {

bool LogFile::Open(const std::wstring& path) {
  Close();
  // Others may read the log while it is written, as they could before.
  handle_ = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    error_ = ::GetLastError();
    return false;
  }
  size_ = QuerySize();
  return true;
}

void LogFile::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

uint64_t LogFile::QuerySize() const {
  LARGE_INTEGER size{};
  return ::GetFileSizeEx(handle_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool LogFile::Append(const char* data, size_t size) {
  if (!IsOpen()) {
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  // Offset all ones: at the end of the file, wherever another writer left it.
  OVERLAPPED atEnd{};
  atEnd.Offset = 0xFFFFFFFF;
  atEnd.OffsetHigh = 0xFFFFFFFF;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(handle_, data, static_cast<DWORD>(size), &written, &atEnd);
  if (ok && written == size) {
    size_ += size;
    return true;
  }
  error_ = ok ? ERROR_DISK_FULL : ::GetLastError();
  // A failed write may still have left some bytes (the count is not always
  // reported): whatever this line added goes again.
  const uint64_t now = QuerySize();
  if (now > size_ && now - size_ < size) {
    LARGE_INTEGER cut{};
    cut.QuadPart = static_cast<LONGLONG>(size_);
    if (::SetFilePointerEx(handle_, cut, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle_)) {
      return false;
    }
  }
  size_ = QuerySize();
  return false;
}

}  // namespace zu
