# shellcheck shell=bash
# What a build says of itself, for the scripts that check its files (sourced by common.sh, not
# run).

# build_version BUILD_DIR: the project's version the configured build took ("1.3.0").
build_version() { awk -F= '/^CMAKE_PROJECT_VERSION:/ {print $2}' "$1/CMakeCache.txt"; }

# file_version FILE: the FileVersion of a PE file's version resource ("1.3.0").
file_version() { strings -el "$1" | grep -A1 -x FileVersion | sed -n 2p; }
