#include "platform/event_log_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "form1_fixture.h"
#include "ordex_messages.h"
#include "platform/machine_wrapper.h"

namespace ordex {
namespace {

// The message table of ordex.exe has each entry in English and in German, so that Event Viewer
// finds the viewing system's language (FormatMessageW with an explicit language fails with
// ERROR_RESOURCE_LANG_NOT_FOUND where the table lacks it).
TEST(MessageTableLanguages, EveryEntryIsThereInEnglishAndGerman) {
  const std::string binary = ORDEX_BINARY;
  const HMODULE program = ::LoadLibraryExW(std::wstring(binary.begin(), binary.end()).c_str(),
                                           nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << ::GetLastError();
  const struct {
    DWORD id;
    const wchar_t* english;
    const wchar_t* german;
  } entries[] = {
      {ORDEX_MSG_STOPPED, L"ORDEX stopped", L"beendet"},
      {ORDEX_MSG_WARNING, L"ORDEX: %1", L"ORDEX: %1"},
      {ORDEX_MSG_INFORMATION, L"ORDEX: %1", L"ORDEX: %1"},
      {ORDEX_MSG_STARTED, L"ORDEX started", L"\u00dcbersichtsdatei"},
      {ORDEX_MSG_CHANGED, L"external axes", L"ge\u00e4ndert"},
      {ORDEX_MSG_ENDED, L"ORDEX ended", L"ORDEX wurde beendet"},
      {ORDEX_MSG_STILL_WATCHING, L"still watches", L"\u00fcberwacht"},
      {ORDEX_MSG_CONDITION_BEGUN, L"cannot do its whole job", L"nicht vollst\u00e4ndig"},
      {ORDEX_MSG_CONDITION_ENDED, L"whole job again", L"wieder vollst\u00e4ndig"},
  };
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.id & 0xFFFF);
    for (const auto& [language, fragment] :
         {std::pair{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), entry.english},
          std::pair{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), entry.german}}) {
      wchar_t text[1024] = {};
      const DWORD length =
          ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, program,
                           entry.id, language, text, 1024, nullptr);
      ASSERT_NE(length, 0u) << language << ": " << ::GetLastError();
      EXPECT_NE(std::wstring(text).find(fragment), std::wstring::npos) << language;
    }
  }
  ::FreeLibrary(program);
}

// Form1's events handed to the event log as the program's machine hands them.
class EventLogMachine : public MachineWrapper {
 public:
  using MachineWrapper::MachineWrapper;
  void LogEvent(const Event& event) override {
    WriteApplicationEvent(event.level, event.id, event.strings);
    MachineWrapper::LogEvent(event);
  }
};

using HeartbeatToTheEventLog = testing::Form1Test;

// The heartbeat's ID and strings reach ReportEventW once the clock has run a day: the Windows
// test script reads the call from Wine's trace (WINEDEBUG=+eventlog,+advapi).
TEST_F(HeartbeatToTheEventLog, ReachesReportEventWOnceTheClockHasRunADay) {
  SetSetting("TimerInterval", 0);
  EventLogMachine logging(machine);
  Form1 form(logging);
  ASSERT_EQ(form.Form_Load(), Form1::LoadResult::kRunning) << machine.fatal_error;
  machine.now += kHeartbeatPeriod;
  form.Timer1_Timer();
  EXPECT_EQ(testing::EventLines(machine, kHeartbeatEventId).size(), 1u);
}

}  // namespace
}  // namespace ordex
