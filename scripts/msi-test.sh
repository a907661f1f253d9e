#!/usr/bin/env bash
# Proves the MSI package under Wine in a fresh 64-bit (WoW64) prefix, where a 32-bit package
# installs into "Program Files (x86)" and writes the 32-bit registry view: a silent install with
# the two setting properties, ordex.exe started as the logon start says, a start-up error in the
# event log, an uninstall that keeps the settings and the summary file, a reinstall that keeps
# changed settings (value and type), a downgrade refused, an upgrade in place while ORDEX runs
# that keeps them (an absent one absent), and an upgrade given the properties that writes them.
# First the tables that keep a restart and a repair from doing what Wine cannot show. Run by
# scripts/windows-test.sh under Xvfb after the windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

# The package of the preset that scripts/windows-test.sh chose. Where this kernel cannot run
# 32-bit programs that is the 64-bit build, whose package keeps the 32-bit package's layout
# (Program Files (x86), the 32-bit registry view) and serves only to test the installer.
readonly BUILD=build/${ORDEX_WINDOWS_PRESET:-windows}
version=$(awk -F= '/^CMAKE_PROJECT_VERSION:/ {print $2}' "$BUILD/CMakeCache.txt")
readonly MSI=$BUILD/ordex-$version.msi

[ -f "$MSI" ] || fail "$MSI was not built"
# The same package with a lower version, for the upgrade and the downgrade.
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
# upgrade enables (the package gives it no value), and that has no ComponentId, so that Windows
# Installer neither registers, repairs nor removes it ("Component Table"); no other row writes
# them.
for setting in Visible:VisibleSetting:VISIBLE TimerInterval:TimerIntervalSetting:TIMERINTERVAL; do
  IFS=: read -r name component property <<<"$setting"
  rows=$(msiinfo export "$MSI" Registry | tr -d '\r' | key=$SettingsKey name=$name awk -F'\t' '
    NR > 3 && $2 == 2 && $3 == ENVIRON["key"] && $4 == ENVIRON["name"] {print $5 "\t" $6}')
  attributes=$(table_cell Component "$component" Attributes)
  [ "$rows" = "#[$property]"$'\t'"$component" ] &&
    [ -z "$(table_cell Component "$component" ComponentId)" ] &&
    [ $((attributes & (16 | 64 | 128))) -eq 0 ] &&
    [ "$(table_cell Component "$component" Condition)" = "$property <> \"\"" ] &&
    [ -z "$(table_cell Property "$property" Value)" ] ||
    fail "$name: rows '$rows', $property '$(table_cell Property "$property" Value)'," \
      "component $component with ComponentId" \
      "'$(table_cell Component "$component" ComponentId)', attributes $attributes," \
      "condition '$(table_cell Component "$component" Condition)'"
done
[ "$(table_cell Property ARPPRODUCTICON Value)" = ordex.ico ] &&
  msiinfo streams "$MSI" | grep -qx Icon.ordex.ico || fail "no icon for the entry in Apps"
echo "REBOOT=ReallySuppress, set first in both sequences; settings unregistered, only a property" \
  "given to an install writes them; no transitive component on a property; icon"

SECONDS=0
use_scratch_wine_prefix ordex-msi win64
ordex_pid=

version_key="HKLM\\$VersionKey"
settings_key="HKLM\\$SettingsKey"
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ORDEX'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
program_dir="$WINEPREFIX/drive_c/Program Files (x86)/ORDEX"
summary=$WINEPREFIX/drive_c/XOC/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini

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

msiexec() {
  local status=0
  wine msiexec "$@" >/dev/null 2>&1 || status=$?
  echo "$status"
}

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
  [ "$(reg_value "$run_key" ORDEX)" = 'REG_SZ "C:\Program Files (x86)\ORDEX\ordex.exe"' ] ||
    fail "logon start: '$(reg_value "$run_key" ORDEX)'"
  [ "$(reg_value "$source_key" EventMessageFile)" = \
    'REG_EXPAND_SZ C:\Program Files (x86)\ORDEX\ordex.exe' ] &&
    [ "$(reg_value "$source_key" TypesSupported)" = 'REG_DWORD 0x7' ] ||
    fail "event source: '$(reg_value "$source_key" EventMessageFile)'"
}

# Starts the command of the logon start, as Windows does at logon.
start_as_at_logon() {
  local command
  command=$(reg_value "$run_key" ORDEX)
  command=${command#REG_SZ \"}
  rm -f "$summary"
  wine "${command%\"}" 2>/dev/null &
  ordex_pid=$!
  wine_pids+=("$ordex_pid")
  wait_for 30 test -s "$summary" || fail "no summary file from the logon start"
}

close_ordex() {
  wine taskkill /IM ordex.exe >/dev/null
  wait "$ordex_pid" || fail "ordex.exe ended with status $? when closed"
  ordex_pid=
}

echo "== MSI: fresh 64-bit prefix"
wine wineboot --init >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/XOC"
cp -r examples/ROBOTER "$WINEPREFIX/drive_c/XOC/"
reg_add "$version_key" /v XOCVersion /t REG_SZ /d 'V8.6.1'
reg_add "$version_key" /v Version /t REG_SZ /d 'BR 8.6'
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\XOC'
echo "prefix ready after ${SECONDS}s"

echo "== silent install of $MSI with VISIBLE=1 TIMERINTERVAL=5000"
status=$(msiexec /i "$MSI" /qn VISIBLE=1 TIMERINTERVAL=5000)
installed_at=$SECONDS
[ "$status" = 0 ] || fail "install ended with status $status"
expect_installed "$version"
expect_settings 'REG_DWORD 0x1' 'REG_DWORD 0x1388'
sleep 5
[ -e "$summary" ] && fail "the install started ORDEX"
waited=$((SECONDS - installed_at))
echo "program, logon start, event source and settings in place; ORDEX not started"

echo "== ORDEX started as at logon"
# It writes the very file looked for above, within the time waited there for one; and, being
# the only instance, it was not refused by one that the install started.
started_at=$SECONDS
start_as_at_logon
took=$((SECONDS - started_at))
[ "$took" -le "$waited" ] ||
  fail "a start took ${took}s to write its summary, so ${waited}s after the install proved nothing"
expect_settings 'REG_DWORD 0x1' 'REG_DWORD 0x1388'
close_ordex
echo "summary file written; the settings of the install used"

echo "== a start-up error goes to the event log"
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\Missing'
status=0
WINEDEBUG=+eventlog wine "$program_dir/ordex.exe" >/dev/null 2>"$work/eventlog.txt" || status=$?
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\XOC'
[ "$status" = 1 ] || fail "status $status for a missing installation, not 1"
grep -a 'err:eventlog' "$work/eventlog.txt" | grep -aF 'C:\\Missing\\ROBOTER\\INIT\\hw_inf.ini' ||
  fail "no error in the event log: $(grep -a eventlog "$work/eventlog.txt")"

echo "== silent uninstall keeps the settings and the summary file"
status=$(msiexec /x "$MSI" /qn)
[ "$status" = 0 ] || fail "uninstall ended with status $status"
[ -z "$(installed_versions)" ] || fail "still installed: $(installed_versions)"
[ -e "$program_dir" ] && fail "$program_dir is still there"
[ -z "$(reg_value "$run_key" ORDEX)" ] || fail "the logon start is still there"
[ -z "$(reg_value "$source_key" TypesSupported)" ] || fail "the event source is still there"
expect_settings 'REG_DWORD 0x1' 'REG_DWORD 0x1388'
[ -s "$summary" ] || fail "the uninstall removed the summary file"
echo "program, logon start and event source gone; settings and summary file kept"

echo "== a plain reinstall keeps changed settings, their type included"
reg_add "$settings_key" /v TimerInterval /t REG_SZ /d 7000
status=$(msiexec /i "$MSI" /qn)
[ "$status" = 0 ] || fail "reinstall ended with status $status"
expect_installed "$version"
expect_settings 'REG_DWORD 0x1' 'REG_SZ 7000'

echo "== an older package is refused"
status=$(msiexec /i "$previous_msi" /qn)
[ "$status" != 0 ] || fail "$previous_msi was installed over $version"
expect_installed "$version"
echo "refused with status $status"

echo "== an upgrade in place while ORDEX runs keeps the settings, an absent one absent"
[ "$(msiexec /x "$MSI" /qn)" = 0 ] || fail "uninstall before the upgrade"
[ "$(msiexec /i "$previous_msi" /qn)" = 0 ] || fail "install of $previous_msi"
start_as_at_logon
# Deleted after the start, which would write the default back; a running ORDEX never does.
wine reg delete "$settings_key" /v Visible /reg:32 /f >/dev/null
status=$(msiexec /i "$MSI" /qn)
# 3010: done, files in use are replaced at the next restart.
[ "$status" = 0 ] || [ "$status" = 3010 ] || fail "upgrade ended with status $status"
kill -0 "$ordex_pid" 2>/dev/null || fail "the upgrade ended the running ORDEX"
close_ordex
expect_installed "$version"
expect_settings '' 'REG_SZ 7000'
echo "one product, version $version, settings kept (status $status)"

echo "== an upgrade given the properties writes them"
[ "$(msiexec /x "$MSI" /qn)" = 0 ] || fail "uninstall before the upgrade"
[ "$(msiexec /i "$previous_msi" /qn)" = 0 ] || fail "install of $previous_msi"
status=$(msiexec /i "$MSI" /qn VISIBLE=0 TIMERINTERVAL=2000)
[ "$status" = 0 ] || fail "upgrade ended with status $status"
expect_installed "$version"
expect_settings 'REG_DWORD 0x0' 'REG_DWORD 0x7d0'

echo "== MSI tests passed (${SECONDS}s)"
