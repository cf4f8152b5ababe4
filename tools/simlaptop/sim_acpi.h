// Test side of the simulated ACPI control device (driver/simacpi.c): install
// it into the Wine prefix, tell it what to answer, make it refuse or vanish,
// and read back what it received. Everything goes through the driver's
// service key (driver/sim_acpi_layout.h), so production code under test talks
// to the device through CreateFileW/DeviceIoControl, unmodified.
//
// All calls act on the prefix's one device: tests that use it hold the CTest
// resource lock "simacpi" (zu_add_simlaptop_test ... DEVICE does that).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zu::simacpi {

// ---- the driver service --------------------------------------------------

// Copies the driver file into the system's drivers folder, creates or
// updates the kernel service "simacpi" with Start = 2 (every new Wine
// session loads it) and starts it. A running older copy is stopped first.
bool Install(const std::wstring& driverFile, std::wstring* error);
// Stops and deletes the service and removes the driver file.
bool Uninstall(std::wstring* error);
// Device present (driver started) or absent (driver stopped: opening
// "\\.\VORTAACPI" fails with ERROR_FILE_NOT_FOUND). Both wait until done.
bool Start();
bool Stop();
bool IsInstalled();
bool IsRunning();

// ---- what the device answers ---------------------------------------------

// Forgets every setting and every record (the device stays as it is).
bool Reset();
// "DSTS" answer for a device; without one the device answers 0.
bool SetStatus(uint32_t deviceId, uint32_t status);
bool ClearStatus(uint32_t deviceId);
// The first word of every "DEVS" answer (1 unless set).
bool SetDevsAnswer(uint32_t value);
// "SCDG" for a selector: the answer is `count`, then `block` (normally 512
// bytes). Without a block the device answers count 0 (no data).
bool SetCalibration(uint32_t selector, std::span<const uint8_t> block, uint32_t count = 512);
// The exact "SCDG" answer bytes (at most 1024), for malformed answers.
bool SetCalibrationAnswer(uint32_t selector, std::span<const uint8_t> answer);
bool ClearCalibration(uint32_t selector);
// Every request fails: with STATUS_UNSUCCESSFUL (ERROR_GEN_FAILURE in user
// mode), or with `ntStatus` when it is an NTSTATUS error value.
bool SetRefuse(bool refuse, uint32_t ntStatus = 0);
// Cuts every answer to at most `bytes` bytes; nothing: full answers.
bool SetAnswerLength(std::optional<uint32_t> bytes);

// ---- what the device received --------------------------------------------

struct Request {
  uint32_t tag = 0;      // four ASCII bytes, lowest address first
  uint32_t length = 0;   // argument length field as sent
  uint32_t arg0 = 0;     // first argument word (device id, selector), 0 if missing
  uint32_t arg1 = 0;     // second argument word ("DEVS" value), 0 if missing
  uint32_t status = 0;   // NTSTATUS the request completed with (0 success)
  bool operator==(const Request&) const = default;
};

uint32_t RequestCount();
// Input bytes of the last request (empty before the first).
std::vector<uint8_t> LastRequest();
std::optional<uint32_t> LastIoctl();
std::optional<uint32_t> LastOutputSize();
// Last value "DEVS" set for a device, and how many "DEVS" it received.
std::optional<uint32_t> LastDevsValue(uint32_t deviceId);
uint32_t DevsCount(uint32_t deviceId);
// Every request since the last Reset, in order.
std::vector<Request> History();
// The (device, value) pairs of the "DEVS" requests the device accepted, in order.
std::vector<std::pair<uint32_t, uint32_t>> DevsHistory();
bool HistoryOverflowed();
uint32_t LoadCount();

// Four-character tag from its text ("DSTS") and back.
uint32_t TagOf(const char (&text)[5]);
std::string TagText(uint32_t tag);

// For a test: a reset, present device on entry, and again on exit, so no
// setting leaks into the next test.
class Scope {
 public:
  Scope();
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  // False when the device could not be reset and started (not installed?).
  bool ready() const { return ready_; }

 private:
  bool ready_ = false;
};

}  // namespace zu::simacpi
