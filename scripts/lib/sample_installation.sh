# shellcheck shell=bash
# shellcheck disable=SC2154  # VersionKey, SettingsKey: registry_keys.sh, sourced by common.sh
# The sample installation and its registry store, for the Linux build's scripts (sourced by
# common.sh, not run).

# make_sample_installation DIR [INTERVAL_MS VISIBLE]: a copy of the sample installation
# (examples/ROBOTER) in DIR, with a registry store of its own (see write_sample_store).
make_sample_installation() {
  mkdir -p "$1"
  cp -R examples/ROBOTER "$1/"
  write_sample_store "$@"
}

# write_sample_store DIR [INTERVAL_MS VISIBLE]: DIR/registry.reg with the controller's key, its
# InstallationDir DIR, and the two settings when given; replaced at once, so that a running
# ORDEX never reads half of it.
write_sample_store() {
  local dir=$1
  {
    printf '%s\r\n' 'REGEDIT4' '' \
      "[HKEY_LOCAL_MACHINE\\$VersionKey]" \
      '"XOCVersion"="XOC 5.6.11"' '"Version"="BR 5.6.3"' "\"InstallationDir\"=\"$dir\""
    if [ $# -eq 3 ]; then
      printf '%s\r\n' '' \
        "[HKEY_LOCAL_MACHINE\\$SettingsKey]" \
        "$(printf '"TimerInterval"=dword:%08x' "$2")" "$(printf '"Visible"=dword:%08x' "$3")"
    fi
  } >"$dir/registry.reg.new"
  mv "$dir/registry.reg.new" "$dir/registry.reg"
}
