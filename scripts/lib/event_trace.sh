# shellcheck shell=bash
# The events of ORDEX as Wine's trace shows them, for the Windows test and the package test
# (sourced by common.sh, not run). Wine keeps no event log: under WINEDEBUG=+eventlog,+advapi it
# prints each ReportEventW call and its strings.

ORDEX_MESSAGE_TABLE=src/platform/ordex_messages.mc

# logged_events FILE: one line per ReportEventW call that Wine printed into FILE (WINEDEBUG
# +eventlog for the strings, +advapi for the call): the event ID as the message table files it
# (see event_id), then each insertion string after a "|", as Wine quotes it (a backslash doubled).
logged_events() {
  tr -d '\r' <"$1" | awk '
    /:advapi:ReportEventW \(/ { if (event != "") print event; split($0, field, ","); event = field[4]; next }
    /:eventlog:ReportEventW L"/ { text = $0; sub(/^[^"]*"/, "", text); sub(/"$/, "", text); event = event "|" text }
    END { if (event != "") print event }'
}

# event_id SYMBOLIC_NAME: the event ID of that entry of the message table as Wine's trace prints
# it (0x4000000a). The message compiler puts the number its Severity has in SeverityNames in the
# top two bits ("shifted left by 30", Message Text Files) above the MessageId; a Severity left
# out is the last one given. The table names no Facility, whose bits would come between: an entry
# after one is refused rather than guessed. Read as the table is written, a keyword a line.
event_id() {
  local fields severity id facility number='^(0x[0-9a-fA-F]+|[0-9]+)$'
  fields=$(tr -d '\r' <"$ORDEX_MESSAGE_TABLE" | awk -v name="$1" '
    /^SeverityNames=/ { in_names = 1 }
    in_names {
      pair = $0; sub(/^SeverityNames=\(/, "", pair); sub(/^[ \t]+/, "", pair)
      split(pair, part, /[=:)]/); severity[part[1]] = part[2]
      if ($0 ~ /\)/) in_names = 0
      next
    }
    /^MessageId=/ { id = substr($0, 11); symbol = "" }
    /^Severity=/ { level = substr($0, 10) }
    /^Facility=/ { facility = "after a Facility" }
    /^SymbolicName=/ { symbol = substr($0, 14) }
    /^Language=/ && symbol == name { print severity[level] " " id " " facility; exit }')
  read -r severity id facility <<<"$fields"
  [[ $severity =~ $number && $id =~ $number && -z $facility ]] ||
    fail "no event ID for $1 in $ORDEX_MESSAGE_TABLE: severity '$severity', MessageId '$id' $facility"
  printf '0x%08x\n' $((severity << 30 | id))
}
