#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/codepage.h"
#include "form1_view.h"
#include "memory_installation.h"
#include "shell/form1_events.h"
#include "shell/main_window.h"
#include "test_helpers.h"

namespace ordex::testing {

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

// Where Form1 finds the controller's files with the installation folder C:\XOC, as the files
// held in memory name them.
inline constexpr char kHwInf[] = "C:/XOC/ROBOTER/INIT/hw_inf.ini";
inline constexpr char kMachineData[] = "C:/XOC/ROBOTER/XOC/R1/Mada/$Machine.dat";
inline constexpr char kDriver[] = "C:/XOC/ROBOTER/DRIVERS/zt_ascii.o";
inline constexpr char kSummaryFolder[] = "C:/XOC/ROBOTER/IBGN/Xoc/R1/IBGN";
inline constexpr char kSummary[] = "C:/XOC/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini";

// Form1 on a machine held in memory, whose controller tree (C:\XOC) and registry are in memory
// too: files are busy, missing or saved again, and the clock moves, only when the test says so.
class Form1Test : public ::testing::Test, protected MemoryInstallation<FakeView> {
 protected:
  void SetUp() override {
    for (const char* folder : {"C:/XOC/ROBOTER/INIT", "C:/XOC/ROBOTER/XOC/R1/Mada",
                               "C:/XOC/ROBOTER/DRIVERS", kSummaryFolder}) {
      files.AddFolder(folder);
    }
    files.RewriteFile(kHwInf, "[CLOCK]\r\nsystem clock=2000\r\nlayer2=6\r\n");
    WriteMachineData("2");
    files.RewriteFile(kDriver, SensorDriverBytes());
    SetVersionValue("InstallationDir", "C:\\XOC");
    SetVersionValue("XOCVersion", "XOC 5.6.11");
    SetVersionValue("Version", "BR 5.6.3");
    machine.wall_clock_at_zero =
        std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + std::chrono::hours(8);
  }

  // A REG_SZ as the registry holds it (UTF-16LE), so that any text fits, line breaks too.
  void SetVersionValue(std::string_view name, std::string_view text) {
    SetStoredVersionValue(name, Cp1252ToUtf16Le(text) + std::string(2, '\0'));
  }
  void SetStoredVersionValue(std::string_view name, std::string_view utf16le_with_nul) {
    registry.Import(RegTypedValue(VersionKey, name, 1, utf16le_with_nul));
  }
  void SetSetting(std::string_view name, std::int32_t value) {
    registry.Import(RegDwordValue(SettingsKey, name, value));
  }
  std::optional<std::int32_t> Setting(std::string_view name) {
    std::int32_t value = 0;
    bool ok = false;
    registry.Open()->ReadDword(HKEY_LOCAL_MACHINE_ROOT, SettingsKey, name, value, ok);
    return ok ? std::optional(value) : std::nullopt;
  }
  int WritesTo(std::string_view key) const {
    return static_cast<int>(std::count(registry.written.begin(), registry.written.end(), key));
  }
  // A value of the facts key as its reader gets it: a string as it is, a DWORD as "dword:" and
  // its number; nothing when it is missing.
  std::optional<std::string> FactsValue(std::string_view name) {
    const auto access = registry.Open();
    std::string text;
    bool ok = false;
    access->ReadString(HKEY_LOCAL_MACHINE_ROOT, FactsKey, name, text, ok);
    if (ok) return text;
    std::int32_t number = 0;
    access->ReadDword(HKEY_LOCAL_MACHINE_ROOT, FactsKey, name, number, ok);
    return ok ? std::optional("dword:" + std::to_string(number)) : std::nullopt;
  }
  void RemoveKey(std::string_view key) {
    registry.Import("[-HKEY_LOCAL_MACHINE\\" + std::string(key) + "]");
  }

  // Every write gives the file a new time stamp, as a save does.
  void WriteMachineData(std::string_view count) {
    files.RewriteFile(kMachineData, "&ACCESS RVP\r\nDECL INT $EX_AX_NUM=" + std::string(count) +
                                        " ;number of external axes\r\nDECL INT $TOOL_NUM=1\r\n");
  }
  // Saved again as it was.
  void TouchMachineData() { files.RewriteFile(kMachineData, files.ReadWholeFile(kMachineData)); }
  bool Exists(const std::string& path) const { return files.ModificationTime(path).has_value(); }
  std::string SummaryCount() const {
    const std::string summary = files.ReadWholeFile(kSummary);
    const auto line = summary.find("Zusatz-Achsen: ");
    return summary.substr(line + 15, summary.find('\r', line) - line - 15);
  }

  Form1& StartForm() {
    form_ = std::make_unique<Form1>(machine);
    load_result_ = form_->Form_Load();
    return *form_;
  }
  void Pass() {
    form_->Timer1_Timer();
    ASSERT_EQ(view.quit_status(), -1) << machine.fatal_error;
  }
  // A pass as the timer gives it: the clock first moves on by the timer's interval (the memory
  // clock moves only in Sleep, and a pass never sleeps), so that what lasts over passes lasts in
  // time too.
  void TimedPass() {
    machine.now += std::chrono::milliseconds(view.interval_ms());
    Pass();
  }

  std::unique_ptr<Form1> form_;
  Form1::LoadResult load_result_{};
};

}  // namespace ordex::testing
