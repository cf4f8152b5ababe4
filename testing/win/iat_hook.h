// Redirects one imported function of a module to a test function by
// rewriting the module's import address table, so tests can watch a system
// call at its real boundary (for example what ReportEventW was given, since
// Wine's event log stores nothing) while the production code stays as is.
// The original entry comes back when the hook goes away.
#pragma once

#include <windows.h>

#include <cstring>

namespace zu::testing {

class IatHook {
 public:
  // module: the module whose imports are patched (null: the test program);
  // dll: the exporting library's file name ("advapi32.dll"); function: its name.
  IatHook(HMODULE module, const char* dll, const char* function, void* replacement) {
    if (!module) module = ::GetModuleHandleW(nullptr);
    slot_ = FindSlot(module, dll, function);
    if (!slot_) return;
    original_ = *slot_;
    Write(replacement);
  }
  ~IatHook() {
    if (slot_) Write(original_);
  }
  IatHook(const IatHook&) = delete;
  IatHook& operator=(const IatHook&) = delete;

  bool installed() const { return slot_ != nullptr; }
  template <class Fn>
  Fn original() const {
    return reinterpret_cast<Fn>(original_);
  }

 private:
  static void** FindSlot(HMODULE module, const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
      if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk
                                                                                       : imp->FirstThunk));
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
      for (; names->u1.AddressOfData; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
          return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
    return nullptr;
  }

  void Write(void* value) {
    DWORD old = 0;
    ::VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
    *slot_ = value;
    ::VirtualProtect(slot_, sizeof(void*), old, &old);
  }

  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace zu::testing
