#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/codepage.h"
#include "platform/file_access.h"
#include "platform/machine_memory.h"
#include "shell/form1_events.h"
#include "shell/main_window.h"
#include "test_support.h"

namespace ordex::testing {
namespace fs = std::filesystem;

// The real files, except that those whose name is in `busy` are held by another program, as a
// Windows program holding them without sharing would (POSIX has no such state of its own).
class HeldFiles : public FileAccess {
 public:
  std::string NativePath(std::string_view path) const override { return files_->NativePath(path); }
  std::optional<FileTime> ModificationTime(const std::string& path) const override {
    return files_->ModificationTime(path);
  }
  OpenedFile TryOpenForReading(const std::string& path) const override {
    if (IsHeld(path)) return {FileStatus::kBusy, nullptr};
    auto file = files_->TryOpenForReading(path);
    if (on_next_open) std::exchange(on_next_open, nullptr)();
    return file;
  }
  FileStatus TryRewriteFile(const std::string& path, std::string_view content) const override {
    if (IsHeld(path)) return FileStatus::kBusy;
    return files_->TryRewriteFile(path, content);
  }
  FileStatus ReplaceAtomically(const std::string& path, std::string_view content) const override {
    if (IsHeld(path)) return FileStatus::kBusy;
    return files_->ReplaceAtomically(path, content);
  }
  Error MissingFileError(const std::string& path) const override {
    return files_->MissingFileError(path);
  }

  std::set<std::string> busy;
  mutable std::function<void()> on_next_open;

 private:
  bool IsHeld(const std::string& path) const {
    return busy.contains(std::filesystem::path(path).filename().string());
  }
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
};

// The lines of the events with `id` that the machine logged, in order.
inline std::vector<std::string> EventLines(const MemoryMachine& machine, std::uint16_t id) {
  std::vector<std::string> lines;
  for (const auto& event : machine.events) {
    if (event.id == id) lines.push_back(event.line);
  }
  return lines;
}

inline std::string SensorDriverBytes() {
  using namespace std::string_literals;
  return "\x7f"
         "ELF header\0"s +
         "2.0.4.15\0SENSOR-A\0%s - Version %s\0 1.3b \0"s + "Dateiformat : %s\0trailing bytes"s;
}

// A start-up against a controller tree in a temporary folder, on a machine held in memory.
class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(tree_ / "ROBOTER/INIT/hw_inf.ini", "[CLOCK]\r\nsystem clock=2000\r\nlayer2=6\r\n");
    WriteMachineData("2");
    WriteBytes(tree_ / "ROBOTER/DRIVERS/zt_ascii.o", SensorDriverBytes());
    fs::create_directories(tree_ / "ROBOTER/IBGN/Xoc/R1/IBGN");
    SetVersionValue("InstallationDir", tree_.path().string());
    SetVersionValue("XOCVersion", "XOC 5.6.11");
    SetVersionValue("Version", "BR 5.6.3");
  }

  // A REG_SZ as the registry holds it (UTF-16LE), so that any text fits, line breaks too.
  void SetVersionValue(std::string_view name, std::string_view text) {
    SetStoredVersionValue(name, Cp1252ToUtf16Le(text) + std::string(2, '\0'));
  }
  void SetStoredVersionValue(std::string_view name, std::string_view utf16le_with_nul) {
    machine_.registry.Import(RegTypedValue(VersionKey, name, 1, utf16le_with_nul));
  }
  void SetSetting(std::string_view name, std::int32_t value) {
    machine_.registry.Import(RegDwordValue(SettingsKey, name, value));
  }
  std::optional<std::int32_t> Setting(std::string_view name) {
    std::int32_t value = 0;
    bool ok = false;
    machine_.registry.Open()->ReadDword(HKEY_LOCAL_MACHINE_ROOT, SettingsKey, name, value, ok);
    return ok ? std::optional(value) : std::nullopt;
  }
  void RemoveKey(std::string_view key) {
    machine_.registry.Import("[-HKEY_LOCAL_MACHINE\\" + std::string(key) + "]");
  }

  fs::path MachineData() const { return tree_ / "ROBOTER/XOC/R1/Mada/$Machine.dat"; }
  fs::path Summary() const { return tree_ / "ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini"; }

  // Every save gets its own time stamp, 10 ms after the one before: two saves within one second
  // must both be seen. MinGW's std::filesystem sets file times in whole seconds only (through
  // _wutime), so there the steps are a second apart; file_access_win32_test covers stamps that
  // differ by 100 ns.
#ifdef _WIN32
  static constexpr auto kStampStep = std::chrono::seconds(1);
#else
  static constexpr auto kStampStep = std::chrono::milliseconds(10);
#endif
  void WriteMachineData(std::string_view count) {
    WriteBytes(MachineData(), "&ACCESS RVP\r\nDECL INT $EX_AX_NUM=" + std::string(count) +
                                  " ;number of external axes\r\nDECL INT $TOOL_NUM=1\r\n");
    StampMachineData();
  }
  void StampMachineData() {
    stamp_ += kStampStep;
    fs::last_write_time(MachineData(), stamp_);
  }

  Form1& StartForm() {
    form_ = std::make_unique<Form1>(machine_);
    load_result_ = form_->Form_Load();
    return *form_;
  }

  TempDir tree_;
  HeldFiles files_;
  FakeView view_;
  // Start-up's clock moves only when Form1 pauses, and then runs machine_.on_sleep.
  MemoryMachine machine_{files_, view_};
  fs::file_time_type stamp_ = fs::file_time_type::clock::now() - std::chrono::hours(1);
  std::unique_ptr<Form1> form_;
  Form1::LoadResult load_result_{};
};

}  // namespace ordex::testing
