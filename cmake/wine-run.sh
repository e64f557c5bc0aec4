#!/bin/sh
# Runs a cross-built Windows program under Wine with a private prefix next to it.
# The prefix lives in the build folder (the parent of bin/ for programs there).
prog="$1"
dir=$(cd "$(dirname "$prog")" && pwd)
case "$dir" in
  */bin) build=$(dirname "$dir") ;;
  *) build="$dir" ;;
esac
export WINEPREFIX="${HALVEX_WINEPREFIX:-$build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Serialise the first boot: parallel tests would otherwise race to create the prefix.
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; } ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
