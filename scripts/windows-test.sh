#!/usr/bin/env bash
# Builds the Windows executable (preset "windows", 32-bit MinGW-w64; "windows-x64" where this
# kernel cannot run 32-bit programs, see choose_wine), runs the cross-built test
# suite under Wine and proves ordex.exe end to end in a fresh Wine prefix under Xvfb: start-up
# with default settings, the summary file byte for byte, the settings written back, a second
# instance refused, another session's collector waited for, a change of $Machine.dat seen by a
# running instance (the facts key byte for byte as the summary after start-up and after the
# change, in the 32-bit view only), and a screenshot of the
# shown window in build/<preset>/artifacts/. It does so in a 32-bit prefix and again in a 64-bit
# (WoW64) one (only the latter with the 64-bit build), where decoys in the 64-bit registry view
# must not be read, then proves the MSI package (scripts/msi-test.sh), the signing of a build
# (scripts/signing-test.sh) and that a second build of the same source gives the same bytes
# (scripts/reproducible-test.sh). Idempotent; installs what it needs with apt-get.
#
# Each check is a function; the list at the end calls them in order, once outside the display
# (the builds, then this script again under Xvfb for each prefix, the package, the signing) and
# once inside it (the checks in a prefix).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

if [ "${1:-}" != --inside-display ]; then
  SECONDS=0
  ensure_packages cmake make g++-mingw-w64-i686-posix googletest wine wine32:i386 wine64 xvfb \
    xauth x11-utils x11-apps imagemagick wixl msitools python3-jsonschema
  choose_wine
fi

readonly PRESET=$ORDEX_WINDOWS_PRESET
readonly BUILD=build/$PRESET
readonly ARTIFACTS=$BUILD/artifacts
readonly ORDEX_EXE=$BUILD/ordex.exe
# What start_ordex's runs print (with WINEDEBUG=+file, each file call).
readonly ORDEX_STDERR=$ARTIFACTS/ordex-stderr.txt
# What a self-contained Win32 program may import: Windows' own DLLs.
readonly ALLOWED_DLLS='^(kernel32|user32|gdi32|advapi32|comctl32|msvcrt)\.dll$'
# What the package's custom actions may import besides: Windows Installer's and the sessions'.
readonly ALLOWED_SETUP_DLLS='^(kernel32|user32|advapi32|msvcrt|msi|wtsapi32|userenv)\.dll$'
readonly VERSION_KEY="HKLM\\$VersionKey"
readonly SETTINGS_KEY="HKLM\\$SettingsKey"
readonly POLICY_KEY="HKLM\\$PolicyKey"
readonly FACTS_KEY="HKLM\\$FactsKey"

# ---- Helpers the checks share.

reg_add() { wine reg add "$@" /reg:32 /f >/dev/null; }
reg_add_64() { wine reg add "$@" /reg:64 /f >/dev/null; }

# reg_dword KEY NAME: the value as reg prints it (0x2710), or nothing.
reg_dword() {
  wine reg query "$1" /v "$2" /reg:32 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name && $2 == "REG_DWORD" {print $3}'
}

# dword_is KEY NAME VALUE: whether the value reads VALUE now; for wait_for, which runs its
# command anew each time (a substitution in its arguments would be read once).
dword_is() { [ "$(reg_dword "$1" "$2")" = "$3" ]; }

expected_summary() {
  printf 'Version: 1.3b\r\nSteuerung: V8.6.1\r\nBSVersion: BR 8.6\r\nName: %s\r\n' "$computer_name"
  printf 'IPO: 12\r\nZusatz-Achsen: %s\r\nSensor: SENSOR-A_2.0\r\n' "$1"
}

summary_is() { [ -f "$summary" ] && cmp -s "$summary" <(expected_summary "$1"); }

# facts_are CHANGES: every line of the summary file stands in the facts key of the 32-bit view
# under its name, byte for byte as a REG_SZ, and ChangeCount is the DWORD CHANGES.
facts_are() {
  local facts line name
  [ -f "$summary" ] || return 1
  facts=$(wine reg query "$FACTS_KEY" /reg:32 2>/dev/null | tr -d '\r') || return 1
  while IFS= read -r line; do
    line=${line%$'\r'}
    name=${line%%: *}
    grep -qxF "    $name    REG_SZ    ${line#*: }" <<<"$facts" || return 1
  done <"$summary"
  grep -qxF "    ChangeCount    REG_DWORD    $1" <<<"$facts"
}

# The viewable top-level window captioned "ORDEX", as an X window id.
shown_window() {
  xwininfo -name ORDEX 2>/dev/null | grep -q 'Map State: IsViewable' || return 1
  xwininfo -name ORDEX | awk '/Window id:/ {print $4}'
}

start_ordex() {
  wine "$ORDEX_EXE" 2>>"$ORDEX_STDERR" &
  wine_pids+=($!)
}

# Ends the running instance the way Task Manager's "End task" does (WM_CLOSE) and checks that
# it leaves with status 0.
close_ordex() {
  local pid=${wine_pids[-1]} status=0
  wine taskkill /IM ordex.exe >/dev/null
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "ordex.exe ended with status $status when closed"
}

# still_running WHEN: fails unless the instance started last is still running.
still_running() { kill -0 "${wine_pids[-1]}" 2>/dev/null || fail "ordex.exe ended: $1"; }

# With WINEDEBUG=+file, Wine traces each file call of ORDEX's, so that a check that nothing
# happened first sees that ORDEX worked meanwhile. file_calls LOG PATTERN: how many of the calls
# traced in LOG so far name a file matching PATTERN.
file_calls() { grep -ac "trace:file:.*$2" "$1" || true; }
# came_back LOG PATTERN BEFORE: whether ORDEX has turned to that file three times since it had
# BEFORE calls, as passes do.
came_back() { [ "$(file_calls "$1" "$2")" -ge $(($3 + 3)) ]; }

# worked_on PATTERN BEFORE: waits until the instance start_ordex started has turned to the held
# file matching PATTERN a few times since it had BEFORE calls.
worked_on() {
  wait_for 20 came_back "$ORDEX_STDERR" "$1" "$2" ||
    fail "ordex.exe did not turn to $1 while it was held: $(file_calls "$ORDEX_STDERR" "$1") calls"
}

# hold FILE none|read SECONDS: holds FILE (a Windows path) with that share mode in another
# Windows program (hold_file_win32.exe), in the background once it has it; its pid in hold_pid.
hold() {
  wine "$BUILD/tests/hold_file_win32.exe" "$1" "$2" "$3" >"$work/hold.txt" 2>&1 &
  hold_pid=$!
  wait_for 30 grep -q held "$work/hold.txt" || fail "the holder did not get $1: $(cat "$work/hold.txt")"
}

# set_count N: rewrites $Machine.dat in place (a holder's handle stays on the same file).
set_count() {
  sed "s/\$EX_AX_NUM=[0-9]* /\$EX_AX_NUM=$1 /" "$machine_data" >"$work/mada"
  cat "$work/mada" >"$machine_data"
}

# current_count: the number of external axes the machine data file holds now.
current_count() { sed -n 's/.*\$EX_AX_NUM=\([0-9]*\).*/\1/p' "$machine_data"; }

# ---- The checks, in the order of the list at the end.

# build_windows PRESET MINGW_PREFIX: builds the preset and checks that its ordex.exe, and the
# package's custom actions, import nothing but Windows' own DLLs, and holds its bill of
# materials and notices against the schema and the build.
build_windows() {
  local log=$PWD/build/logs/$1.log file allowed dlls
  mkdir -p "${log%/*}"
  rm -f "$log"
  echo "== $1 build (output: $log)"
  run_logged "$log" cmake --preset "$1"
  run_logged "$log" cmake --build --preset "$1"
  # Debian's python, which has python3-jsonschema.
  /usr/bin/python3 tests/release_files_check.py "build/$1" \
    "build/$1/ordex-$(build_version "build/$1").cdx.json"
  for file in ordex.exe:"$ALLOWED_DLLS" ordex_setup.dll:"$ALLOWED_SETUP_DLLS"; do
    allowed=${file#*:}
    file=build/$1/${file%%:*}
    dlls=$("$2-objdump" -p "$file" | awk '/DLL Name:/ {print $3}')
    # shellcheck disable=SC2086  # one line, the names apart
    echo "imported DLLs of $file:" $dlls
    if echo "$dlls" | grep -viE "$allowed"; then
      echo "FAIL: $file needs a DLL that is not part of Windows" >&2
      exit 1
    fi
  done
}

# The prefix booted, Wine drawing the caption bar, its computer name (for the summary) in
# computer_name.
fresh_prefix() {
  mkdir -p "$ARTIFACTS"
  rm -f "$ARTIFACTS"/*.png "$ORDEX_STDERR"
  echo "== fresh $WINEARCH Wine prefix"
  wine wineboot --init >/dev/null 2>&1
  # Wine draws the caption bar itself, so that the screenshot shows it without a window manager.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null
  computer_name=$(wine reg query 'HKLM\System\CurrentControlSet\Control\ComputerName\ComputerName' \
    /v ComputerName | tr -d '\r' | awk '$1 == "ComputerName" {print $3}')
  [ -n "$computer_name" ] || fail "no computer name in the Wine registry"
  echo "prefix ready after ${SECONDS}s"
}

cross_built_tests() {
  echo "== cross-built tests under Wine"
  # Once is enough: in the 32-bit prefix, or in the 64-bit one where the build is 64-bit.
  if ! { [ "$WINEARCH" = win64 ] && [ "$PRESET" = windows ]; }; then
    local tests_log=$PWD/build/logs/$PRESET-tests-$WINEARCH.log
    rm -f "$tests_log"
    run_ctest "$tests_log" --preset "$PRESET"
  fi
}

first_start_with_default_settings() {
  echo "== end to end: first start with default settings"
  mkdir -p "$install_dir"
  cp -r examples/ROBOTER "$install_dir/"
  reg_add "$VERSION_KEY" /v XOCVersion /t REG_SZ /d 'V8.6.1'
  reg_add "$VERSION_KEY" /v Version /t REG_SZ /d 'BR 8.6'
  # As group policy preferences and installers write a path: expandable, read expanded.
  reg_add "$VERSION_KEY" /v InstallationDir /t REG_EXPAND_SZ /d '%SystemDrive%\XOC'
  start_ordex
  wait_for 30 summary_is 2 || fail "summary file after start-up: $(cat -A "$summary" 2>&1)"
  wait_for 10 dword_is "$SETTINGS_KEY" TimerInterval 0x2710 ||
    fail "TimerInterval is '$(reg_dword "$SETTINGS_KEY" TimerInterval)', not 10000"
  wait_for 10 dword_is "$SETTINGS_KEY" Visible 0x0 ||
    fail "Visible is '$(reg_dword "$SETTINGS_KEY" Visible)', not 0"
  shown_window >/dev/null && fail "the window is shown although Visible = 0"
  echo "summary file and default settings as expected; window hidden"
}

# While the instance that the first start started runs; closes it.
second_instance_refused() {
  local stamp started second_status=0
  echo "== a second instance is refused"
  stamp=$(stat -c %y "$summary")
  started=$SECONDS
  timeout 30 wine "$ORDEX_EXE" || second_status=$?
  [ "$second_status" -eq 0 ] || fail "the second instance ended with status $second_status"
  [ "$(stat -c %y "$summary")" = "$stamp" ] || fail "the second instance wrote the summary file"
  kill -0 "${wine_pids[-1]}" 2>/dev/null || fail "the first instance is gone"
  echo "refused with status 0 after $((SECONDS - started))s; summary file untouched"
  close_ordex
}

# Also measures the window at 96 dpi, in width_at_96_dpi, for window_at_higher_dpi.
change_seen_in_shown_window() {
  local window
  echo "== end to end: shown window, fast timer, a change of \$Machine.dat"
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 500
  # Without /t, as administrators often write it: REG_SZ "1", read as the number.
  reg_add "$SETTINGS_KEY" /v Visible /d 1
  rm -f "$summary"
  start_ordex
  wait_for 30 summary_is 2 || fail "summary file after the second start: $(cat -A "$summary" 2>&1)"
  wait_for 10 facts_are 0x0 || fail "facts after start-up: $(wine reg query "$FACTS_KEY" /reg:32)"
  wait_for 20 shown_window >/dev/null || fail "no viewable window captioned ORDEX"
  sed -i 's/\$EX_AX_NUM=2 /$EX_AX_NUM=3 /' "$machine_data"
  wait_for 20 summary_is 3 || fail "the change of \$Machine.dat was not seen: $(cat -A "$summary")"
  wait_for 10 facts_are 0x1 || fail "facts after a change: $(wine reg query "$FACTS_KEY" /reg:32)"
  echo "change seen and written, to the summary and the facts key"
  sleep 1  # one more tick, so that the window shows the count
  window=$(shown_window)
  width_at_96_dpi=$(xwininfo -id "$window" | awk '/Width:/ {print $2}')
  xwd -silent -id "$window" | convert xwd:- "$ARTIFACTS/ordex-window.png"
  echo "screenshot of window $window: $ARTIFACTS/ordex-window.png"
  close_ordex
}

run_time_error_ends_with_status_1() {
  local error_status=0
  echo "== a run-time error ends the program with status 1 and its message"
  reg_add "$VERSION_KEY" /v InstallationDir /t REG_SZ /d 'C:\Missing'
  # Wine keeps no event log: it prints each event on its eventlog debug channel. This copy of
  # ordex.exe has no registered event source, and still logs.
  WINEDEBUG=+eventlog timeout 30 wine "$ORDEX_EXE" 2>"$work/error.txt" || error_status=$?
  [ "$error_status" -eq 1 ] || fail "status $error_status for a missing installation, not 1"
  # The system's words differ with the language (and under Wine); the code after them does not.
  grep -q '^ordex: cannot open C:\\Missing\\ROBOTER\\INIT\\hw_inf.ini: .* (error [0-9]*)'$'\r''$' "$work/error.txt" ||
    fail "message for a missing installation, with its error code: $(cat "$work/error.txt")"
  grep -a 'err:eventlog' "$work/error.txt" | grep -aF 'C:\\Missing\\ROBOTER\\INIT\\hw_inf.ini' |
    grep -qa ' (error [0-9]*)"$' ||
    fail "no error with its code in the event log from an unregistered source: $(grep -a eventlog "$work/error.txt")"
  shown_window >/dev/null && fail "a window is shown after a failed start-up"
  grep -a '^ordex: ' "$work/error.txt"
}

insertion_codes_disarmed() {
  local event
  echo "== insertion codes quoted from a file reach the event log in a form no viewer expands"
  reg_add "$VERSION_KEY" /v InstallationDir /t REG_SZ /d 'C:\Codes'
  mkdir -p "$WINEPREFIX/drive_c/Codes/ROBOTER/INIT"
  printf '[CLOCK]\r\nsystem clock=%%1 %%%%1\r\nlayer2=6\r\n' \
    >"$WINEPREFIX/drive_c/Codes/ROBOTER/INIT/hw_inf.ini"
  WINEDEBUG=+eventlog timeout 30 wine "$ORDEX_EXE" 2>"$work/codes.txt" || true
  grep -aq "^ordex: .*hw_inf.ini:2: '%1 %%1' is not a number" "$work/codes.txt" ||
    fail "the error line quoting the file: $(grep -a '^ordex' "$work/codes.txt")"
  event=$(grep -a 'err:eventlog' "$work/codes.txt" | grep -aF 'hw_inf.ini') ||
    fail "no error event quoting the file: $(grep -a eventlog "$work/codes.txt")"
  # Wine prints the string as a C literal, each fullwidth percent sign as \ff05.
  case $event in
    *"'\ff051 \ff05\ff051'"*) echo "event text: ${event#*err:eventlog:}" ;;
    *) fail "the event text still holds an insertion code: $event" ;;
  esac
}

window_at_higher_dpi() {
  local dpi result window width
  echo "== the window at 120, 144 and 192 dpi"
  reg_add "$VERSION_KEY" /v InstallationDir /t REG_SZ /d 'C:\XOC'
  # The window's tests (their layout, its font, and every caption's text measured against its
  # label) at each DPI; the cross-built suite ran them at 96. The window is looked at after the
  # last.
  for dpi in 120 144 192; do
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    wineserver -k  # the display resolution is read when Wine starts
    wineserver -w
    result=$(WINEDEBUG=-all wine "$BUILD/tests/ordex_tests.exe" --gtest_filter='Win32Window*' \
      --gtest_brief=1) || fail "the window's tests at $dpi dpi: $result"
    # Under Xvfb every window test can run: one that skips has tested nothing at this DPI.
    ! grep -q '^\[  SKIPPED \]' <<<"$result" && grep -q '^\[  PASSED  \] [1-9]' <<<"$result" ||
      fail "the window's tests did not all run at $dpi dpi: $result"
    echo "$dpi dpi: $(grep '^\[  PASSED  \]' <<<"$result")"
  done
  start_ordex
  wait_for 30 shown_window >/dev/null || fail "no viewable window captioned ORDEX at $dpi dpi"
  window=$(shown_window)
  width=$(xwininfo -id "$window" | awk '/Width:/ {print $2}')
  [ "$width" -ge $((width_at_96_dpi * (dpi - 10) / 96)) ] ||
    fail "the window is $width pixels wide at $dpi dpi, $width_at_96_dpi at 96 dpi"
  xwd -silent -id "$window" | convert xwd:- "$ARTIFACTS/ordex-window-${dpi}dpi.png"
  echo "$width pixels wide (96 dpi: $width_at_96_dpi): $ARTIFACTS/ordex-window-${dpi}dpi.png"
  close_ordex
}

# In a 64-bit prefix only.
view_64_bit_neither_read_nor_written() {
  echo "== 64-bit Windows: the 64-bit registry view is neither read nor written"
  reg_add_64 "$VERSION_KEY" /v XOCVersion /t REG_SZ /d 'decoy'
  reg_add_64 "$VERSION_KEY" /v InstallationDir /t REG_SZ /d 'C:\Decoy'
  reg_add_64 "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 1
  reg_add "$VERSION_KEY" /v InstallationDir /t REG_SZ /d 'C:\XOC'
  wine reg delete "$SETTINGS_KEY" /reg:32 /f >/dev/null
  rm -f "$summary"
  start_ordex
  wait_for 30 summary_is 3 || fail "summary file beside 64-bit decoys: $(cat -A "$summary" 2>&1)"
  wait_for 10 dword_is "$SETTINGS_KEY" TimerInterval 0x2710 ||
    fail "no default TimerInterval in the 32-bit view"
  wait_for 10 dword_is "$SETTINGS_KEY" Visible 0x0 ||
    fail "no default Visible in the 32-bit view"
  shown_window >/dev/null && fail "the window is shown: Visible was read from the 64-bit view"
  wine reg query "$SETTINGS_KEY" /v TimerInterval /reg:64 >/dev/null 2>&1 &&
    fail "a default was written into the 64-bit view"
  wait_for 10 facts_are 0x0 || fail "no facts in the 32-bit view"
  wine reg query "$FACTS_KEY" /reg:64 >/dev/null 2>&1 && fail "facts written into the 64-bit view"
  close_ordex
  echo "decoys ignored; defaults in the 32-bit view only"
}

# The events of a real run as Wine passes them to the event log: started with the summary's
# values, one event for a change, the end when the window is closed; and, with the argument
# with-policy (the 64-bit prefix), a policy written into the 64-bit view as Group Policy's client
# writes it, followed over the setting at the next refresh and dropped once it is removed.
events_and_policy() {
  local log=$work/events.txt started_id changed_id ended_id started
  local summary_path='C:\\XOC\\ROBOTER\\IBGN\\Xoc\\R1\\IBGN\\Tarvex.ini'
  local mada_path='C:\\XOC\\ROBOTER\\XOC\\R1\\Mada\\$Machine.dat'
  started_id=$(event_id ORDEX_MSG_STARTED)
  changed_id=$(event_id ORDEX_MSG_CHANGED)
  ended_id=$(event_id ORDEX_MSG_ENDED)
  echo "== events in the log${1:+, a policy from the 64-bit view}"
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 300
  reg_add "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 0
  [ -z "${1:-}" ] || reg_add_64 "$POLICY_KEY" /v Visible /t REG_DWORD /d 1
  rm -f "$summary"
  WINEDEBUG=+eventlog,+advapi,+file wine "$ORDEX_EXE" 2>"$log" &
  wine_pids+=($!)
  wait_for 30 summary_is 3 || fail "summary file with events logged: $(cat -A "$summary" 2>&1)"
  if [ -n "${1:-}" ]; then
    wait_for 20 shown_window >/dev/null || fail "the policy Visible = 1 was not followed"
    wine reg delete "$POLICY_KEY" /reg:64 /f >/dev/null
    wait_for 20 sh -c "! xwininfo -name ORDEX 2>/dev/null | grep -q IsViewable" ||
      fail "the window stays shown after the policy was removed (the setting says 0)"
    echo "policy from the 64-bit view followed, and dropped when removed"
  fi
  sed -i 's/\$EX_AX_NUM=3 /$EX_AX_NUM=4 /' "$machine_data"
  wait_for 20 summary_is 4 || fail "the change was not seen with events logged"
  # Passes after the change, so that a second changed event had its chance.
  wait_for 20 came_back "$log" 'Machine\.dat' "$(file_calls "$log" 'Machine\.dat')" ||
    fail "no pass after the change"
  close_ordex
  logged_events "$log" >"$work/events.list"
  started="$started_id|1.3b|V8.6.1|BR 8.6|$computer_name|12|3|SENSOR-A_2.0|$summary_path"
  # After the summary's path: ORDEX's own version, the session and the user it runs as.
  local version line
  version=$(build_version "build/$PRESET")
  line=$(grep -F "$started|" "$work/events.list" | head -n 1)
  [[ ${line#"$started|"} =~ ^${version//./\\.}\|[0-9]+\|[^|]+$ ]] ||
    fail "no started event '$started' in: $(cat "$work/events.list")"
  [ "$(grep -c "^$changed_id|" "$work/events.list")" = 1 ] &&
    grep -qxF "$changed_id|3|4|1|$mada_path" "$work/events.list" ||
    fail "not one changed event from 3 to 4: $(cat "$work/events.list")"
  grep -qxF "$ended_id|window closed|1" "$work/events.list" ||
    fail "no ended event: $(cat "$work/events.list")"
  cat "$work/events.list"
  sed -i 's/\$EX_AX_NUM=4 /$EX_AX_NUM=3 /' "$machine_data"
}

# The heartbeat as Wine passes it to the event log: Form1 in the cross-built tests, on a clock
# moved on by a day (the program's own period is a day, and fixed).
heartbeat_in_the_log() {
  local log=$work/heartbeat.txt mada_path='C:/XOC/ROBOTER/XOC/R1/Mada/$Machine.dat' heartbeat_id
  heartbeat_id=$(event_id ORDEX_MSG_STILL_WATCHING)
  echo "== the heartbeat in the log"
  WINEDEBUG=+eventlog,+advapi wine "$BUILD/tests/ordex_tests.exe" \
    --gtest_filter='HeartbeatToTheEventLog.*' --gtest_brief=1 >"$work/heartbeat.out" 2>"$log" ||
    fail "the heartbeat's test: $(cat "$work/heartbeat.out")"
  logged_events "$log" >"$work/heartbeat.list"
  grep -qxF "$heartbeat_id|1|0|0|$mada_path|none" "$work/heartbeat.list" ||
    fail "no heartbeat event: $(cat "$work/heartbeat.list")"
  cat "$work/heartbeat.list"
}

# Windows Installer closes a running ORDEX before an update through the Restart Manager
# (end_session_win32.exe sends the same messages; Wine's installer closes nothing): ORDEX agrees,
# ends with status 0 and leaves the summary whole. Wine's relay trace shows the process calls
# that Wine cannot act on: the error mode first, no error reporting dialog, the registration to
# come back after an update only, all before the first file or instance check.
closed_for_an_update() {
  local pid status=0 count calls
  echo "== closed for an update as Windows Installer does; registered to come back"
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f \
    /d 'KERNEL32.SetErrorMode;KERNEL32.WerSetFlags;KERNEL32.RegisterApplicationRestart;KERNEL32.CreateMutexA' \
    >/dev/null
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 200
  reg_add "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 0
  count=$(current_count)
  rm -f "$summary"
  WINEDEBUG=+relay,+file wine "$ORDEX_EXE" 2>"$work/relay.txt" &
  pid=$!
  wine_pids+=("$pid")
  wait_for 30 summary_is "$count" || fail "summary file after start-up: $(cat -A "$summary" 2>&1)"
  # A few passes, so that the close comes in the midst of work.
  wait_for 20 came_back "$work/relay.txt" 'Machine\.dat' \
    "$(file_calls "$work/relay.txt" 'Machine\.dat')" || fail "no pass before the close"
  wine "$BUILD/tests/end_session_win32.exe" >"$work/end_session.txt" ||
    fail "the close for an update failed: $(cat "$work/end_session.txt")"
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "ordex.exe ended with status $status when closed for an update"
  summary_is "$count" || fail "summary file after the close: $(cat -A "$summary")"
  tr -d '\r' <"$work/end_session.txt"
  calls=$(grep -aoE 'Call KERNEL32\.[A-Za-z]+\([0-9a-f,]*' "$work/relay.txt" | head -n 4 |
    cut -d. -f2 | sed 's/^CreateMutexA(.*/CreateMutexA/' | tr '\n' ' ')
  [ "$calls" = 'SetErrorMode(00008001 WerSetFlags(00000002 RegisterApplicationRestart(00000000,0000000b CreateMutexA ' ] ||
    fail "process calls at start-up: $calls"
  echo "error mode 0x8001, crashes queued without a dialog (0x2), restart after updates only (0xb), then the instance check"
}

# start_ordex_while_hw_inf_held LOG: holds hw_inf.ini as another program does, starts ORDEX
# (its event log calls traced into LOG) and waits until its start-up waits for the file; sets
# ordex_pid and hold_pid. stop_holding lets go of the file.
start_ordex_while_hw_inf_held() {
  rm -f "$summary"
  hold 'C:\XOC\ROBOTER\INIT\hw_inf.ini' none 15
  WINEDEBUG=+eventlog,+advapi wine "$ORDEX_EXE" 2>"$1" &
  ordex_pid=$!
  wine_pids+=("$ordex_pid")
  sleep 2  # into start-up's wait for hw_inf.ini
}
stop_holding() {
  kill "$hold_pid" 2>/dev/null || true
  wait "$hold_pid" 2>/dev/null || true
}

# The same close while start-up waits for a hw_inf.ini that another program holds: ORDEX answers
# within a second (start-up's waits go on handling the window's messages), ends with status 0,
# writes no summary and reports its end, and no start.
closed_during_start_up() {
  local status=0 answers answered ended ended_id
  ended_id=$(event_id ORDEX_MSG_ENDED)
  echo "== closed for an update while start-up waits for a held hw_inf.ini"
  start_ordex_while_hw_inf_held "$work/start-up-close.txt"
  wine "$BUILD/tests/end_session_win32.exe" >"$work/end_session.txt" ||
    fail "the close during start-up failed: $(cat "$work/end_session.txt")"
  wait "$ordex_pid" || status=$?
  stop_holding
  [ "$status" -eq 0 ] || fail "ordex.exe ended with status $status when closed during start-up"
  [ ! -e "$summary" ] || fail "a summary file was written after the close during start-up"
  answers=$(tr -d '\r' <"$work/end_session.txt")
  answered=$(echo "$answers" | sed -n 's/^WM_QUERYENDSESSION answered TRUE in \([0-9]*\) ms$/\1/p')
  ended=$(echo "$answers" | sed -n 's/^ended \([0-9]*\) ms after WM_ENDSESSION$/\1/p')
  [ -n "$answered" ] && [ "$answered" -lt 1000 ] && [ -n "$ended" ] && [ "$ended" -lt 1000 ] ||
    fail "not answered and ended within a second: $(cat "$work/end_session.txt")"
  logged_events "$work/start-up-close.txt" >"$work/start-up-close.list"
  [ "$(cat "$work/start-up-close.list")" = "$ended_id|stop request|0" ] ||
    fail "events of a start-up closed for an update: $(cat "$work/start-up-close.list")"
  echo "$answers"
}

# A logoff while start-up waits for a held hw_inf.ini, the process ended the moment its
# WM_ENDSESSION returns, as Windows may: the end (event 12) is in the log all the same, since
# ORDEX reports it while it handles the message.
logoff_during_start_up() {
  local ended_id
  ended_id=$(event_id ORDEX_MSG_ENDED)
  echo "== a logoff during start-up, the process ended as WM_ENDSESSION returns"
  start_ordex_while_hw_inf_held "$work/logoff.txt"
  wine "$BUILD/tests/end_session_win32.exe" --logoff >"$work/end_session.txt" ||
    fail "the logoff failed: $(cat "$work/end_session.txt")"
  # (Wine's launcher reports 0 for a process ended from outside.)
  wait "$ordex_pid" || true
  stop_holding
  logged_events "$work/logoff.txt" >"$work/logoff.list"
  [ "$(cat "$work/logoff.list")" = "$ended_id|end of session|0" ] ||
    fail "events of a start-up ended by a logoff: $(cat "$work/logoff.list")"
  echo "ended as WM_ENDSESSION returned; its end is in the log: $(cat "$work/logoff.list")"
}

# A controller version of 40,000 characters (longer than the event log takes, and than a command
# line: reg import, not reg add): ORDEX starts, and its started event (10) is reported with the
# version cut to 31,839 characters and marked. Wine takes longer strings and shortens what it
# traces, so this shows the event handed over whole; the cut itself is the portable rule's
# (EventInsertionStrings in the Linux tests).
long_version_reported() {
  local long started_id
  started_id=$(event_id ORDEX_MSG_STARTED)
  echo "== a version of 40,000 characters still gets its started event"
  long=$(printf 'V%.0s' $(seq 40000))
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n"XOCVersion"="%s"\r\n' \
    "$VersionKey" "$long" >"$work/long.reg"
  wine reg import "Z:${work//\//\\}\\long.reg" /reg:32 >/dev/null 2>&1 ||
    fail "the long version could not be imported"
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 300
  reg_add "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 0
  rm -f "$summary"
  WINEDEBUG=+eventlog,+advapi wine "$ORDEX_EXE" 2>"$work/long.txt" &
  wine_pids+=($!)
  wait_for 30 grep -q "^Steuerung: $long"$'\r'"\$" "$summary" 2>/dev/null ||
    fail "no summary with the long version"
  close_ordex
  reg_add "$VERSION_KEY" /v XOCVersion /t REG_SZ /d 'V8.6.1'
  logged_events "$work/long.txt" >"$work/long.list"
  grep -q "^$started_id|1\\.3b|VVVV" "$work/long.list" ||
    fail "no started event with the long version: $(cut -c 1-200 "$work/long.list")"
  echo "started event reported: $(grep "^$started_id|" "$work/long.list" | cut -c 1-60)..."
}

# A machine data file missing for longer than a moment: its lasting condition (event 20) carries
# the system's words with the error's code, the part a collector's rule matches on a PC of any
# language. Wine's words are always English.
condition_carries_the_error_code() {
  local log=$work/condition.txt count begun_id
  begun_id=$(event_id ORDEX_MSG_CONDITION_BEGUN)
  echo "== a lasting condition's event carries the system error's code"
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 300
  reg_add "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 0
  count=$(current_count)
  rm -f "$summary"
  WINEDEBUG=+eventlog,+advapi wine "$ORDEX_EXE" 2>"$log" &
  wine_pids+=($!)
  wait_for 30 summary_is "$count" || fail "summary file before the condition: $(cat -A "$summary" 2>&1)"
  mv "$machine_data" "$work/mada.kept"
  # Reported once it has lasted 10 s and 3 passes.
  wait_for 30 grep -q 'warn:eventlog.*(error' "$log" || fail "no lasting condition reported"
  mv "$work/mada.kept" "$machine_data"
  close_ordex
  logged_events "$log" >"$work/condition.list"
  grep -q "^$begun_id|machine data file missing|.*|cannot open [^|]*: [^|]* (error 2)\$" \
    "$work/condition.list" || fail "no error code in the condition's event: $(cat "$work/condition.list")"
  grep "^$begun_id|" "$work/condition.list"
}

# Files held by other Windows programs (hold_file_win32.exe): $Machine.dat and Tarvex.ini shared
# with no one while the count changes, hw_inf.ini held at start-up. ordex.exe waits each out,
# keeps running, and the summary ends up with the latest count; holds of a few seconds are
# moments, and no line reports them. (Windows' ReplaceFile opens the replaced file with DELETE
# access, so a reader that shares reading only holds the rewrite up too, as documented on
# ReplaceFileA's page; Wine's replaces it all the same, so that hold would prove nothing here.)
held_files_waited_out() {
  local hold_pid win_dir='C:\XOC\ROBOTER' calls
  echo "== files held by other programs"
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 200
  reg_add "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 0
  set_count 3
  rm -f "$summary"
  WINEDEBUG=+file start_ordex
  wait_for 30 summary_is 3 || fail "summary file after start-up: $(cat -A "$summary" 2>&1)"

  hold "$win_dir\\XOC\\R1\\Mada\\\$Machine.dat" none 3
  calls=$(file_calls "$ORDEX_STDERR" 'Machine\.dat')
  set_count 4
  worked_on 'Machine\.dat' "$calls"
  still_running "while \$Machine.dat was held"
  summary_is 3 || fail "a count was taken from a held \$Machine.dat: $(cat -A "$summary")"
  wait "$hold_pid"
  wait_for 20 summary_is 4 || fail "the count of a released \$Machine.dat: $(cat -A "$summary")"
  echo "\$Machine.dat held with share mode 0: waited out, count 4 written"

  hold "$win_dir\\IBGN\\Xoc\\R1\\IBGN\\Tarvex.ini" none 3
  calls=$(file_calls "$ORDEX_STDERR" 'Tarvex\.ini')
  set_count 5
  worked_on 'Tarvex\.ini' "$calls"
  still_running "while Tarvex.ini was held"
  summary_is 4 || fail "the summary changed while it was held: $(cat -A "$summary")"
  wait "$hold_pid"
  wait_for 20 summary_is 5 || fail "the summary after its holder let go: $(cat -A "$summary")"
  still_running "after Tarvex.ini was released"
  echo "Tarvex.ini held: count 4 kept meanwhile, the pending rewrite landed with count 5"
  close_ordex

  rm -f "$summary"
  hold "$win_dir\\INIT\\hw_inf.ini" none 5
  calls=$(file_calls "$ORDEX_STDERR" 'hw_inf\.ini')
  WINEDEBUG=+file start_ordex
  worked_on 'hw_inf\.ini' "$calls"
  [ -f "$summary" ] && fail "start-up read hw_inf.ini while it was held"
  still_running "at start-up while hw_inf.ini was held"
  wait "$hold_pid"
  wait_for 30 summary_is 5 || fail "summary after hw_inf.ini was released: $(cat -A "$summary" 2>&1)"
  still_running "after hw_inf.ini was released"
  echo "hw_inf.ini held at start-up: waited out"
  close_ordex

  ! grep -a 'ordex: warning' "$ORDEX_STDERR" ||
    fail "a hold of a few seconds was reported: $(cat "$ORDEX_STDERR")"
}

# Wine runs one session, so a helper holding only Global\ORDEX.Collector (hold_file_win32.exe)
# stands for another session's collector: ORDEX waits, hidden, and writes nothing (no summary
# file, no event at all), then collects within moments of the holder's end, starting up afresh.
waits_for_another_sessions_collector() {
  local log=$work/standby.txt count started_id events
  started_id=$(event_id ORDEX_MSG_STARTED)
  echo "== another session's collector: ORDEX waits, writes nothing, then collects"
  reg_add "$SETTINGS_KEY" /v TimerInterval /t REG_DWORD /d 300
  reg_add "$SETTINGS_KEY" /v Visible /t REG_DWORD /d 0
  count=$(current_count)
  rm -f "$summary"
  hold 'Global\ORDEX.Collector' mutex 8
  WINEDEBUG=+eventlog,+advapi wine "$ORDEX_EXE" 2>"$log" &
  wine_pids+=($!)
  sleep 5
  still_running "while another collector held Global\\ORDEX.Collector"
  [ ! -e "$summary" ] || fail "a waiting ORDEX wrote the summary file"
  events=$(logged_events "$log")
  [ -z "$events" ] || fail "a waiting ORDEX reported events: $events"
  shown_window >/dev/null && fail "a waiting ORDEX shows its window"
  wait "$hold_pid" || fail "the holder of Global\\ORDEX.Collector: $(cat "$work/hold.txt")"
  wait_for 10 summary_is "$count" || fail "no summary after the collector ended: $(cat -A "$summary" 2>&1)"
  still_running "after it took over"
  close_ordex
  logged_events "$log" >"$work/standby.list"
  grep -q "^$started_id|" "$work/standby.list" ||
    fail "no started event after the take-over: $(cat "$work/standby.list")"
  echo "waited 8 s without a file or an event; then collected: $(cut -c 1-60 "$work/standby.list" | tr '\n' ' ')"
}

# ---- What this script proves, in order.

if [ "${1:-}" != --inside-display ]; then
  # The product and its package are built even where only the 64-bit build can be run.
  [ "$PRESET" = windows ] || build_windows windows i686-w64-mingw32
  build_windows "$PRESET" "$ORDEX_MINGW_PREFIX"
  build_seconds=$SECONDS
  for arch in $ORDEX_WINE_ARCHS; do
    ORDEX_BUILD_SECONDS=$build_seconds xvfb-run -a -s "-screen 0 1024x768x24" \
      bash "$0" --inside-display "$arch"
  done
  xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/msi-test.sh
  bash scripts/signing-test.sh
  bash scripts/reproducible-test.sh
  exit 0
fi

# Under Xvfb, in a Wine prefix of our own; its architecture: win32, or win64 (a 64-bit Windows
# running the 32-bit ordex.exe).
SECONDS=0
use_scratch_wine_prefix ordex-wine "${2:-win32}"
install_dir=$WINEPREFIX/drive_c/XOC
summary=$install_dir/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini
machine_data=$install_dir/ROBOTER/XOC/R1/Mada/\$Machine.dat

fresh_prefix
cross_built_tests
first_start_with_default_settings
second_instance_refused
change_seen_in_shown_window
run_time_error_ends_with_status_1
insertion_codes_disarmed
window_at_higher_dpi
if [ "$WINEARCH" = win64 ]; then
  view_64_bit_neither_read_nor_written
  events_and_policy with-policy
else
  events_and_policy
fi
heartbeat_in_the_log
closed_for_an_update
closed_during_start_up
# Each of these starts from a closed ORDEX.
logoff_during_start_up
long_version_reported
condition_carries_the_error_code
held_files_waited_out
waits_for_another_sessions_collector

echo "== Windows tests passed (build ${ORDEX_BUILD_SECONDS:-?}s, Wine ${SECONDS}s)"
