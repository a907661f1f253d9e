#include "setup/session_start_win32.h"

#include <windows.h>
// After windows.h, which they need.
#include <userenv.h>
#include <wtsapi32.h>

#include <memory>

#include "platform/unique_handle_win32.h"

namespace ordex {
namespace {

// ORDEX is started as Windows starts it at logon: on the user's interactive desktop.
constexpr wchar_t kUsersDesktop[] = L"winsta0\\default";

struct WtsFree {
  void operator()(WTS_SESSION_INFOW* sessions) const { ::WTSFreeMemory(sessions); }
};

std::wstring InSession(DWORD session) { return L"in session " + std::to_wstring(session); }

// Starts ORDEX as `user` (nullptr: as this process), through CreateProcessAsUserW or
// CreateProcessW. Breaks away from a job the installer runs in, so that the job's end does not
// take ORDEX along, where the job allows it: "If the calling process is associated with a job,
// the job must set the JOB_OBJECT_LIMIT_BREAKAWAY_OK limit" (Process Creation Flags); where it
// does not, ORDEX starts inside the job.
bool Start(HANDLE user, void* environment, const std::wstring& program, const std::wstring& folder,
           DWORD& process_id) {
  std::wstring command_line = L"\"" + program + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = const_cast<wchar_t*>(kUsersDesktop);
  PROCESS_INFORMATION started = {};
  const DWORD flags = environment != nullptr ? CREATE_UNICODE_ENVIRONMENT : 0;
  BOOL ok = FALSE;
  for (const DWORD breakaway : {static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), DWORD{0}}) {
    ok = user != nullptr
             ? ::CreateProcessAsUserW(user, program.c_str(), command_line.data(), nullptr, nullptr,
                                      FALSE, flags | breakaway, environment, folder.c_str(),
                                      &startup, &started)
             : ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                                flags | breakaway, environment, folder.c_str(), &startup, &started);
    if (ok || ::GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  if (!ok) return false;
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  process_id = started.dwProcessId;
  return true;
}

// As the session's user, with that user's environment, as at logon. "To call this function
// successfully, the calling application must be running within the context of the LocalSystem
// account and have the SE_TCB_NAME privilege" (WTSQueryUserToken): the package's custom actions
// run as LocalSystem (deferred, not impersonated).
void StartAsSessionUser(DWORD session, const std::wstring& program, const std::wstring& folder,
                        const InstallLog& log) {
  HANDLE raw_token = nullptr;
  if (!::WTSQueryUserToken(session, &raw_token)) {
    // No user is logged on there (the services' session 0, a session at its logon screen).
    if (::GetLastError() != ERROR_NO_TOKEN) {
      log.Line(L"not started " + InSession(session) + L": no user's token (WTSQueryUserToken): " +
               SystemErrorWords(::GetLastError()));
    }
    return;
  }
  const UniqueHandle token(raw_token);
  void* environment = nullptr;
  if (!::CreateEnvironmentBlock(&environment, token.get(), FALSE)) {
    log.Line(L"not started " + InSession(session) + L": no environment of its user: " +
             SystemErrorWords(::GetLastError()));
    return;
  }
  DWORD process_id = 0;
  const bool started = Start(token.get(), environment, program, folder, process_id);
  const DWORD code = ::GetLastError();
  ::DestroyEnvironmentBlock(environment);
  log.Line(started ? L"started " + InSession(session) + L" (process " +
                         std::to_wstring(process_id) + L")"
                   : L"not started " + InSession(session) + L": " + SystemErrorWords(code));
}

// A session where a user works at a desktop: not the services' session 0, the interactive
// window station, and this process that user's own, not LocalSystem's, whose process on a
// user's desktop would give ORDEX the system's rights there.
bool IsAUsersDesktop(DWORD session) {
  if (session == 0) return false;
  wchar_t station[64] = {};
  DWORD needed = 0;
  if (!::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_NAME, station, sizeof station,
                                   &needed) ||
      ::CompareStringOrdinal(station, -1, L"WinSta0", -1, TRUE) != CSTR_EQUAL) {
    return false;
  }
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return false;
  const UniqueHandle token(raw_token);
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD length = 0;
  return ::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &length) &&
         !::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid);
}

// Where the terminal-services functions do not work (Wine's are stubs that list no session):
// ORDEX is started in this process's own session, if that is a user's desktop.
void StartInOwnSession(const std::wstring& why, const std::wstring& program,
                       const std::wstring& folder, const InstallLog& log) {
  DWORD session = 0;
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  if (!IsAUsersDesktop(session)) {
    log.Line(L"not started: " + why + L", and this installer's own session " +
             std::to_wstring(session) +
             L" is no user's desktop; the Run value starts ORDEX at the next logon");
    return;
  }
  DWORD process_id = 0;
  const bool started = Start(nullptr, nullptr, program, folder, process_id);
  const DWORD code = ::GetLastError();
  log.Line(started
               ? L"started " + InSession(session) + L", this installer's own, a user's desktop (" +
                     why + L"; process " + std::to_wstring(process_id) + L")"
               : L"not started " + InSession(session) + L" (" + why + L"): " +
                     SystemErrorWords(code));
}

}  // namespace

// The Restart Manager restarts only what it closed in the installing user's session, and
// "Installers should implement a custom method to shut down and restart applications running in
// other sessions" (Remarks of RmShutdown). So every session with a logged-on user gets ORDEX
// back, as its Run value would start it at the next logon; where one runs already (the Restart
// Manager's restart), the second ends at once.
void StartOrdexInEverySession(const std::wstring& program, const std::wstring& folder,
                              const InstallLog& log) {
  WTS_SESSION_INFOW* listed = nullptr;
  DWORD count = 0;
  if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &listed, &count)) {
    StartInOwnSession(L"WTSEnumerateSessionsW failed: " + SystemErrorWords(::GetLastError()),
                      program, folder, log);
    return;
  }
  const std::unique_ptr<WTS_SESSION_INFOW, WtsFree> sessions(listed);
  // Windows always lists the services' session 0: a list without it comes from a stand-in.
  if (count == 0) {
    StartInOwnSession(L"WTSEnumerateSessionsW listed no session, not even the services' 0", program,
                      folder, log);
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    const WTS_SESSION_INFOW& session = sessions.get()[i];
    // Only these have a user logged on ("WTS_CONNECTSTATE_CLASS").
    if (session.State != WTSActive && session.State != WTSDisconnected) continue;
    StartAsSessionUser(session.SessionId, program, folder, log);
  }
}

}  // namespace ordex
