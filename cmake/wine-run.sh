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

# The prefix counts as ready only once the booting server has exited: system.reg
# appears while wineboot still runs, and a program started then finds a server that
# is going away ("a wine server seems to be running, but I cannot connect to it").
ready="$WINEPREFIX/.halvex-ready"
if [ ! -f "$ready" ]; then
  mkdir -p "$WINEPREFIX"
  ( flock 9
    if [ ! -f "$ready" ]; then
      wineboot -i >/dev/null 2>&1
      wineserver -w
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# A server that lingers after its last client can still be shutting down when the
# next program starts; that start fails before the program runs, so try again.
err=$(mktemp "${TMPDIR:-/tmp}/halvex-wine.XXXXXX") || exit 1
attempt=1
while :; do
  wine "$@" 2>"$err"
  rc=$?
  cat "$err" >&2
  if [ "$attempt" -ge 5 ] || ! grep -q "cannot connect to it" "$err"; then
    break
  fi
  attempt=$((attempt + 1))
  sleep 1
done
rm -f "$err"
exit "$rc"
