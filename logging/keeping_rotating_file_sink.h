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
// Only the logger's own source includes this (spdlog stays out of the rest).
#pragma once

#include <spdlog/details/file_helper.h>
#include <spdlog/details/os.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace zu {

class KeepingRotatingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  KeepingRotatingFileSink(spdlog::filename_t baseFile, size_t maxSize, size_t maxFiles)
      : baseFile_(std::move(baseFile)), maxSize_(maxSize), maxFiles_(maxFiles) {
    file_.open(baseFile_, false);  // an existing file is appended to
    currentSize_ = file_.size();
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(msg, formatted);
    if (currentSize_ + formatted.size() > maxSize_ && currentSize_ >= nextAttemptSize_) {
      file_.flush();
      if (file_.size() > 0) {
        if (Rotate()) {
          currentSize_ = 0;
          nextAttemptSize_ = 0;
        } else {
          currentSize_ = file_.size();
          nextAttemptSize_ = currentSize_ + maxSize_ / 10;
        }
      }
    }
    file_.write(formatted);
    currentSize_ += formatted.size();
  }

  void flush_() override { file_.flush(); }

 private:
  // Moves every file up one number, oldest first. On a rename that fails
  // twice, log.txt is reopened for appending and false returned; the files
  // already moved stay moved (none is lost).
  bool Rotate() {
    using spdlog::details::os::path_exists;
    using spdlog::sinks::rotating_file_sink_mt;
    file_.close();
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
          file_.reopen(false);
          return false;
        }
      }
    }
    file_.reopen(true);  // log.txt has moved to log.1.txt
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
  spdlog::details::file_helper file_;
  size_t currentSize_ = 0;
  // After a failed rotation, the size log.txt must reach before the next try.
  size_t nextAttemptSize_ = 0;
};

}  // namespace zu
