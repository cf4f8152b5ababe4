// Optional dump of a request's inputs, gains and LUTs to a fixed text file.
// The dump is written only when that file already exists, so it is switched
// on by creating the file and off by deleting it.
#pragma once

#include <cstdio>
#include <filesystem>

#include "libs/kelvara/cct_params.h"

namespace kelvara {

class DebugDump {
 public:
  enum class Start { kRecreate, kAppend };

  // Opens the file only when it exists: kRecreate empties it first (CCTAPI),
  // kAppend adds to it (CCTAPI_GV).
  DebugDump(const std::filesystem::path& path, Start start);
  ~DebugDump();
  DebugDump(const DebugDump&) = delete;
  DebugDump& operator=(const DebugDump&) = delete;

  bool active() const { return file_ != nullptr; }

  // A separator line, the label and the 256 rows of the LUT.
  void WriteLut(const char* label, const Lut& lut);
  // The record after a request; gvInput is the input curve of CCTAPI_GV.
  void WriteRecord(const char* request, const CctParams& params, const Lut* gvInput = nullptr);

 private:
  void WriteRows(const Lut& lut);

  std::FILE* file_ = nullptr;
};

}  // namespace kelvara
