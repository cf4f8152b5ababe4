// The log file's rotation: log.txt -> log.1.txt -> ... -> log.<N>.txt, the
// oldest removed, when a line would take log.txt past its size limit, the
// same file names and order as spdlog's rotating sink.
//
// It differs when a file cannot be renamed (another program holds it open
// without delete sharing): spdlog's sink then empties log.txt and drops the
// line that was being written. This one keeps log.txt, appends the line to
// it and tries the rotation again once the file has grown by a tenth of the
// limit, so no line is ever lost to a failed rotation.
//
// It also outlives a file that cannot be written (a full disk, a folder
// that is read-only or gone): such lines are counted, the file is tried
// again at every line, and the first line that gets through is preceded by
// one that says how many could not be written. The fault handler hears of
// the start of each such period once. Nothing throws out of a write.
//
// Only the logger's own source includes this (spdlog stays out of the rest).
#pragma once

#include <spdlog/details/os.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "logging/log_file.h"

namespace zu {

class KeepingRotatingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  // Told, with the Win32 error, when lines start being lost.
  using FaultHandler = std::function<void(DWORD error)>;

  KeepingRotatingFileSink(spdlog::filename_t baseFile, size_t maxSize, size_t maxFiles)
      : baseFile_(std::move(baseFile)), maxSize_(maxSize), maxFiles_(maxFiles) {
    file_.Open(baseFile_);  // an existing file is appended to
  }

  bool isOpen() {
    std::lock_guard lock(mutex_);
    return file_.IsOpen();
  }
  DWORD openError() {
    std::lock_guard lock(mutex_);
    return file_.error();
  }
  void SetFaultHandler(FaultHandler handler) {
    std::lock_guard lock(mutex_);
    onFault_ = std::move(handler);
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(msg, formatted);
    if (!file_.IsOpen() && !file_.Open(baseFile_)) return Lose();

    const size_t currentSize = static_cast<size_t>(file_.size());
    if (currentSize + formatted.size() > maxSize_ && currentSize >= nextAttemptSize_ && currentSize > 0) {
      if (Rotate()) {
        nextAttemptSize_ = 0;
      } else {
        nextAttemptSize_ = static_cast<size_t>(file_.size()) + maxSize_ / 10;
      }
      if (!file_.IsOpen()) return Lose();
    }

    if (lost_ > 0) {
      // Said first, so the gap shows where it is.
      const std::string text = "ZuLogger: " + std::to_string(lost_) + " lines could not be written (error " +
                               std::to_string(firstError_) + ")";
      spdlog::details::log_msg notice(msg.time, msg.source, msg.logger_name, spdlog::level::warn, text);
      spdlog::memory_buf_t noticeLine;
      formatter_->format(notice, noticeLine);
      if (!file_.Append(noticeLine.data(), noticeLine.size())) return Lose();
      lost_ = 0;
    }
    if (!file_.Append(formatted.data(), formatted.size())) return Lose();
    failing_ = false;
  }

  void flush_() override {}  // every line is handed to the system as it is written

 private:
  void Lose() {
    ++lost_;
    if (failing_) return;
    failing_ = true;
    firstError_ = file_.error();
    if (onFault_) onFault_(firstError_);
  }

  // Moves every file up one number, oldest first. On a rename that fails
  // twice, log.txt is reopened for appending and false returned; the files
  // already moved stay moved (none is lost).
  bool Rotate() {
    using spdlog::details::os::path_exists;
    using spdlog::sinks::rotating_file_sink_mt;
    file_.Close();
    for (size_t i = maxFiles_; i > 0; --i) {
      const spdlog::filename_t source = rotating_file_sink_mt::calc_filename(baseFile_, i - 1);
      if (!path_exists(source)) continue;
      const spdlog::filename_t target = rotating_file_sink_mt::calc_filename(baseFile_, i);
      if (!Rename(source, target)) {
        spdlog::details::os::sleep_for_millis(100);
        if (!Rename(source, target)) {
          std::fprintf(stderr, "log rotation: unable to rename %s, kept appending to %s\n",
                       spdlog::details::os::filename_to_str(source).c_str(),
                       spdlog::details::os::filename_to_str(baseFile_).c_str());
          file_.Open(baseFile_);
          return false;
        }
      }
    }
    file_.Open(baseFile_);  // a new log.txt: the old one is log.1.txt now
    return true;
  }

  static bool Rename(const spdlog::filename_t& source, const spdlog::filename_t& target) {
    // The target is the next older file, which has already moved on (or is
    // the oldest, which is dropped).
    (void)spdlog::details::os::remove(target);
    return spdlog::details::os::rename(source, target) == 0;
  }

  spdlog::filename_t baseFile_;
  size_t maxSize_;
  size_t maxFiles_;
  LogFile file_;
  // After a failed rotation, the size log.txt must reach before the next try.
  size_t nextAttemptSize_ = 0;
  // Lines not written since the last one that was, and the error that
  // started the loss.
  uint64_t lost_ = 0;
  DWORD firstError_ = ERROR_SUCCESS;
  bool failing_ = false;
  FaultHandler onFault_;
};

}  // namespace zu
