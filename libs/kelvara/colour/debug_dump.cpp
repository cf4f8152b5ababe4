#include "libs/kelvara/colour/debug_dump.h"

#include <ctime>
#include <string>
#include <system_error>

namespace kelvara {

namespace {

constexpr char kSeparator[] = "==========================================\n";  // 42 '='
static_assert(sizeof kSeparator == 42 + 2);

std::FILE* OpenText(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wide(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(path.c_str(), wide.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace

DebugDump::DebugDump(const std::filesystem::path& path, Start start) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return;
  if (start == Start::kRecreate) {
    std::filesystem::remove(path, ec);
    file_ = OpenText(path, "w");
  } else {
    file_ = OpenText(path, "a");
  }
}

DebugDump::~DebugDump() {
  if (file_ != nullptr) std::fclose(file_);
}

void DebugDump::WriteRows(const Lut& lut) {
  for (int i = 0; i < kLutEntries; ++i) std::fprintf(file_, "[%3d] %3d %3d %3d\n", i, lut[0][i], lut[1][i], lut[2][i]);
}

void DebugDump::WriteLut(const char* label, const Lut& lut) {
  if (file_ == nullptr) return;
  std::fputs(kSeparator, file_);
  std::fprintf(file_, "%s\n", label);
  WriteRows(lut);
}

void DebugDump::WriteRecord(const char* request, const CctParams& p, const Lut* gvInput) {
  if (file_ == nullptr) return;
  char when[32] = "";
  const std::time_t now = std::time(nullptr);
  if (const std::tm* local = std::localtime(&now)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);
  std::fputs(kSeparator, file_);
  std::fprintf(file_, "%s  %s\n", request, when);
  std::fprintf(file_, "CCT ICCType: %d \n", p.iccType);
  std::fprintf(file_, "CCT Version: %X.%X.%X \n", (kVersion >> 16) & 0xFF, (kVersion >> 8) & 0xFF, kVersion & 0xFF);
  std::fputs("Native XYZ (R, G, B, W)\n", file_);
  for (const auto& row : p.nativeXyz) std::fprintf(file_, "%3.3f %3.3f %3.3f\n", row[0], row[1], row[2]);
  std::fputs("Factory XYZ (R, G, B, W)\n", file_);
  for (const auto& row : p.factoryXyz) std::fprintf(file_, "%3.3f %3.3f %3.3f\n", row[0], row[1], row[2]);
  std::fputs("Gains (DEF, Warm, Cold, RdS, RdW)\n", file_);
  for (const double* g : {p.defGain, p.warmGain, p.coldGain, p.readStrongGain, p.readWeakGain}) {
    std::fprintf(file_, "%1.5f %1.5f %1.5f\n", g[0], g[1], g[2]);
  }
  std::fprintf(file_, "B (%d) \n", p.hasFactoryData);
  std::fprintf(file_, "IniVer(%d) \n", p.dataVersion);
  std::fprintf(file_, "Gamma (%d)\n", p.hasGammaLut);
  std::fprintf(file_, "RDLevels (%f)\n", p.RDLevels);
  std::fprintf(file_, "RDIndex (%f)\n", p.RDIndex);
  std::fprintf(file_, "%s  interval:%f \n", "Ori", p.interval);
  WriteRows(p.baseLut);
  if (p.hasGammaLut) {
    std::fprintf(file_, "%s  interval:%f \n", "Gamma", p.interval);
    WriteRows(p.gammaLut);
  }
  std::fprintf(file_, "%s  interval:%f \n", "Out", p.interval);
  WriteRows(p.outLut);
  if (gvInput != nullptr) {
    std::fputs("GV_Input  \n", file_);
    WriteRows(*gvInput);
  }
  std::fflush(file_);
}

}  // namespace kelvara
