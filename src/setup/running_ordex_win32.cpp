#include "setup/running_ordex_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <string_view>
#include <vector>

#include "platform/close_for_update_win32.h"
#include "platform/unique_handle_win32.h"

namespace ordex {
namespace {

// The status an ORDEX ended by force leaves, as Task Manager's "End task" on a hung program.
constexpr UINT kEndedByForceStatus = 1;
// "TerminateProcess is asynchronous; it initiates termination and returns immediately"
// (TerminateProcess): the file stays in use until the process has ended.
constexpr DWORD kTerminationWaitMs = 5000;

struct RunningOrdex {
  DWORD id;
  DWORD session;
  UniqueHandle process;
};

bool SameWindowsPath(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The long form of a path that exists ("C:\PROGRA~2\..." given as INSTALLDIR), as the system
// names a process's image; the path itself otherwise.
std::wstring LongPath(const std::wstring& path) {
  std::wstring long_path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetLongPathNameW(path.c_str(), long_path.data(), static_cast<DWORD>(long_path.size()));
    if (length == 0) return path;
    if (length < long_path.size()) return long_path.substr(0, length);
    long_path.resize(length);
  }
}

std::wstring ImagePath(HANDLE process) {
  std::wstring image(32768, L'\0');
  DWORD length = static_cast<DWORD>(image.size());
  if (!::QueryFullProcessImageNameW(process, 0, image.data(), &length)) return std::wstring();
  image.resize(length);
  return image;
}

std::wstring Described(const RunningOrdex& ordex) {
  return L"ORDEX (process " + std::to_wstring(ordex.id) + L", session " +
         std::to_wstring(ordex.session) + L")";
}

// Every process whose image is `program`, opened to wait for it and to end it.
std::vector<RunningOrdex> FindRunningOrdex(const std::wstring& program, const InstallLog& log) {
  std::vector<RunningOrdex> found;
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) {
    log.Line(L"cannot list the running processes: " + SystemErrorWords(::GetLastError()));
    return found;
  }
  const std::wstring_view file_name = L"ordex.exe";
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    // The file name first: only a process of that name can have the image looked for.
    if (!SameWindowsPath(entry.szExeFile, file_name)) continue;
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE,
                      entry.th32ProcessID));
    if (!process.valid()) {
      // Gone meanwhile, or not ours to open: either way not one this package can close.
      if (::GetLastError() != ERROR_INVALID_PARAMETER) {
        log.Line(L"cannot open process " + std::to_wstring(entry.th32ProcessID) + L" (" +
                 entry.szExeFile + L"): " + SystemErrorWords(::GetLastError()));
      }
      continue;
    }
    if (!SameWindowsPath(ImagePath(process.get()), program)) continue;
    DWORD session = 0;
    ::ProcessIdToSessionId(entry.th32ProcessID, &session);
    found.push_back({entry.th32ProcessID, session, std::move(process)});
  }
  return found;
}

void EndByForce(const RunningOrdex& ordex, const InstallLog& log) {
  if (!::TerminateProcess(ordex.process.get(), kEndedByForceStatus)) {
    const DWORD code = ::GetLastError();
    if (::WaitForSingleObject(ordex.process.get(), 0) == WAIT_OBJECT_0) {
      log.Line(Described(ordex) + L" ended on the close signal");
    } else {
      log.Line(Described(ordex) + L" still runs and cannot be ended: " + SystemErrorWords(code) +
               L"; its file is replaced at the next restart");
    }
    return;
  }
  ::WaitForSingleObject(ordex.process.get(), kTerminationWaitMs);
  log.Line(Described(ordex) + L" did not end on the close signal within " +
           std::to_wstring(kCloseWait.count()) + L" s and was ended by force (TerminateProcess)");
}

DWORD MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

}  // namespace

void CloseEveryOrdex(const std::wstring& program, const InstallLog& log) {
  const std::wstring image = LongPath(program);
  const UniqueHandle signal = OpenOrCreateCloseForUpdateEvent(EVENT_MODIFY_STATE | SYNCHRONIZE);
  const bool signalled = signal.valid() && ::SetEvent(signal.get());
  if (!signalled) {
    log.Line(L"cannot set the close signal Global\\ORDEX.CloseForUpdate: " +
             SystemErrorWords(::GetLastError()) + L"; every ORDEX running is ended by force");
  }
  const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
  // A second look finds an ORDEX that started while the first ones were closing (a logon): it
  // met the signal set and ends on it, or is ended by force once the time is up.
  for (int look = 0; look < 2; ++look) {
    std::vector<RunningOrdex> running = FindRunningOrdex(image, log);
    if (running.empty()) break;
    for (const RunningOrdex& ordex : running) {
      const DWORD wait = signalled ? MillisecondsUntil(deadline) : 0;
      if (::WaitForSingleObject(ordex.process.get(), wait) == WAIT_OBJECT_0) {
        log.Line(Described(ordex) + L" ended on the close signal");
      } else {
        EndByForce(ordex, log);
      }
    }
  }
}

// "After the last handle to an object is closed, the object is removed from the system"
// (CloseHandle): once the last ORDEX has ended and the close has closed its handle, the event is
// gone, and the next ORDEX creates it anew, not set. Only where a process still holds it is
// there one to reset.
void ResetCloseSignal(const InstallLog& log) {
  const UniqueHandle signal(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kCloseForUpdateEventName));
  if (!signal.valid()) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return;
    log.Line(L"cannot open the close signal Global\\ORDEX.CloseForUpdate to reset it: " +
             SystemErrorWords(::GetLastError()));
    return;
  }
  if (!::ResetEvent(signal.get())) {
    log.Line(L"cannot reset the close signal Global\\ORDEX.CloseForUpdate: " +
             SystemErrorWords(::GetLastError()));
  }
}

}  // namespace ordex
