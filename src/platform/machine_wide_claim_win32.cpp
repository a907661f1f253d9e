#include <windows.h>
// After windows.h, which it needs.
#include <set>
#include <string>
#include <utility>

#include "platform/error_win32.h"
#include "platform/machine_wide_claim.h"
#include "platform/sddl_security_win32.h"
#include "platform/unique_handle_win32.h"
#include "platform/wide_text_win32.h"

namespace ordex {
namespace {

// Who may do what with the mutex, whoever creates it (the first ORDEX of the PC, often a
// standard user's at logon):
// - SYSTEM (SY) and Administrators (BA) everything (GA: MUTEX_ALL_ACCESS);
// - every interactive user (IU: logged on at the PC or by Remote Desktop, "Special identity
//   groups") SYNCHRONIZE and MUTEX_MODIFY_STATE, 0x00100001: "Synchronize: The right to wait
//   on a named mutex", "Modify: The right to release a named mutex" (MutexRights); so every
//   user's ORDEX, in any session, may wait for the claim, take it and give it back, and no
//   standard user may change who may;
// - the owner the same and no more (OW, OWNER RIGHTS, S-1-3-4): without it the creator's
//   implicit READ_CONTROL and WRITE_DAC would let that user rewrite the list ("if the DACL
//   contains one or more ACEs with the new OwnerRights SID, the access check will use those
//   entries ... to determine the owner's rights", "Security Identifiers (SIDs) New for Windows
//   Vista").
// P: protected, nothing is inherited.
constexpr wchar_t kMachineWideClaimSecurity[] =
    L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;IU)(A;;0x00100001;;;OW)";
// What ORDEX asks for, also when it opens a mutex made by another user's ORDEX: only what the
// list above gives every interactive user.
constexpr DWORD kClaimAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The names this process holds. A thread that owns a mutex is given it again by a wait, without
// blocking ("the thread must call ReleaseMutex once for each time that the mutex satisfied the
// conditions of a wait function", ReleaseMutex): a second claim of the same process would be
// granted where every other platform refuses it.
std::set<std::wstring>& HeldHere() {
  static std::set<std::wstring> held;
  return held;
}

class MutexClaimLock : public InstanceLock {
 public:
  MutexClaimLock(UniqueHandle mutex, std::wstring name)
      : mutex_(std::move(mutex)), name_(std::move(name)) {
    HeldHere().insert(name_);
  }
  ~MutexClaimLock() override {
    ::ReleaseMutex(mutex_.get());
    HeldHere().erase(name_);
  }
  MutexClaimLock(const MutexClaimLock&) = delete;
  MutexClaimLock& operator=(const MutexClaimLock&) = delete;

 private:
  UniqueHandle mutex_;
  std::wstring name_;
};

// Opens the mutex with kClaimAccess, or creates it, not owned, with the security above.
UniqueHandle OpenOrCreateMutex(const std::wstring& name) {
  SddlSecurity security(kMachineWideClaimSecurity);
  if (!security.ok()) return UniqueHandle();
  return UniqueHandle(::CreateMutexExW(security.attributes(), name.c_str(), 0, kClaimAccess));
}

// Why the name cannot be used, in the words of CreateMutexEx's page where it has some.
std::string Unavailable(std::string_view name, DWORD code) {
  std::string reason = Win32Error("cannot open the machine-wide mutex", name, code).what();
  if (code == ERROR_INVALID_HANDLE) {
    // "If lpName matches the name of an existing event, semaphore, waitable timer, job, or
    // file-mapping object, the function fails and the GetLastError function returns
    // ERROR_INVALID_HANDLE" (CreateMutexExW).
    reason += ": another program holds an object of another kind under this name";
  } else if (code == ERROR_ACCESS_DENIED) {
    reason += ": another program made it a mutex that ORDEX may not wait on";
  }
  return reason;
}

}  // namespace

MachineWideClaim TryClaimMachineWide(std::string_view name, std::string_view) {
  std::wstring wide_name = WideFromCodePage(name);
  if (HeldHere().contains(wide_name)) return {};
  UniqueHandle mutex = OpenOrCreateMutex(wide_name);
  if (!mutex.valid()) return {nullptr, Unavailable(name, ::GetLastError())};
  // WAIT_ABANDONED: "a mutex object that was not released by the thread that owned the mutex
  // object before the owning thread terminated. Ownership of the mutex object is granted to the
  // calling thread" (WaitForSingleObject): the holder before was killed or crashed.
  switch (::WaitForSingleObject(mutex.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      return {std::make_unique<MutexClaimLock>(std::move(mutex), std::move(wide_name)), {}};
    case WAIT_TIMEOUT:
      return {};
    default:
      return {nullptr,
              Win32Error("cannot wait on the machine-wide mutex", name, ::GetLastError()).what()};
  }
}

}  // namespace ordex
