#!/usr/bin/env bash
# The Windows build's smoke test, run by windows-build.sh inside a virtual X
# display: imports of samples/walk.bvh and of a small ASF/AMC pair, a batch
# convert through worker processes, and an options-file round trip through
# the real options dialog. Needs VARNEX_WINDOWS_BIN and WINEPREFIX.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${VARNEX_WINDOWS_BIN:?}
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser installers in a fresh prefix
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
fail() { echo "windows-smoke: $*" >&2; exit 1; }

work=$(mktemp -d)
# Ends this prefix's wine processes before the display goes away.
finish() {
  timeout 30 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

# -- A fresh prefix: its first boot can stall or fail on a loaded machine, so
# it gets a bound and a second try from scratch.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  started=$SECONDS
  for attempt in 1 2; do
    mkdir -p "$WINEPREFIX"
    if timeout 300 "$wine" wineboot --init >/dev/null 2>&1; then
      timeout 60 "$wineserver" -w || true  # the registry reaches the disk when the server ends
      break
    fi
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    [ "$attempt" = 2 ] && fail "wine could not create its prefix in $WINEPREFIX"
    echo "windows-smoke: wine prefix creation failed, trying once more" >&2
  done
  echo "windows-smoke: wine prefix created in $((SECONDS - started)) s"
fi

run() { timeout 120 "$wine" "$@" | tr -d '\r'; }

# -- A BVH import with its scene tree.
out=$(run "$bin/varnex.exe" import samples/walk.bvh)
echo "$out"
grep -q "walk" <<<"$out" || fail "the BVH import printed no scene tree"

# -- An Acclaim pair: the AMC is found beside the ASF by name.
cat >"$work/reach.asf" <<'ASF'
:version 1.10
:name reach
:units
  mass 1.0
  length 1.0
  angle deg
:root
  order TX TY TZ RX RY RZ
  axis XYZ
  position 0 0 0
  orientation 0 0 0
:bonedata
  begin
    id 1
    name upper
    direction 0 1 0
    length 2
    axis 0 0 0 XYZ
    dof rx rz
  end
  begin
    id 2
    name lower
    direction 1 0 0
    length 1.5
    axis 0 0 0 XYZ
    dof rx
  end
:hierarchy
  begin
    root upper
    upper lower
  end
ASF
cat >"$work/reach.amc" <<'AMC'
:FULLY-SPECIFIED
:DEGREES
1
root 0 0 0 0 0 0
upper 0 0
lower 0
2
root 0 0.5 0 0 10 0
upper 20 5
lower 30
3
root 0 1 0 0 20 0
upper 40 10
lower 60
AMC
out=$(run "$bin/varnex.exe" import "Z:$work/reach.asf")
echo "$out"
grep -q "lower" <<<"$out" || fail "the ASF import printed no scene tree"
grep -q ", 3 frames," <<<"$out" || fail "the ASF import did not read the AMC's 3 frames"

# -- A batch convert: varnex.exe starting itself as worker processes, one of
# which fails and leaves its message in its log.
echo "not motion" >"$work/notes.bvh"
status=0
out=$(run "$bin/varnex.exe" convert samples "Z:$work/reach.asf" "Z:$work/notes.bvh" --out-dir "Z:$work/out" \
  --jobs 2 2>&1 | tr -d '\r') || status=$?
echo "$out"
[ "$status" = 1 ] || fail "the convert command ended with $status, not 1"
grep -qx "5 converted, 1 failed" <<<"$out" || fail "the convert command did not convert the five good files"
grep -q "notes.bvh: Warning: unknown string encountered: not\.$" <<<"$out" ||
  fail "the convert command did not pass on the failed file's first message"
for name in walk wave figure figure_bow reach; do
  [ -s "$work/out/$name.glb" ] || fail "the convert command wrote no $name.glb"
done

# -- An options-file round trip through the options dialog.
mkdir "$work/settings"
cat >"$work/settings/imp_bvh.ini" <<'INI'
# Default options for the Biovision/Acclaim import converter.
# !! Do not modify this file. It is written by the converter.
[Preferences]
distance_threshold2 = 0.5
angular_threshold2 = 2
ena_trans_kf_reduction = 1
ena_rot_kf_reduction = 0
INI
out=$(run "$bin/varnex.exe" --settings "Z:$work/settings/" options --script "snapshot; click 102; text 103 4.5; click 1")
echo "$out"
grep -q '^  101 Edit "0.5"' <<<"$out" || fail "the dialog did not show the options file's distance"
grep -q '^show_options_dialog: 1$' <<<"$out" || fail "the options dialog did not answer 1"
expected=$'# Default options for the Biovision/Acclaim import converter.\n# !! Do not modify this file. It is written by the converter.\n[Preferences]\ndistance_threshold2 = 0.5\nangular_threshold2 = 4.5\nena_trans_kf_reduction = 1\nena_rot_kf_reduction = 1'
written=$(tr -d '\r' <"$work/settings/imp_bvh.ini")
[ "$written" = "$expected" ] || fail "imp_bvh.ini after OK:"$'\n'"$written"
echo "windows-smoke: passed"
