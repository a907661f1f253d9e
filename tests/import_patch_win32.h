#pragma once

// Calls of the test program into a system DLL, seen from inside: the components under test are
// linked into the program, so every call they make to, say, RegQueryValueExW goes through the
// program's one import of it. While an ImportPatch lives, that import leads to a stand-in (which
// counts the call and passes it on to the original), so a test can tell how often, and with
// what, the component called the system, where the system's answer alone shows nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

namespace ordex::testing {

class ImportPatch {
 public:
  // Leads the program's imports of `function` from `dll` to `stand_in`.
  ImportPatch(const char* dll, const char* function, const void* stand_in) {
    auto* const base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
      if (::lstrcmpiA(reinterpret_cast<const char*>(base + module->Name), dll) != 0) continue;
      // The names stay in the first thunks' copy; the loader wrote the addresses over the others.
      auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
      auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
      for (; name->u1.AddressOfData != 0; ++name, ++slot) {
        if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
        const auto* by_name =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) != 0) continue;
        auto* const address = reinterpret_cast<void**>(&slot->u1.Function);
        original_ = *address;
        Write(address, stand_in);
        slots_.push_back(address);
      }
    }
    EXPECT_FALSE(slots_.empty()) << "the program does not import " << function << " from " << dll;
  }

  ~ImportPatch() {
    for (void** address : slots_) Write(address, original_);
  }

  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  // The system's own function, for the stand-in to pass the call on to.
  template <typename Function>
  Function original() const {
    return reinterpret_cast<Function>(original_);
  }

 private:
  static void Write(void** address, const void* value) {
    DWORD protection = 0;
    ::VirtualProtect(address, sizeof *address, PAGE_READWRITE, &protection);
    *address = const_cast<void*>(value);
    ::VirtualProtect(address, sizeof *address, protection, &protection);
  }

  std::vector<void**> slots_;
  void* original_ = nullptr;
};

// The calls of the program to `function` of `dll` (of type Result WINAPI (Args...)) while one
// lives, each with its arguments; each is passed on to the system.
template <typename Result, typename... Args>
class CallsOf {
 public:
  CallsOf(const char* dll, const char* function)
      : patch_(dll, function, reinterpret_cast<const void*>(&Record)) {
    instance_ = this;
  }
  ~CallsOf() { instance_ = nullptr; }
  CallsOf(const CallsOf&) = delete;
  CallsOf& operator=(const CallsOf&) = delete;

  const std::vector<std::tuple<Args...>>& calls() const { return calls_; }

 private:
  static Result WINAPI Record(Args... args) {
    instance_->calls_.emplace_back(args...);
    return instance_->patch_.template original<Result(WINAPI*)(Args...)>()(args...);
  }

  static inline CallsOf* instance_ = nullptr;
  std::vector<std::tuple<Args...>> calls_;
  ImportPatch patch_;
};

}  // namespace ordex::testing
