// Single instance, host name, decimal separator and the fatal-error line on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/machine_system.h"
#include "machine_contract.h"
#include "ordex_messages.h"
#include "platform/event_log_win32.h"
#include "platform/system.h"
#include "platform/unique_handle_win32.h"
#include "platform/wide_text_win32.h"
#include "platform/window_memory.h"
#include "registry_seed_win32.h"
#include "shell/form1_events.h"
#include "shell/main_window.h"
#include "test_helpers.h"

namespace ordex {
namespace {

// The events Form1 reports are the message table's entries, level included.
static_assert(MessageTableId(EventLevel::kInformation, kStartedEventId) == ORDEX_MSG_STARTED);
static_assert(MessageTableId(EventLevel::kInformation, kChangedEventId) == ORDEX_MSG_CHANGED);
static_assert(MessageTableId(EventLevel::kInformation, kEndedEventId) == ORDEX_MSG_ENDED);
static_assert(MessageTableId(EventLevel::kInformation, kHeartbeatEventId) ==
              ORDEX_MSG_STILL_WATCHING);
static_assert(MessageTableId(EventLevel::kWarning, kConditionBegunEventId) ==
              ORDEX_MSG_CONDITION_BEGUN);
static_assert(MessageTableId(EventLevel::kInformation, kConditionEndedEventId) ==
              ORDEX_MSG_CONDITION_ENDED);

bool SettingsKeyExists() {
  HKEY key = nullptr;
  const std::string path(SettingsKey);
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &key) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

TEST(Win32SingleInstance, SecondClaimIsRefusedUntilTheFirstEnds) {
  auto first = ClaimSingleInstance("");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ClaimSingleInstance(""), nullptr);
  EXPECT_EQ(ClaimSingleInstance("another scope"), nullptr);  // one claim per session
  first.reset();
  EXPECT_NE(ClaimSingleInstance(""), nullptr);
}

TEST(Win32SingleInstance, ProgramStartedWhileClaimIsHeldEndsAtOnceWithStatusZero) {
  const bool settings_existed = SettingsKeyExists();
  const auto claim = ClaimSingleInstance("");
  ASSERT_NE(claim, nullptr);

  std::string command = std::string("\"") + ORDEX_BINARY + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
      << command;
  const DWORD waited = ::WaitForSingleObject(process.hProcess, 30000);
  DWORD status = STILL_ACTIVE;
  ::GetExitCodeProcess(process.hProcess, &status);
  if (waited != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 99);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);

  EXPECT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_EQ(status, 0u);
  // Refused before any registry access: the settings were not written with their defaults.
  if (!settings_existed) EXPECT_FALSE(SettingsKeyExists());
}

TEST(Win32ComputerName, QueryGivesTheNameOfGetComputerNameA) {
  char expected[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD expected_size = sizeof expected;
  ASSERT_TRUE(::GetComputerNameA(expected, &expected_size));

  std::string buffer(255, ' ');
  std::uint32_t size = 255;
  QueryComputerName(buffer.data(), size);
  EXPECT_EQ(size, expected_size);
  EXPECT_EQ(buffer.substr(0, size), expected);
  EXPECT_EQ(buffer[size], '\0');

  // The probe of Form1 over this query, on the program's machine.
  MemoryWindowView view(kForm1Layout);
  SystemMachine machine(nullptr, view, "1.3.0");
  EXPECT_EQ(ProbeComputerName(machine), expected);
}

TEST(Win32DecimalSeparator, IsTheUsersLocaleSetting) {
  char separator[8] = {};
  ASSERT_GT(::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator), 0);
  const char expected = separator[1] == '\0' ? separator[0] : '.';
  EXPECT_EQ(SystemDecimalSeparator(), expected);
}

TEST(Win32ReportLine, OneLineGoesToStandardErrorWhenThereIsOne) {
  const struct {
    void (*report)(std::string_view);
    const char* expected;
  } cases[] = {
      {&ReportFatalError, "ordex: cannot open C:\\XOC\\hw_inf.ini: not there\r\n"},
      {&ReportWarning, "ordex: warning: cannot open C:\\XOC\\hw_inf.ini: not there\r\n"},
  };
  testing::TempDir dir;
  const std::string path = (dir / "stderr.txt").string();
  for (const auto& c : cases) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const HANDLE saved = ::GetStdHandle(STD_ERROR_HANDLE);
    ::SetStdHandle(STD_ERROR_HANDLE, file);
    // The event log gets the line too; an unregistered source must not keep it from the rest.
    c.report("cannot open C:\\XOC\\hw_inf.ini: not there");
    ::SetStdHandle(STD_ERROR_HANDLE, saved);
    ::CloseHandle(file);
    EXPECT_EQ(testing::ReadBytes(path), c.expected);
  }
}

// A window held in memory that pauses in real time, as the program's window does: what arrived
// first is handled (an end asked for throws), then the pause waits.
class RealTimeView : public MemoryWindowView {
 public:
  using MemoryWindowView::MemoryWindowView;
  void Pause(std::chrono::milliseconds pause) override {
    MemoryWindowView::Pause(pause);
    ::Sleep(static_cast<DWORD>(pause.count()));
  }
};

// The program's machine on the Windows registry, its reports read back from standard error,
// which goes to a file of its own; its window is one in memory, as the contract looks only at
// its pauses.
class Win32SystemBackend {
 public:
  Win32SystemBackend() {
    testing::RemoveWin32Key(testing::kMachineContractKey);
    ::SetStdHandle(STD_ERROR_HANDLE, capture_.get());
  }
  ~Win32SystemBackend() {
    ::SetStdHandle(STD_ERROR_HANDLE, saved_);
    testing::RemoveWin32Key(testing::kMachineContractKey);
  }
  Win32SystemBackend(const Win32SystemBackend&) = delete;
  Win32SystemBackend& operator=(const Win32SystemBackend&) = delete;

  Machine& machine() { return machine_; }
  void AskTheWindowToEnd() { view_.RequestEnd(EndReason::kStopRequest); }
  // Standard error on a handle that may only read: every write to it fails.
  void BreakTheEventLog(bool broken) {
    ::SetStdHandle(STD_ERROR_HANDLE, broken ? read_only_.get() : capture_.get());
  }
  // Another thread stands for another process: a mutex belongs to the thread that owns it, and
  // one that ends owning it abandons it. Its handle stays open, so that the next owner meets
  // the mutex abandoned (WAIT_ABANDONED) and not a new one.
  void HoldElsewhere(std::string_view name) {
    name_ = WideFromCodePage(name);
    ready_ = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    end_ = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    holder_ = UniqueHandle(::CreateThread(nullptr, 0, &Win32SystemBackend::Hold, this, 0, nullptr));
    ASSERT_TRUE(holder_.valid());
    ASSERT_EQ(::WaitForSingleObject(ready_.get(), 10000), WAIT_OBJECT_0);
  }
  void EndTheHolderElsewhere(bool killed) {
    killed_ = killed;
    ::SetEvent(end_.get());
    ::WaitForSingleObject(holder_.get(), INFINITE);
  }
  // An event of that name: "If lpName matches the name of an existing event ... the function
  // fails" (CreateMutexEx).
  void SquatElsewhere(std::string_view name) {
    squat_ = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, WideFromCodePage(name).c_str()));
    ASSERT_TRUE(squat_.valid()) << ::GetLastError();
  }

  testing::Reports TakeReports() {
    ::SetStdHandle(STD_ERROR_HANDLE, saved_);
    capture_ = UniqueHandle();
    return testing::ReportsFromLines(testing::ReadBytes(path_));
  }

 private:
  static UniqueHandle Open(const std::string& path, DWORD access, DWORD disposition) {
    return UniqueHandle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, disposition, 0, nullptr));
  }

  static DWORD WINAPI Hold(void* self) {
    auto& backend = *static_cast<Win32SystemBackend*>(self);
    backend.held_ = UniqueHandle(::CreateMutexW(nullptr, FALSE, backend.name_.c_str()));
    if (::WaitForSingleObject(backend.held_.get(), 10000) != WAIT_OBJECT_0) return 1;
    ::SetEvent(backend.ready_.get());
    ::WaitForSingleObject(backend.end_.get(), INFINITE);
    if (!backend.killed_) ::ReleaseMutex(backend.held_.get());
    return 0;
  }

  std::wstring name_;
  UniqueHandle ready_, end_, holder_, held_, squat_;
  bool killed_ = false;
  testing::TempDir dir_;
  const std::string path_ = (dir_ / "stderr.txt").string();
  UniqueHandle capture_ = Open(path_, GENERIC_WRITE, CREATE_ALWAYS);
  UniqueHandle read_only_ = Open(path_, GENERIC_READ, OPEN_EXISTING);
  const HANDLE saved_ = ::GetStdHandle(STD_ERROR_HANDLE);
  RealTimeView view_{testing::kContractLayout};
  SystemMachine machine_{nullptr, view_, "1.3.0"};
};

}  // namespace
}  // namespace ordex

namespace ordex::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(System, MachineContract, Win32SystemBackend);
}  // namespace ordex::testing
