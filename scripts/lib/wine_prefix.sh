# shellcheck shell=bash
# The Wine prefix of a script run, and the choice of the build that Wine can start here
# (sourced by common.sh, not run).

# use_scratch_wine_prefix NAME [WINEARCH]: a Wine prefix of its own in a new scratch folder
# ($work, named after NAME), without downloads of Wine's .NET and HTML engines (ORDEX needs
# neither). At exit the programs whose process ids stand in wine_pids are ended, Wine's server
# with them, and the folder goes.
wine_pids=()
use_scratch_wine_prefix() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -z "${2:-}" ] || export WINEARCH=$2
  trap end_scratch_wine_prefix EXIT
}

end_scratch_wine_prefix() {
  local pid
  for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}

# Chooses how the Windows build is run under Wine and exports the choice for the scripts:
# ORDEX_WINDOWS_PRESET, ORDEX_MINGW_PREFIX, ORDEX_WINE_ARCHS (the prefixes to test in) and
# WINEARCH. Wine starts 32-bit Windows programs only where the kernel runs 32-bit x86 programs,
# and some virtual machines' kernels do not (no IA32 emulation); there the same tests run on the
# 64-bit build in a 64-bit prefix, through Wine's 64-bit loader, and say so. Either build reads
# and writes the registry's 32-bit view, as the 32-bit controller software does.
choose_wine() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export ORDEX_WINDOWS_PRESET=windows ORDEX_MINGW_PREFIX=i686-w64-mingw32 \
      ORDEX_WINE_ARCHS="win32 win64"
    return 0
  fi
  echo "NOTE: this kernel cannot run 32-bit x86 programs, so Wine cannot start the 32-bit" \
    "ordex.exe here; the Windows tests run on the 64-bit build (preset windows-x64) instead."
  ensure_packages g++-mingw-w64-x86-64-posix wine64
  # The wine command prefers the 32-bit loader whenever it is installed; this one never does.
  local shim=$PWD/build/wine64-loader
  mkdir -p "$shim"
  printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
    >"$shim/wine"
  chmod +x "$shim/wine"
  export PATH=$shim:$PATH ORDEX_WINDOWS_PRESET=windows-x64 ORDEX_MINGW_PREFIX=x86_64-w64-mingw32 \
    ORDEX_WINE_ARCHS=win64 WINEARCH=win64
}
