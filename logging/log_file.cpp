#include "logging/log_file.h"

namespace zu {

bool LogFile::Open(const std::wstring& path) {
  Close();
  path_ = path;
  // Append access alone: every write lands at the end of the file, even
  // when another program appends too, and costs no seek. Others may read
  // the log while it is written, as they could before.
  handle_ = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  DWORD written = 0;
  const BOOL ok = ::WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr);
  if (ok && written == size) {
    size_ += size;
    return true;
  }
  error_ = ok ? ERROR_DISK_FULL : ::GetLastError();
  // A failed write may still have left some bytes (the count is not always
  // reported): whatever this line added goes again.
  const uint64_t now = QuerySize();
  if (now > size_ && now - size_ < size) CutTo(size_);
  size_ = QuerySize();
  return false;
}

void LogFile::CutTo(uint64_t size) {
  // Append access cannot shorten a file; a second handle can.
  HANDLE writer = ::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (writer == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (::SetFilePointerEx(writer, end, nullptr, FILE_BEGIN)) ::SetEndOfFile(writer);
  ::CloseHandle(writer);
}

}  // namespace zu
