// Settings and records of the graphics driver stand-ins. A test sets
// environment variables ZU_STANDIN_<NAME> in its own process (the stand-ins
// are loaded into it) and reads what they were given from files in the
// folder named by ZU_STANDIN_DIR.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace standin {

inline std::string Setting(const char* name, const std::string& fallback = {}) {
  char value[256] = {};
  const std::string variable = std::string("ZU_STANDIN_") + name;
  const DWORD length = ::GetEnvironmentVariableA(variable.c_str(), value, sizeof value);
  return (length > 0 && length < sizeof value) ? std::string(value, length) : fallback;
}

inline long NumberSetting(const char* name, long fallback) {
  const std::string text = Setting(name);
  // Through 64 bits, so that HRESULTs such as 0x80004005 keep their bits.
  return text.empty() ? fallback : static_cast<long>(std::strtoll(text.c_str(), nullptr, 0));
}

inline std::string RecordPath(const char* file) {
  const std::string dir = Setting("DIR");
  return dir.empty() ? std::string() : dir + "\\" + file;
}

inline void Write(const char* file, const void* data, size_t size, bool append) {
  const std::string path = RecordPath(file);
  if (path.empty()) return;
  HANDLE h = ::CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
  ::CloseHandle(h);
}

// One line of "calls.txt", in call order.
inline void Call(const std::string& line) {
  const std::string text = line + "\n";
  Write("calls.txt", text.data(), text.size(), true);
}

}  // namespace standin
