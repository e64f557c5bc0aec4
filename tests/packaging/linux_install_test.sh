#!/bin/sh
# cmake --install into a private prefix, then the installed halvex_register registers
# the installed driver folder (its default) in a private path registry, and vrhost
# with no --driver hosts it from there. Arguments: build folder, vrhost program.
set -eu
build=$1
vrhost=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/halvex-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/opt/hal vex"
for component in driver tools documentation; do
  cmake --install "$build" --prefix "$prefix" --component $component >/dev/null
done
export VR_PATHREG_OVERRIDE="$work/config/openvr/openvrpaths.vrpath"
export XDG_STATE_HOME="$work/state"
"$prefix/bin/halvex_register" install
grep -qF "\"$prefix/halvex\"" "$VR_PATHREG_OVERRIDE" || { echo "FAIL: not registered"; cat "$VR_PATHREG_OVERRIDE"; exit 1; }
out=$("$vrhost" --duration 0.5)
echo "$out" | grep -qF "hosting $prefix/halvex" || { echo "FAIL: vrhost did not host the installed driver"; echo "$out"; exit 1; }
echo "$out" | grep -q '^init result=0 ' || { echo "FAIL: Init failed"; echo "$out" | grep '^init'; exit 1; }
"$prefix/bin/halvex_register" remove
"$prefix/bin/halvex_register" status && { echo "FAIL: still registered"; exit 1; }
[ -f "$prefix/share/doc/halvex/README.md" ] || { echo "FAIL: no README installed"; exit 1; }
echo "linux install: PASS"
