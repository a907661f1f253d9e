// The custom actions of ORDEX's package (installer/ordex.wxs), the entry points named in its
// CustomAction table. They run deferred, as LocalSystem (not impersonated), and get INSTALLDIR
// and NOSTART through CustomActionData, set by a type-51 action of the same name before them:
// "NOSTART=<value>;INSTALLDIR=<folder>", the folder last since a path may hold a semicolon.
// Where they are scheduled, and why, is in cmake/msi.cmake.
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "platform/wide_text_win32.h"
#include "setup/install_log_win32.h"
#include "setup/running_ordex_win32.h"
#include "setup/session_start_win32.h"

namespace ordex {
namespace {

struct ActionData {
  std::wstring install_dir;  // with its final backslash
  bool no_start;

  std::wstring Program() const { return install_dir + L"ordex.exe"; }
};

std::optional<ActionData> ParseActionData(std::wstring_view data) {
  constexpr std::wstring_view kNoStart = L"NOSTART=";
  constexpr std::wstring_view kInstallDir = L";INSTALLDIR=";
  const std::size_t at = data.find(kInstallDir);
  if (!data.starts_with(kNoStart) || at == std::wstring_view::npos) return std::nullopt;
  ActionData parsed{std::wstring(data.substr(at + kInstallDir.size())),
                    data.substr(kNoStart.size(), at - kNoStart.size()) == L"1"};
  if (parsed.install_dir.empty()) return std::nullopt;
  if (parsed.install_dir.back() != L'\\') parsed.install_dir += L'\\';
  return parsed;
}

std::wstring CustomActionData(MSIHANDLE install) {
  wchar_t empty[1] = {};
  DWORD length = 0;
  if (::MsiGetPropertyW(install, L"CustomActionData", empty, &length) != ERROR_MORE_DATA) {
    return std::wstring();
  }
  std::wstring data(length + 1, L'\0');
  length = static_cast<DWORD>(data.size());
  if (::MsiGetPropertyW(install, L"CustomActionData", data.data(), &length) != ERROR_SUCCESS) {
    return std::wstring();
  }
  data.resize(length);
  return data;
}

// Runs `action` with the action's data. Only data the package did not give, or an error nothing
// below could report, fails the installation: what cannot be done to a running ORDEX is logged,
// and the installation goes on as it would without these actions.
template <typename Action>
UINT Run(MSIHANDLE install, const wchar_t* name, Action action) {
  const InstallLog log(install);
  try {
    const std::wstring data = CustomActionData(install);
    const std::optional<ActionData> parsed = ParseActionData(data);
    if (!parsed) {
      log.Line(std::wstring(name) + L": no INSTALLDIR in its CustomActionData '" + data + L"'");
      return ERROR_INSTALL_FAILURE;
    }
    action(*parsed, log);
    return ERROR_SUCCESS;
  } catch (const std::exception& e) {
    // Out of memory, most likely: the line may not be made either, and nothing may leave here.
    try {
      log.Line(std::wstring(name) + L" failed: " + WideFromCodePage(e.what()));
    } catch (const std::exception&) {
    }
    return ERROR_INSTALL_FAILURE;
  }
}

}  // namespace
}  // namespace ordex

// Before any ORDEX file is replaced or removed: every ORDEX, in every session, ends.
extern "C" UINT __stdcall CloseOrdexForUpdate(MSIHANDLE install) {
  return ordex::Run(install, L"CloseOrdexForUpdate",
                    [](const ordex::ActionData& data, const ordex::InstallLog& log) {
                      ordex::CloseEveryOrdex(data.Program(), log);
                    });
}

// At the end of every installation, removals included: ORDEX may run again. Needs no data.
extern "C" UINT __stdcall ResetOrdexCloseSignal(MSIHANDLE install) {
  try {
    ordex::ResetCloseSignal(ordex::InstallLog(install));
    return ERROR_SUCCESS;
  } catch (const std::exception&) {
    return ERROR_INSTALL_FAILURE;  // out of memory: nothing could be said of it
  }
}

// After an install, upgrade or repair (not a removal, not with NOSTART=1): ORDEX in every
// session where a user is logged on.
extern "C" UINT __stdcall StartOrdexInEverySession(MSIHANDLE install) {
  return ordex::Run(install, L"StartOrdexInEverySession",
                    [](const ordex::ActionData& data, const ordex::InstallLog& log) {
                      ordex::StartOrdexInEverySession(data.Program(), data.install_dir, log);
                    });
}

// The rollback of the close: a failed or cancelled installation leaves the signal reset and,
// where the rollback has put ordex.exe back and NOSTART is not 1, ORDEX running again as
// before.
extern "C" UINT __stdcall UndoOrdexClose(MSIHANDLE install) {
  return ordex::Run(install, L"UndoOrdexClose",
                    [](const ordex::ActionData& data, const ordex::InstallLog& log) {
                      ordex::ResetCloseSignal(log);
                      if (data.no_start) return;
                      if (::GetFileAttributesW(data.Program().c_str()) == INVALID_FILE_ATTRIBUTES) {
                        return;
                      }
                      ordex::StartOrdexInEverySession(data.Program(), data.install_dir, log);
                    });
}
