#!/usr/bin/env bash
# Proves the MSI package under Wine in a fresh 64-bit (WoW64) prefix, where a 32-bit package
# installs into "Program Files (x86)" and writes the 32-bit registry view: a silent install with
# the two setting properties and NOSTART=1 that starts nothing, ordex.exe started as the logon
# start says, a start-up error in the event log, an uninstall that closes the running ORDEX
# (event 12 "closed for an update") and keeps the settings and the summary file, a reinstall
# that starts ORDEX and keeps changed settings (value and type), a downgrade refused, an upgrade
# in place from the version below while ORDEX runs (status 0, the old one closed, the new one
# running, nothing left for a restart, a missing setting's default written, the others kept), an
# upgrade given the properties that writes them, an ORDEX that ignores the close ended by force,
# and the defaults written by an install without properties. First the tables that keep a
# restart, a repair and the close in other sessions from doing what Wine cannot show. Run by
# scripts/windows-test.sh under Xvfb after the windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

# The package of the preset that scripts/windows-test.sh chose. Where this kernel cannot run
# 32-bit programs that is the 64-bit build (64-bit ordex.exe and custom actions), whose package
# keeps the 32-bit package's layout (Program Files (x86), the 32-bit registry view) and serves
# only to test the installer.
readonly BUILD=build/${ORDEX_WINDOWS_PRESET:-windows}
version=$(build_version "$BUILD")
readonly MSI=$BUILD/ordex-$version.msi

[ -f "$MSI" ] || fail "$MSI was not built"
# The package of the version below, with an ordex.exe of that version, for the upgrade and the
# downgrade.
rm -rf "$BUILD/msi-test"
cmake --build "$BUILD" --target ordex_msi_previous >/dev/null
previous_msi=$(echo "$BUILD"/msi-test/ordex-*.msi)
[ -f "$previous_msi" ] || fail "no package with a lower version"

# table_cell TABLE KEY COLUMN: the COLUMN of the row whose first column is KEY, as msiinfo
# exports it (three header lines, tab-separated).
table_cell() {
  msiinfo export "$MSI" "$1" | tr -d '\r' | awk -F'\t' -v key="$2" -v column="$3" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == column) at = i }
    NR > 3 && $1 == key { print $at }'
}

# Windows Installer's repairs and restarts cannot be shown under Wine (its msiexec neither
# repairs this way nor restarts), so the package's tables are checked instead.
echo "== the package's tables: no restart by itself, settings kept by a repair"
[ "$(table_cell Property REBOOT Value)" = ReallySuppress ] || fail "REBOOT is not ReallySuppress"
# First in both sequences, so that a REBOOT on the command line is overridden too.
[ "$(table_cell CustomAction SuppressRestart Type)" = 51 ] &&
  [ "$(table_cell CustomAction SuppressRestart Target)" = ReallySuppress ] &&
  [ "$(table_cell InstallUISequence SuppressRestart Sequence)" = 1 ] &&
  [ "$(table_cell InstallExecuteSequence SuppressRestart Sequence)" = 1 ] ||
  fail "no action that sets REBOOT=ReallySuppress first: $(msiinfo export "$MSI" CustomAction)"
msiinfo export "$MSI" InstallExecuteSequence | grep -E '^(ForceReboot|ScheduleReboot)' &&
  fail "the package asks for a restart"
# No transitive component may hang on a property the command line sets: on a reinstall such a
# component is removed once its condition turns false, and msiexec /f ignores the properties
# on its command line ("Using Transitive Components", "Command-Line Options"). Public
# properties, the ones a command line sets, are those without lowercase letters ("Public
# Properties").
msiinfo export "$MSI" Component | tr -d '\r' | awk -F'\t' '
  NR > 3 && int($4 / 64) % 2 == 1 {
    n = split($5, words, /[^A-Za-z0-9_.]+/)
    for (i = 1; i <= n; i++)
      if (words[i] ~ /^[A-Z_][A-Z0-9_.]*$/ && words[i] !~ /^(AND|OR|NOT|XOR|EQV|IMP)$/) {
        print $1 " is transitive with a condition on the property " words[i]; bad = 1
      }
  }
  END { exit bad }' || fail "a transitive component depends on a public property"
# The settings: each written by a component that only a property given to an install or an
# upgrade enables (the package gives it no value), and its default, ORDEX's own, by one that
# only a missing property and a missing value enable, the value as AppSearch read it before
# the install (raw, in the 32-bit view: RegLocator type 2 without 16); each without a
# ComponentId, so that Windows Installer neither registers, repairs nor removes it ("Component
# Table"); no other row writes them.
for setting in Visible:VISIBLE TimerInterval:TIMERINTERVAL; do
  IFS=: read -r name property <<<"$setting"
  default=$(grep -oP "SettingId::\\w+, \"$name\", \\K-?[0-9]+" src/shell/settings.h)
  rows=$(msiinfo export "$MSI" Registry | tr -d '\r' | key=$SettingsKey name=$name awk -F'\t' '
    NR > 3 && $2 == 2 && $3 == ENVIRON["key"] && $4 == ENVIRON["name"] {print $5 "\t" $6}' |
    sort)
  [ "$rows" = "#$default"$'\t'"${name}Default"$'\n'"#[$property]"$'\t'"${name}Setting" ] &&
    [ -z "$(table_cell Property "$property" Value)" ] &&
    [ "$(table_cell AppSearch "Existing$name" Signature_)" = "Existing${name}Search" ] &&
    [ "$(table_cell RegLocator "Existing${name}Search" Root)|$(table_cell RegLocator \
      "Existing${name}Search" Key)|$(table_cell RegLocator "Existing${name}Search" Name)|$(
      table_cell RegLocator "Existing${name}Search" Type)" = "2|$SettingsKey|$name|2" ] ||
    fail "$name: rows '$rows', $property '$(table_cell Property "$property" Value)', AppSearch" \
      "$(msiinfo export "$MSI" AppSearch | tr '\n' ' '), RegLocator" \
      "$(msiinfo export "$MSI" RegLocator | tr '\n' ' ')"
  for component in "${name}Setting|$property <> \"\"" \
    "${name}Default|$property = \"\" AND Existing$name = \"\""; do
    IFS='|' read -r component condition <<<"$component"
    attributes=$(table_cell Component "$component" Attributes)
    [ -z "$(table_cell Component "$component" ComponentId)" ] &&
      [ $((attributes & (16 | 64 | 128))) -eq 0 ] &&
      [ "$(table_cell Component "$component" Condition)" = "$condition" ] ||
      fail "$component: ComponentId '$(table_cell Component "$component" ComponentId)'," \
        "attributes $attributes, condition '$(table_cell Component "$component" Condition)'"
  done
done
[ "$(table_cell Property ARPPRODUCTICON Value)" = ordex.ico ] &&
  msiinfo streams "$MSI" | grep -qx Icon.ordex.ico || fail "no icon for the entry in Apps"
echo "REBOOT=ReallySuppress, set first in both sequences; settings unregistered, written by a" \
  "property given to an install or as the default where none is there; no transitive component" \
  "on a property; icon"

# The facts key: one registry row makes it at the install and deletes it, values and subkeys
# included, at the removal (name "*", "Registry Table"); one row of MsiLockPermissionsEx (and no
# LockPermissions table, which a package must not have beside it) gives it an access list, and
# no other object has one of its own. Wine applies no access list, so the list is held here:
# owned by Administrators, protected from the parent's entries, only allowing entries;
# Administrators and SYSTEM full control; Interactive users, whoever runs the collector, may
# read and set values but not change the key's security or owner, delete it or make subkeys.
echo "== the package's tables: the facts key, writable for the collector, removed with the package"
facts_rows=$(msiinfo export "$MSI" Registry | tr -d '\r' | awk -F'\t' -v key="$FactsKey" 'NR > 3 && $3 == key')
[ "$facts_rows" = "$(printf 'FactsKey\t2\t%s\t*\t\tFactsKey' "$FactsKey")" ] ||
  fail "the facts key's rows: $facts_rows"
[ "$(table_cell Component FactsKey KeyPath)" = "" ] &&
  [ "$(( $(table_cell Component FactsKey Attributes) & 16 ))" = 0 ] ||
  fail "the facts key's component is permanent or has a value as its key path"
msiinfo tables "$MSI" | grep -qx LockPermissions && fail "a LockPermissions table beside MsiLockPermissionsEx"
locks=$(msiinfo export "$MSI" MsiLockPermissionsEx | tr -d '\r' | awk 'NR > 3')
[ "$(cut -f2,3,5 <<<"$locks")" = "$(printf 'FactsKey\tRegistry\t')" ] ||
  fail "access lists on other objects than the facts key, or on a condition: $locks"
sddl=$(cut -f4 <<<"$locks")
[[ $sddl =~ ^O:BAG:SYD:P(\(A\;CI\;[^\;]*\;\;\;[A-Z]{2}\))+$ ]] ||
  fail "the facts key's SDDL is not an owner BA, protected list of allowing entries: $sddl"
for trustee in SY BA; do
  grep -qF "(A;CI;KA;;;$trustee)" <<<"$sddl" || fail "no full control for $trustee: $sddl"
done
interactive=$(grep -oP '\(A;CI;\K[^;]+(?=;;;IU\))' <<<"$sddl")
# KEY_SET_VALUE 0x2 needed; DELETE 0x10000, WRITE_DAC 0x40000, WRITE_OWNER 0x80000,
# KEY_CREATE_SUB_KEY 0x4, KEY_CREATE_LINK 0x20 and the generic rights 0xF0000000 refused.
[[ $interactive =~ ^0x[0-9a-f]+$ ]] && (( (interactive & 0x2) && !(interactive & 0xF00D0024) )) ||
  fail "Interactive users get '$interactive' on the facts key: $sddl"
others=$(grep -oP '\(A;CI;[^;]+;;;\K[A-Z]{2}(?=\))' <<<"$sddl" | grep -vxE 'SY|BA|IU|BU' || true)
[ -z "$others" ] && ! grep -qP '\(A;CI;(?!KR;)[^;]+;;;BU\)' <<<"$sddl" ||
  fail "more than reading for Users, or entries for others: $sddl"
echo "facts key made by the install, removed with the package; set values for Interactive" \
  "users, full control for Administrators and SYSTEM, read for Users; nothing else locked"

# The custom actions that close every ORDEX and start it again, in every session: Wine has one
# session and its terminal-services functions are stubs, so what they do across sessions as
# LocalSystem is held here to what cmake/msi.cmake documents. Each: its type (51 sets the
# deferred action's CustomActionData; 3073 deferred, not impersonated, so as LocalSystem; 3329
# the same as a rollback), source, target, place and condition.
echo "== the package's tables: custom actions that close and start ORDEX"
data='NOSTART=[NOSTART];INSTALLDIR=[INSTALLDIR]'
start_condition='NOT REMOVE~="ALL" AND NOSTART <> "1"'
while IFS='|' read -r action expected; do
  actual="$(table_cell CustomAction "$action" Type)|$(table_cell CustomAction "$action" Source)"
  actual+="|$(table_cell CustomAction "$action" Target)"
  actual+="|$(table_cell InstallExecuteSequence "$action" Sequence)"
  actual+="|$(table_cell InstallExecuteSequence "$action" Condition)"
  [ "$actual" = "$expected" ] || fail "$action: '$actual', not '$expected'"
done <<EOF
SetUndoCloseOrdex|51|UndoCloseOrdex|$data|1501|
UndoCloseOrdex|3329|OrdexSetup|UndoOrdexClose|1502|
SetCloseOrdex|51|CloseOrdex|$data|1503|
CloseOrdex|3073|OrdexSetup|CloseOrdexForUpdate|1504|
ResetCloseSignal|3073|OrdexSetup|ResetOrdexCloseSignal|6520|
SetStartOrdex|51|StartOrdex|$data|6530|$start_condition
StartOrdex|3073|OrdexSetup|StartOrdexInEverySession|6531|$start_condition
EOF
# Among the standard actions: the close before any file is removed or replaced, the older
# version removed after the new files are in place (InstallExecute), then the start.
previous=0
for action in InstallInitialize UndoCloseOrdex CloseOrdex RemoveFiles InstallFiles   WriteRegistryValues InstallExecute RemoveExistingProducts ResetCloseSignal StartOrdex   InstallFinalize; do
  sequence=$(table_cell InstallExecuteSequence "$action" Sequence)
  [ -n "$sequence" ] && [ "$sequence" -gt "$previous" ] ||
    fail "$action at '$sequence', not after $previous: $(msiinfo export "$MSI" InstallExecuteSequence)"
  previous=$sequence
done
tr ';' '\n' <<<"$(table_cell Property SecureCustomProperties Value)" | grep -qx NOSTART ||
  fail "NOSTART is not a secure custom property"
msiinfo extract "$MSI" Binary.OrdexSetup >"$BUILD/msi-test/ordex_setup.dll"
cmp -s "$BUILD/msi-test/ordex_setup.dll" "$BUILD/ordex_setup.dll" &&
  [ "$(file_version "$BUILD/msi-test/ordex_setup.dll")" = "$version" ] ||
  fail "the package's Binary.OrdexSetup is not the built ordex_setup.dll of version $version"
echo "close before RemoveFiles and InstallFiles, its rollback before it, the older version removed" \
  "after InstallExecute, the start last, unless a removal or NOSTART=1; ordex_setup.dll $version"

SECONDS=0
use_scratch_wine_prefix ordex-msi win64
ordex_pid=

version_key="HKLM\\$VersionKey"
settings_key="HKLM\\$SettingsKey"
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ORDEX'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
session_manager_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
program_dir="$WINEPREFIX/drive_c/Program Files (x86)/ORDEX"
program='C:\Program Files (x86)\ORDEX\ordex.exe'
summary=$WINEPREFIX/drive_c/XOC/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini
# What the ORDEX started as at logon hands to the event log (WINEDEBUG=+eventlog,+advapi).
trace=$work/ordex-trace.txt
# How the package's install log names a closed ORDEX, and how long it waits for one to end.
closed_ordex='^ORDEX: ORDEX \(process [0-9]+, session [0-9]+\)'
close_wait=$(grep -oP 'kCloseWait\{\K[0-9]+' src/setup/running_ordex_win32.h)

reg_add() { wine reg add "$@" /reg:32 /f >/dev/null; }

# reg_value KEY NAME: "TYPE DATA" as reg prints them (REG_DWORD 0x1388), or nothing.
reg_value() {
  wine reg query "$1" /v "$2" /reg:32 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name {$1 = ""; print substr($0, 2)}'
}

# The DisplayVersion of every installed product named ORDEX, one a line.
installed_versions() {
  wine reg query "$uninstall_key" /s /reg:32 2>/dev/null | tr -d '\r' | awk '
    /^HKEY/ { if (name == "ORDEX") print version; name = version = "" }
    $1 == "DisplayName" { name = $3 }
    $1 == "DisplayVersion" { version = $3 }
    END { if (name == "ORDEX") print version }'
}

# Runs msiexec with its log in C:\install.log (install_log); prints the status.
msiexec() {
  local status=0
  wine msiexec "$@" /l*v 'C:\install.log' >/dev/null 2>&1 || status=$?
  echo "$status"
}

# The lines the package's custom actions wrote into the log of the last msiexec.
install_log() { tr -d '\r' <"$WINEPREFIX/drive_c/install.log" | grep -a '^ORDEX: ' || true; }

# Every ordex.exe running in this prefix, as "PID IMAGE": Wine names each Windows process by its
# image's Windows path, and the prefix tells this test's from those of other runs.
running_ordex() {
  local pid image
  ps -eo pid=,args= | while read -r pid image; do
    [[ ${image,,} == *'\ordex.exe' ]] || continue
    tr '\0' '\n' </proc/"$pid"/environ 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "$pid $image"
  done
}

# For wait_for, which runs its command anew each time.
none_running() { [ -z "$(running_ordex)" ]; }

# expect_settings VISIBLE TIMERINTERVAL: each "TYPE DATA" as reg_value prints it, or empty for
# a value that is not there.
expect_settings() {
  [ "$(reg_value "$settings_key" Visible)" = "$1" ] &&
    [ "$(reg_value "$settings_key" TimerInterval)" = "$2" ] ||
    fail "settings '$1'/'$2' expected: Visible '$(reg_value "$settings_key" Visible)'," \
      "TimerInterval '$(reg_value "$settings_key" TimerInterval)'"
}

expect_installed() {
  [ "$(installed_versions)" = "$1" ] || fail "installed versions '$(installed_versions)', not $1"
  cmp -s "$program_dir/ordex.exe" "$BUILD/ordex.exe" || fail "no ordex.exe in $program_dir"
  [ "$(reg_value "$run_key" ORDEX)" = "REG_SZ \"$program\"" ] ||
    fail "logon start: '$(reg_value "$run_key" ORDEX)'"
  [ "$(reg_value "$source_key" EventMessageFile)" = "REG_EXPAND_SZ $program" ] &&
    [ "$(reg_value "$source_key" TypesSupported)" = 'REG_DWORD 0x7' ] ||
    fail "event source: '$(reg_value "$source_key" EventMessageFile)'"
}

# Starts the command of the logon start, as Windows does at logon, and waits for its summary;
# its events go to $trace.
start_as_at_logon() {
  local command
  command=$(reg_value "$run_key" ORDEX)
  command=${command#REG_SZ \"}
  rm -f "$summary"
  WINEDEBUG=+eventlog,+advapi wine "${command%\"}" 2>"$trace" &
  ordex_pid=$!
  wine_pids+=("$ordex_pid")
  wait_for 30 test -s "$summary" || fail "no summary file from the logon start"
}

close_ordex() {
  wine taskkill /IM ordex.exe >/dev/null
  wait "$ordex_pid" || fail "ordex.exe ended with status $? when closed"
  ordex_pid=
}

# The ORDEX started as at logon was closed by the package: it ended with status 0 and event 12
# "closed for an update", and the install log says so.
expect_closed_for_an_update() {
  local status=0 ended
  wait "$ordex_pid" || status=$?
  ordex_pid=
  [ "$status" = 0 ] || fail "ORDEX ended with status $status when the package closed it"
  ended="$(event_id ORDEX_MSG_ENDED)|closed for an update|0"
  logged_events "$trace" | grep -qxF "$ended" ||
    fail "no event '$ended' from the closed ORDEX: $(logged_events "$trace")"
  install_log | grep -qE "$closed_ordex ended on the close signal\$" ||
    fail "the install log does not say that ORDEX ended on the close signal: $(install_log)"
  echo "closed: $(install_log | grep 'ended on the close signal')"
}

# The install started ORDEX: one process, of the installed ordex.exe of VERSION, whose start-up
# wrote the summary. Wine's WTSEnumerateSessionsW is a stub that lists no session, so the
# package started it in its own session, as it says; the start as each session's user
# (WTSQueryUserToken, CreateProcessAsUserW) can only be shown on Windows, and the tables above
# stand for it.
expect_started_by_the_install() {
  local running
  wait_for 30 test -s "$summary" || fail "the install started no ORDEX: $(install_log)"
  running=$(running_ordex)
  [ "$(wc -l <<<"$running")" = 1 ] && [ "${running#* }" = "$program" ] &&
    [ "$(file_version "$program_dir/ordex.exe")" = "$1" ] ||
    fail "running: '$running', installed version $(file_version "$program_dir/ordex.exe"), not $1"
  install_log | grep -q '^ORDEX: started in session' ||
    fail "the install log does not say where ORDEX was started: $(install_log)"
  if install_log | grep -q 'listed no session'; then
    echo "NOTE: Wine's WTSEnumerateSessionsW is a stub that lists no session, so the start in" \
      "each session as its user (WTSQueryUserToken, CreateProcessAsUserW) cannot run here; the" \
      "package fell back to its own session, a user's desktop; the tables stand for Windows."
  fi
  echo "running: $running, version $1; $(install_log | grep 'started in session')"
}

# Ends an ORDEX that this script did not start (the install's), and waits until none runs.
stop_started_ordex() {
  wine taskkill /IM ordex.exe >/dev/null
  wait_for 20 none_running || fail "ORDEX still runs: $(running_ordex)"
}

echo "== MSI: fresh 64-bit prefix"
wine wineboot --init >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/XOC"
cp -r examples/ROBOTER "$WINEPREFIX/drive_c/XOC/"
reg_add "$version_key" /v XOCVersion /t REG_SZ /d 'V8.6.1'
reg_add "$version_key" /v Version /t REG_SZ /d 'BR 8.6'
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\XOC'
echo "prefix ready after ${SECONDS}s"

echo "== silent install of $MSI with VISIBLE=1 TIMERINTERVAL=5000 NOSTART=1"
status=$(msiexec /i "$MSI" /qn VISIBLE=1 TIMERINTERVAL=5000 NOSTART=1)
installed_at=$SECONDS
[ "$status" = 0 ] || fail "install ended with status $status"
expect_installed "$version"
expect_settings 'REG_DWORD 0x1' 'REG_DWORD 0x1388'
sleep 5
[ -e "$summary" ] && fail "the install started ORDEX although NOSTART=1: $(install_log)"
[ -z "$(running_ordex)" ] || fail "ORDEX runs after an install with NOSTART=1: $(running_ordex)"
waited=$((SECONDS - installed_at))
echo "program, logon start, event source and settings in place; NOSTART=1: ORDEX not started"

echo "== ORDEX started as at logon"
# It writes the very file looked for above, within the time waited there for one; and, being
# the only instance, it was not refused by one that the install started.
started_at=$SECONDS
start_as_at_logon
took=$((SECONDS - started_at))
[ "$took" -le "$waited" ] ||
  fail "a start took ${took}s to write its summary, so ${waited}s after the install proved nothing"
expect_settings 'REG_DWORD 0x1' 'REG_DWORD 0x1388'
wait_for 10 eval '[ -n "$(reg_value "HKLM\\$FactsKey" OrdexVersion)" ]' ||
  fail "no facts in the facts key the package made"
close_ordex
echo "summary file written; the settings of the install used; the facts written"

echo "== a start-up error goes to the event log"
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\Missing'
status=0
WINEDEBUG=+eventlog wine "$program_dir/ordex.exe" >/dev/null 2>"$work/eventlog.txt" || status=$?
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\XOC'
[ "$status" = 1 ] || fail "status $status for a missing installation, not 1"
grep -a 'err:eventlog' "$work/eventlog.txt" | grep -aF 'C:\\Missing\\ROBOTER\\INIT\\hw_inf.ini' ||
  fail "no error in the event log: $(grep -a eventlog "$work/eventlog.txt")"

echo "== a silent uninstall closes the running ORDEX, keeps the settings and the summary file"
start_as_at_logon
status=$(msiexec /x "$MSI" /qn)
[ "$status" = 0 ] || fail "uninstall ended with status $status"
expect_closed_for_an_update
[ -z "$(running_ordex)" ] || fail "ORDEX runs after the removal: $(running_ordex)"
[ -z "$(installed_versions)" ] || fail "still installed: $(installed_versions)"
[ -e "$program_dir" ] && fail "$program_dir is still there"
[ -z "$(reg_value "$run_key" ORDEX)" ] || fail "the logon start is still there"
[ -z "$(reg_value "$source_key" TypesSupported)" ] || fail "the event source is still there"
wine reg query "HKLM\\$FactsKey" /reg:32 >/dev/null 2>&1 && fail "the facts key is still there"
expect_settings 'REG_DWORD 0x1' 'REG_DWORD 0x1388'
[ -s "$summary" ] || fail "the uninstall removed the summary file"
echo "none running; program, logon start, event source and facts key gone; settings and" \
  "summary file kept"

echo "== a plain reinstall starts ORDEX and keeps changed settings, their type included"
reg_add "$settings_key" /v TimerInterval /t REG_SZ /d 7000
rm -f "$summary"
status=$(msiexec /i "$MSI" /qn)
[ "$status" = 0 ] || fail "reinstall ended with status $status"
expect_installed "$version"
expect_settings 'REG_DWORD 0x1' 'REG_SZ 7000'
expect_started_by_the_install "$version"
stop_started_ordex

echo "== an older package is refused"
status=$(msiexec /i "$previous_msi" /qn)
[ "$status" != 0 ] || fail "$previous_msi was installed over $version"
expect_installed "$version"
echo "refused with status $status"

echo "== an upgrade in place while ORDEX runs: closed, replaced, started again, no restart"
[ "$(msiexec /x "$MSI" /qn)" = 0 ] || fail "uninstall before the upgrade"
[ "$(msiexec /i "$previous_msi" /qn NOSTART=1)" = 0 ] || fail "install of $previous_msi"
previous_version=$(file_version "$program_dir/ordex.exe")
[ "$previous_version" != "$version" ] || fail "the older package's ordex.exe is $version too"
start_as_at_logon
# Deleted after the start, which would write the default back; a running ORDEX never does.
wine reg delete "$settings_key" /v Visible /reg:32 /f >/dev/null
rm -f "$summary"
status=$(msiexec /i "$MSI" /qn)
# 3010 would be a file left in use, to be replaced at the next restart.
[ "$status" = 0 ] || fail "upgrade ended with status $status: $(install_log)"
expect_closed_for_an_update
expect_installed "$version"
expect_started_by_the_install "$version"
pending=$(wine reg query "$session_manager_key" /v PendingFileRenameOperations 2>/dev/null |
  tr -d '\r' | grep PendingFileRenameOperations || true)
[ -z "$pending" ] || fail "files left for the next restart: $pending"
# The missing "Visible" gets its default; "TimerInterval", as it was changed, stays.
expect_settings 'REG_DWORD 0x0' 'REG_SZ 7000'
stop_started_ordex
echo "one product, version $previous_version replaced by $version, nothing pending a restart," \
  "the missing setting's default written, the changed one kept"

echo "== an upgrade given the properties writes them"
[ "$(msiexec /x "$MSI" /qn)" = 0 ] || fail "uninstall before the upgrade"
[ "$(msiexec /i "$previous_msi" /qn NOSTART=1)" = 0 ] || fail "install of $previous_msi"
status=$(msiexec /i "$MSI" /qn VISIBLE=0 TIMERINTERVAL=2000 NOSTART=1)
[ "$status" = 0 ] || fail "upgrade ended with status $status"
expect_installed "$version"
expect_settings 'REG_DWORD 0x0' 'REG_DWORD 0x7d0'

echo "== an ORDEX that ignores the close is ended by force after ${close_wait} s"
# An older ORDEX that knows no close signal, or one that hangs: a program that holds a file for
# two minutes, in ordex.exe's place.
cp "$BUILD/tests/hold_file_win32.exe" "$program_dir/ordex.exe"
echo held >"$WINEPREFIX/drive_c/held.txt"
wine "$program" 'C:\held.txt' none 120 >"$work/stand-in.txt" 2>&1 &
stand_in=$!
wine_pids+=("$stand_in")
wait_for 30 grep -q held "$work/stand-in.txt" || fail "the stand-in did not start"
started_at=$SECONDS
status=$(msiexec /x "$MSI" /qn)
took=$((SECONDS - started_at))
[ "$status" = 0 ] || fail "uninstall ended with status $status: $(install_log)"
# Ended, not left to its two minutes. Its status is no proof here: Wine does not always hand a
# process's Linux parent the status that another process's TerminateProcess gave it.
wait "$stand_in" || true
forced="$closed_ordex did not end on the close signal within $close_wait s"
forced+=' and was ended by force \(TerminateProcess\)$'
install_log | grep -qE "$forced" ||
  fail "the install log does not say that the stand-in was ended by force: $(install_log)"
[ "$took" -ge "$close_wait" ] && [ "$took" -lt 60 ] ||
  fail "the removal took ${took}s, not its ${close_wait}s for the stand-in and a little more"
[ -z "$(running_ordex)" ] || fail "ORDEX runs after the removal: $(running_ordex)"
echo "removal after ${took}s: $(install_log | grep 'by force')"

echo "== an install without properties where no settings are writes the defaults"
wine reg delete "$settings_key" /reg:32 /f >/dev/null
[ "$(msiexec /i "$MSI" /qn NOSTART=1)" = 0 ] || fail "install without properties"
expect_settings 'REG_DWORD 0x0' 'REG_DWORD 0x2710'
[ -z "$(running_ordex)" ] || fail "ORDEX runs after an install with NOSTART=1: $(running_ordex)"

echo "== MSI tests passed (${SECONDS}s)"
