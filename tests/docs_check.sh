#!/usr/bin/env bash
# Holds the facts that the documents state against the sources that decide them: event IDs and
# levels, registry keys, value names and defaults, the template's range, the package's
# properties and exit codes, presets, scripts, the window's rows; and the registry keys the
# scripts name (scripts/lib/registry_keys.sh, read as a page). Each row of the table at the
# end is one kind of fact: a pattern that finds what the pages say (grep -P; \K starts the part
# taken) and a source that prints what the code holds, one fact a line.
#   in   every fact a page states is one the code holds;
#   eq   that, and every fact the code holds is stated (a table that lists them all);
#   none the pages never say this.
# A row whose pattern finds nothing fails too, so that no row goes stale unnoticed.
# Usage: tests/docs_check.sh [SOURCE_DIR]; run by ctest as DocumentsHoldTrue.
# The patterns are grep -P, never shell: backticks and backslashes in them are meant.
# shellcheck disable=SC2016,SC1003
set -uo pipefail
export LC_ALL=C
cd "${1:-$(dirname "$0")/..}" || exit 2

ALL_PAGES='README.md docs/*.md'
failures=0

one_line() { tr '\n' ' ' | sed 's/ $//'; }

complain() {
  echo "docs_check: $*" >&2
  failures=$((failures + 1))
}

# Where a page states VALUE: its file:line and text, for the complaint.
where_stated() {
  local pages=$1 pattern=$2 value=$3 line
  # shellcheck disable=SC2086
  grep -HnP -- "$pattern" $pages | while IFS= read -r line; do
    grep -oP -- "$pattern" <<<"${line#*:*:}" | sed 's/ *$//' | grep -qxF -- "$value" &&
      echo "    $line"
  done | head -n 3
}

check() {
  local kind=$1 what=$2 pages=$3 pattern=$4
  shift 4
  local stated code value
  # shellcheck disable=SC2086
  stated=$(grep -ohP -- "$pattern" $pages | sed 's/ *$//' | sort -u)
  if [ "$kind" = none ]; then
    [ -z "$stated" ] && return
    complain "$what; stated:"
    # shellcheck disable=SC2086
    grep -nP -- "$pattern" $pages | head -n 3 | sed 's/^/    /' >&2
    return
  fi
  if [ -z "$stated" ]; then
    complain "$what: no page states it any more (pattern: $pattern); mend the row"
    return
  fi
  code=$("$@" | sort -u)
  [ -z "${DOCS_CHECK_SHOW:-}" ] ||
    printf '%s\n  stated: %s\n  code:   %s\n' "$what" "$(one_line <<<"$stated")" \
      "$(one_line <<<"$code")"
  if [ -z "$code" ]; then
    complain "$what: the sources hold nothing ($*); mend the row"
    return
  fi
  while IFS= read -r value; do
    complain "$what: a page states '$value', the code holds: $(head -n 12 <<<"$code" | one_line)"
    where_stated "$pages" "$pattern" "$value" >&2
  done < <(comm -23 <(echo "$stated") <(echo "$code"))
  [ "$kind" = eq ] || return
  while IFS= read -r value; do
    complain "$what: the code holds '$value', which no page lists ($pages)"
  done < <(comm -13 <(echo "$stated") <(echo "$code"))
}

# ---- Sources: each prints the facts the code holds, one a line.

# grep_values FILES... PATTERN: every match of PATTERN (grep -P, \K) in FILES.
grep_values() {
  local pattern=${*: -1}
  grep -ohP -- "$pattern" "${@:1:$#-1}"
}

# "<ID> | <level>" for every entry of the message table, in the Event Viewer's words.
message_table() {
  awk -F= '/^MessageId=/ {id = $2} /^Severity=/ {
             level = $2; sub(/Informational/, "Information", level); print id " | " level }' \
    src/platform/ordex_messages.mc
}

message_ids() { message_table | cut -d' ' -f1; }

# The languages the message table has sentences in ("English", "German").
message_languages() { grep_values src/platform/ordex_messages.mc '^Language=\K\w+'; }

# The IDs the program reports: Form1's events, and the platform's own where a caller outside
# the POSIX backends reports through them (the event log is Windows's).
reported_event_ids() {
  grep_values src/shell/form1_events.h 'EventId = \K[0-9]+'
  local constant reporter
  while read -r constant reporter; do
    grep -rlP --include='*.cpp' --include='*.h' "\\b$reporter\\(" src |
      grep -vqE '_posix\.|/system(_win32)?\.(h|cpp)$' &&
      grep_values src/platform/event.h "$constant = \\K[0-9]+"
  done <<'EOF'
kStoppedEventId ReportFatalError
kWarningEventId ReportWarning
EOF
}

# Each registry key ORDEX reads, and each key above it below SOFTWARE, as a page writes them:
# with and without WOW6432Node (the 32-bit view's name in regedit) except for the policies,
# which are one key for both views.
registry_keys() {
  local key prefix part
  grep -zoP '(Version|Settings|Facts|Policy)Key =\s*"\K[^"]+' src/shell/settings.h | tr '\0' '\n' |
    sed 's/\\\\/\\/g' | while IFS= read -r key; do
      prefix=
      while IFS= read -r part; do
        prefix=${prefix:+$prefix\\}$part
        echo "$prefix"
        [[ $prefix == SOFTWARE\\Policies* ]] || echo "${prefix/#SOFTWARE/SOFTWARE\\WOW6432Node}"
      done < <(tr '\\' '\n' <<<"$key")
    done
}

# Each registry key constant of the C++ sources, in whichever file defines it, as
# scripts/lib/registry_keys.sh writes it: Name='path', the literal's doubled backslashes single.
registry_key_constants() {
  grep -rhzoP 'inline constexpr std::string_view \K\w+Key =\s*"[^"]*";' src | tr '\n\0' ' \n' |
    sed -E 's/ = *"(.*)";$/=\x27\1\x27/; s/\\\\/\\/g'
}

# The values ORDEX reads, those the package writes, and the facts ORDEX writes.
registry_value_names() {
  grep_values src/shell/settings.h src/shell/main_window.cpp installer/ordex.wxs \
    'SettingId::\w+, "\K\w+|ReadVersionValue\("\K\w+|VersionKey, "\K\w+|RegistryValue[^>]*?Name="\K\w+'
  facts_values | cut -d'"' -f1
}

# Each value of the facts key with its type, as the facts table writes it: "Name" | REG_SZ: the
# summary's keys, then the collector's own (fleet_facts.cpp).
facts_values() {
  summary_keys | sed 's/$/" | REG_SZ/'
  grep_values src/shell/fleet_facts.cpp 'Text\("\K\w+' | sed 's/$/" | REG_SZ/'
  grep_values src/shell/fleet_facts.cpp '\{"\K\w+(?=", FactType::kDword)' | sed 's/$/" | REG_DWORD/'
}

# The default of the setting NAME, from the table of the settings.
setting_default() { grep_values src/shell/settings.h "SettingId::\\w+, \"$1\", \\K-?[0-9]+"; }

default_install_dir() {
  grep_values src/shell/main_window.h 'kDefaultInstallDir = "\K[^"]+' | sed 's/\\\\/\\/g'
}

admx_range() {
  local min max
  min=$(grep_values installer/policy/ORDEX.admx 'minValue="\K[0-9]+')
  max=$(grep_values installer/policy/ORDEX.admx 'maxValue="\K[0-9]+')
  echo "$min to $max"
}

# "<category>/<policy>" for each policy of the template, as an ingested template's URI ends.
admx_policy_paths() {
  tr -d '\n' <installer/policy/ORDEX.admx | grep -oP '<policy name="\w+".*?</policy>' |
    sed -E 's|<policy name="(\w+)".*<parentCategory ref="(\w+)".*|\2/\1|'
}

# The properties the package reads or sets.
package_properties() {
  grep_values installer/ordex.wxs '\[\K[A-Z]+(?=\])|Property Id="\K[A-Z]+'
}

# The exit codes Windows Installer documents for msiexec that a deployment of this package can
# see ("MsiExec.exe and InstMsi.exe error messages"): 1641, the installer restarting the PC,
# only where the package lets it.
installer_exit_codes() {
  printf '%s\n' 0 1603 1618 3010
  grep -q 'Id="REBOOT" Value="ReallySuppress"' installer/ordex.wxs || echo 1641
}

# preset_names NEXT: the names of the presets whose "name" is followed by NEXT.
preset_names() {
  grep -zoP "\"name\": \"\\K[^\"]+(?=\",\\s*$1)" CMakePresets.json | tr '\0' '\n' | sort -u
}

# The configure presets that are not hidden.
configure_presets() { comm -23 <(preset_names '"displayName"') <(preset_names '"hidden": true'); }

script_files() { ls scripts/*.sh scripts/lib/*.sh; }

# ctest's own tests and GoogleTest's suites, these also without the "Test" they may end in.
test_names() {
  grep_values tests/CMakeLists.txt 'add_test\(NAME \K\w+'
  grep_values tests/*.cpp '^(?:TEST|TEST_F|TEST_P|TYPED_TEST)\(\K\w+' | sed -E 'p; s/Test$//'
}

window_rows() { grep_values src/shell/form1_layout.h '\{"lb\w+", "\K[^":]+(?=:")'; }

summary_keys() { grep_values src/report/summary_file.cpp '\{"\K[\w-]+(?=: ")'; }

# The machine-wide names of ORDEX's kernel objects, as a page writes them (Global\ORDEX.Name),
# from the literals of the sources, whose backslash is doubled.
global_names() { grep -rhoP --include='*.h' --include='*.cpp' '"Global\\\\\KORDEX\.\w+(?=")' src |
  sed 's/^/Global\\/'; }

# The insertion strings (%1, %2, ...) that entry ID of the message table has, in English.
insertion_codes() {
  awk -v id="$1" '/^MessageId=/ {inside = ($0 == "MessageId=" id)}
                  inside && /^Language=German/ {inside = 0} inside' src/platform/ordex_messages.mc |
    grep -oP '%\K[0-9]+'
}

last_insertion_code() { insertion_codes "$1" | sort -n | tail -n 1; }

condition_names() { grep_values src/shell/lasting_condition.cpp 'return "\K[^"]+'; }

# The longest insertion string the event log takes, written with a thousands separator.
insertion_string_limit() {
  grep_values src/platform/event.h 'kMaxInsertionStringLength = \K[0-9]+' |
    sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta'
}

# ---- The facts, one row each: check KIND WHAT PAGES PATTERN SOURCE...

check eq 'event IDs and levels of the events table' docs/administrator.md \
  '^\| \K[0-9]+ \| (?:Error|Warning|Information)(?= \|)' message_table
check eq 'events the table lists as reported (not "reserved")' docs/administrator.md \
  '^\| \K[0-9]+(?= \| \w+ \| (?!reserved))' reported_event_ids
check in 'insertion strings of event 10 in the events table' docs/administrator.md \
  '(?:^\| 10 \||(?!^)\G)[^%]*?%\K[0-9]+' insertion_codes 10
check in 'the last insertion string of event 10 in the events table' docs/administrator.md \
  '^\| 10 \|.*%\K[0-9]+(?=[^%]*$)' last_insertion_code 10
check in 'event IDs named in the text' "$ALL_PAGES" '\bevents? \K[0-9]+\b' message_ids
check in 'registry keys' "$ALL_PAGES" \
  'SOFTWARE\\(?:WOW6432Node\\|Policies\\)?Tarvex Roboter GmbH(?:\\(?!\.\.\.)[\w ]+)*' registry_keys
check in 'registry values given to reg add' "$ALL_PAGES" \
  'reg add "HKLM\\SOFTWARE\\(?:Policies\\)?Tarvex[^"]*" /v \K\w+' registry_value_names
check in 'registry values in the tables' "$ALL_PAGES" '^\| "\K\w+(?=" \|)' registry_value_names
check eq 'the facts table: every value ORDEX writes, with its type' docs/administrator.md \
  '^\| "\K[\w-]+" \| REG_\w+' facts_values
check in "the settings key's view in reg add" "$ALL_PAGES" \
  'reg add "HKLM\\SOFTWARE\\Tarvex[^\n]*/reg:\K[0-9]+' \
  grep_values src/registry/registry_win32.cpp 'kRegistryView = KEY_WOW64_\K[0-9]+'
check none 'a reg add of the settings key without the 32-bit view (/reg:32)' "$ALL_PAGES" \
  'reg add "HKLM\\SOFTWARE\\Tarvex(?!.*/reg:)'
check in 'default refresh period' "$ALL_PAGES" '\bdefault:? \K[0-9]{3,}\b' \
  setting_default TimerInterval
check in 'default of "Visible"' "$ALL_PAGES" '\b\K[0-9]+(?=(?: =)? hidden, the default)' \
  setting_default Visible
check in 'installation folder when none is set' "$ALL_PAGES" \
  '`\K[A-Z]:\\\w+(?=` when it is not set|`\)\.?$)' default_install_dir
check in "the template's interval range" docs/administrator.md \
  '\b\K[0-9]+ to [0-9]+(?= ms)' admx_range
check in "the template's policies" docs/administrator.md '^\| \K[A-Z][^|]+?(?= \| "\w+" \|)' \
  grep_values installer/policy/en-US/ORDEX.adml '<string id="\w+">\K[^<]+'
check in 'policies in OMA-URIs' "$ALL_PAGES" '~Policy~\K\w+(?:~\w+)*/\w+' admx_policy_paths
check in 'number fields of the policies' "$ALL_PAGES" '<data id="\K\w+' \
  grep_values installer/policy/ORDEX.admx '<(?:decimal|text|enum|boolean) id="\K\w+'
check in 'names in the version resource and the package' "$ALL_PAGES" \
  '(?:product name|original file name) "\K[^"]+' \
  grep_values src/app/ordex.rc installer/ordex.wxs \
  'VALUE "(?:ProductName|OriginalFilename)", "\K[^"]+|<Product Id="\*" Name="\K[^"]+'
check in 'package properties' 'README.md docs/administrator.md docs/technician.md' \
  '(?<![\w%])[A-Z]{5,}(?==)|`\K(?!ORDEX`)[A-Z]{5,}(?=`)' package_properties
check eq 'exit codes of the package' docs/administrator.md '^\| \K[0-9]+(?= \| [a-z])' \
  installer_exit_codes
check in 'the UpgradeCode' "$ALL_PAGES" '\{[0-9A-F]{8}(?:-[0-9A-F]{4}){3}-[0-9A-F]{12}\}' \
  grep_values cmake/msi.cmake 'ORDEX_MSI_UPGRADE_CODE "\K[^"]+'
check eq 'the presets table' docs/developer.md '^\| `\K[\w-]+(?=` \| `build/)' configure_presets
check in 'presets named in commands' "$ALL_PAGES" '--preset \K[\w-]+' configure_presets
check in 'scripts named' "$ALL_PAGES" '\bscripts/[\w/-]+\.sh' script_files
check in 'tests named for ctest -R or a GoogleTest filter' "$ALL_PAGES" \
  "(?:-R '?|--gtest_filter='?)\\K[A-Za-z0-9]+" test_names
check eq "the window's rows" docs/technician.md '^\| \K[A-Z][\w -]*?(?= \| the )' window_rows
check in "the summary file's keys" docs/technician.md '^    \K[A-Z][\w-]*(?=: )' summary_keys
check in 'names of lasting conditions' "$ALL_PAGES" '"\K(?:machine data|summary) file [^"]+(?=")' \
  condition_names
check in 'how long a condition lasts before it is reported' "$ALL_PAGES" \
  '\b\K[0-9]+(?= s(?:econds)? and [0-9]+ refresh)' \
  grep_values src/shell/lasting_condition.h 'kConditionReportAfter\{\K[0-9]+'
check in 'how many refreshes it lasts before it is reported' "$ALL_PAGES" \
  '\b[0-9]+ s(?:econds)? and \K[0-9]+(?= refresh)' \
  grep_values src/shell/lasting_condition.h 'kConditionReportPasses = \K[0-9]+'
check eq 'languages of the event messages' docs/administrator.md \
  '(?<=message table in )[A-Z][a-z]+|(?<= and in )[A-Z][a-z]+(?=, with the same IDs)' message_languages
check in 'how long start-up waits for a held file' "$ALL_PAGES" \
  'again (?:every [0-9]+ ms )?for up to \K[0-9]+(?= seconds)' \
  grep_values src/shell/start_up_patience.h 'kStartUpPatience\{\K[0-9]+'
check in 'how often start-up tries a held file again' "$ALL_PAGES" \
  'again every \K[0-9]+(?= ms for up to)' \
  grep_values src/shell/start_up_patience.h 'kStartUpPause\{\K[0-9]+'
check in 'the heartbeat period' "$ALL_PAGES" 'every \K[0-9]+(?= hours)' \
  grep_values src/shell/main_window.h 'kHeartbeatPeriod\{\K[0-9]+'
check in 'machine-wide names' "$ALL_PAGES" 'Global\\ORDEX\.\w+' global_names
check in 'how often a waiting ORDEX tries the claim again' "$ALL_PAGES" \
  'tries the claim again every \K[0-9]+(?= ms)' \
  grep_values src/shell/collector_claim.h 'kCollectorClaimRetry\{\K[0-9]+'
check in 'how long the package waits for a closing ORDEX' "$ALL_PAGES" \
  'waits up to \K[0-9]+(?= seconds in all)' \
  grep_values src/setup/running_ordex_win32.h 'kCloseWait\{\K[0-9]+'
check in "the scripts' registry keys" scripts/lib/registry_keys.sh "^\w+Key='[^']*'" \
  registry_key_constants
check in 'the longest insertion string' "$ALL_PAGES" \
  'longer than the event log takes \(\K[0-9,]+(?= characters)' insertion_string_limit
check in 'the mark of a cut insertion string' "$ALL_PAGES" '\) is cut to that length and ends in `\K[^`]+' \
  grep_values src/platform/event.h 'kInsertionStringCutMark = "\K[^"]+'

if [ "$failures" -ne 0 ]; then
  echo "docs_check: $failures statement(s) the code contradicts" >&2
  exit 1
fi
echo "docs_check: every fact checked holds"
