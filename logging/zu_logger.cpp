#include "logging/zu_logger.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include "base/win/utf.h"
#include "logging/keeping_rotating_file_sink.h"
#include "logging/log_levels.h"
#include "logging/settings_key.h"

namespace zu {
namespace {

// One spdlog logger per process, shared by every ZuLogger of the process.
std::mutex g_fileLoggerMutex;
std::shared_ptr<spdlog::logger> g_fileLogger;

std::shared_ptr<spdlog::logger> FileLogger() {
  std::lock_guard lock(g_fileLoggerMutex);
  return g_fileLogger;
}

void SetFileLogger(std::shared_ptr<spdlog::logger> logger) {
  std::shared_ptr<spdlog::logger> old;
  {
    std::lock_guard lock(g_fileLoggerMutex);
    old = std::exchange(g_fileLogger, std::move(logger));
  }
  // Released outside the lock; a writer still holding it finishes its line.
}

spdlog::level::level_enum SpdlogLevel(FileLevel level) {
  switch (level) {
    case FileLevel::kDebug: return spdlog::level::debug;
    case FileLevel::kInfo: return spdlog::level::info;
    case FileLevel::kWarning: return spdlog::level::warn;
    case FileLevel::kError: return spdlog::level::err;
    case FileLevel::kNone: break;
  }
  return spdlog::level::off;
}

bool ReadDebugSetting() {
  SettingsKey key = OpenSettingsKey();  // throws "OpenKey error" / "CreateKey error"
  DWORD value = 0;
  return key.ReadDword(L"debug", &value) == ERROR_SUCCESS && value == 1;
}

// One event-log record; shared by Report and the file's fault handler, which
// may outlive the ZuLogger that made it.
int ReportEvent(int level, const std::string& component, const std::string& message) {
  if (message.size() > kMaxReportedMessage) return -1;
  HANDLE source = ::RegisterEventSourceW(nullptr, win::FromUtf8(kEventSourceName).c_str());
  if (!source) return 0;

  std::wstring text = win::FromUtf8(component) + L" : " + win::FromUtf8(message);
  if (text.size() > kEventTextBuffer - 1) text.resize(kEventTextBuffer - 1);
  const LevelMapping mapping = MapLevel(level);
  LPCWSTR strings[] = {text.c_str()};
  ::ReportEventW(source, mapping.eventType, 0, mapping.eventId, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
  return 0;
}

// Creates only the last level of the folder; a missing parent is an error,
// an existing folder is not.
void MakeLogFolder(const std::string& folder) {
  if (::CreateDirectoryW(win::FromUtf8(folder).c_str(), nullptr)) return;
  const DWORD error = ::GetLastError();
  if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)
    throw std::runtime_error("unable to mkdir: " + folder);
}

}  // namespace

ZuLogger::ZuLogger(const std::string& name, const std::string& baseDirectory)
    : name_(name), baseDirectory_(baseDirectory) {
  try {
    debug_ = ReadDebugSetting();
  } catch (const std::exception& e) {
    // Without the machine key the logger keeps the information level.
    std::printf("Log settings unavailable: %s\n", e.what());
  }

  const std::string folder = baseDirectory_ + "\\" + name_;
  filePath_ = folder + "\\log.txt";
  try {
    MakeLogFolder(folder);
    spdlog::set_level(debug_ ? spdlog::level::debug : spdlog::level::info);
    auto sink = std::make_shared<KeepingRotatingFileSink>(win::FromUtf8(filePath_), kMaxFileSize, kRotatedFiles);
    if (!sink->isOpen()) {
      // Not fatal: the sink tries again at every line and counts what it
      // could not write.
      std::printf("Log init failed: Failed opening file %s for writing (error %lu); it is tried again at every line\n",
                  filePath_.c_str(), static_cast<unsigned long>(sink->openError()));
    }
    sink->SetFaultHandler([path = filePath_](DWORD error) {
      ReportEvent(kLogError, "ZuLogger",
                  "Log file " + path + " cannot be written (error " + std::to_string(error) +
                      "); lines are counted until it can");
    });
    auto logger = std::make_shared<spdlog::logger>(name_, std::move(sink));
    spdlog::initialize_logger(logger);  // global level and format; a name in use throws
    SetFileLogger(std::move(logger));
    hasFile_ = true;
  } catch (const std::exception& e) {
    std::printf("Log init failed: %s\n", e.what());
  }
  std::fflush(stdout);
}

ZuLogger::~ZuLogger() = default;

int ZuLogger::Log(int level, const std::string& component, const std::string& message) {
  const LevelMapping mapping = MapLevel(level);
  if (hasFile_) {
    if (auto logger = FileLogger()) {
      try {
        // A line below the file's level is neither written nor flushed.
        const spdlog::level::level_enum fileLevel = SpdlogLevel(mapping.file);
        if (mapping.file != FileLevel::kNone && logger->should_log(fileLevel)) {
          logger->log(fileLevel, "{}: {}", component, message);
          logger->flush();
        }
      } catch (...) {
        // A failed write must not take the caller down.
      }
    }
  }
  if (debug_) {
    std::printf("ZuLogger::Log: [%d][%s] %s\n", level, component.c_str(), message.c_str());
    std::fflush(stdout);
  }
  return 0;
}

int ZuLogger::Report(int level, const std::string& component, const std::string& message) {
  return ReportEvent(level, component, message);
}

int ZuLogger::LogAndReport(int level, const std::string& component, const std::string& message) {
  const int logged = Log(level, component, message);
  return logged | Report(level, component, message);
}

}  // namespace zu
