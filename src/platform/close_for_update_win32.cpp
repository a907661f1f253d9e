#include "platform/close_for_update_win32.h"

#include "platform/sddl_security_win32.h"

namespace ordex {
namespace {

// Who may do what with the event, whoever creates it:
// - SYSTEM (SY) and Administrators (BA) everything (GA: EVENT_ALL_ACCESS): the package's custom
//   action runs as LocalSystem and sets and resets it;
// - every interactive user (IU: logged on at the PC or by Remote Desktop, "Special identity
//   groups") SYNCHRONIZE, 0x00100000: the right to wait on it, so that each user's ORDEX, in
//   any session, hears the close, and nothing else: no standard user can set it to end other
//   users' ORDEX;
// - the owner SYNCHRONIZE alone (OW, OWNER RIGHTS, S-1-3-4): the first ORDEX, started by a
//   standard user, becomes the owner, whose implicit READ_CONTROL and WRITE_DAC would let that
//   user rewrite the list; "if the DACL contains one or more ACEs with the new OwnerRights SID,
//   the access check will use those entries ... to determine the owner's rights" ("Security
//   Identifiers (SIDs) New for Windows Vista"). The creator's own handle has only the access it
//   asks for, since CreateEventExW takes that as its desired access.
// P: protected, nothing is inherited.
constexpr wchar_t kCloseForUpdateSecurity[] =
    L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;IU)(A;;0x00100000;;;OW)";

}  // namespace

UniqueHandle OpenOrCreateCloseForUpdateEvent(DWORD access) {
  SddlSecurity security(kCloseForUpdateSecurity);
  if (!security.ok()) return UniqueHandle();
  // Opens an existing event with `access` (its security then stays as its creator gave it), or
  // creates it with the security above.
  return UniqueHandle(::CreateEventExW(security.attributes(), kCloseForUpdateEventName,
                                       CREATE_EVENT_MANUAL_RESET, access));
}

}  // namespace ordex
