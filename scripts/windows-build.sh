#!/usr/bin/env bash
# Cross-builds imp_bvh.dll, vc64_hq.dll, vc64_imp.dll and varnex.exe for 64-bit
# Windows into WINDOWS_BUILD_DIR (default build-windows), checks that the
# plug-in exports only its entry point and carries its dialogs, then runs a
# smoke test under wine: an import of samples/walk.bvh, and an options-file
# round trip through the real options dialog. VARNEX_SKIP_WINE=1 skips the
# smoke test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-windows.sh

dir=${WINDOWS_BUILD_DIR:-build-windows}
case $dir in /*) ;; *) dir=$PWD/$dir ;; esac
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVARNEX_BUILD_TESTS=OFF -DVARNEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target imp_bvh varnex
bin="$dir/bin"
objdump=x86_64-w64-mingw32-objdump
fail() { echo "windows-build: $*" >&2; exit 1; }

# -- The plug-in DLL: one export, the host DLLs by name, its resources.
exports=$($objdump -p "$bin/imp_bvh.dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}')
[ "$exports" = "Varnex_Plugin_EntryPoint" ] || fail "imp_bvh.dll must export only Varnex_Plugin_EntryPoint, exports: $exports"
imports=$($objdump -p "$bin/imp_bvh.dll" | awk '/DLL Name:/ {print tolower($3)}')
for dll in vc64_hq.dll vc64_imp.dll user32.dll; do
  grep -qx "$dll" <<<"$imports" || fail "imp_bvh.dll does not import $dll"
done
$objdump -h "$bin/imp_bvh.dll" | grep -q '\.rsrc' || fail "imp_bvh.dll has no resources"
echo "imp_bvh.dll: exports $exports; imports $(tr '\n' ' ' <<<"$imports")"

[ "${VARNEX_SKIP_WINE:-0}" = 1 ] && exit 0

# -- Smoke test under wine, with a virtual X server for the dialog.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX=${WINEPREFIX:-$dir/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser installers in a fresh prefix
run() { xvfb-run -a "$wine" "$@" | tr -d '\r'; }

out=$(run "$bin/varnex.exe" import samples/walk.bvh)
echo "$out"
grep -q "walk" <<<"$out" || fail "the import printed no scene tree"

settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
cat >"$settings/imp_bvh.ini" <<'INI'
# Default options for the Biovision/Acclaim import converter.
# !! Do not modify this file. It is written by the converter.
[Preferences]
distance_threshold2 = 0.5
angular_threshold2 = 2
ena_trans_kf_reduction = 1
ena_rot_kf_reduction = 0
INI
out=$(run "$bin/varnex.exe" --settings "Z:$settings/" options --script "snapshot; click 102; text 103 4.5; click 1")
echo "$out"
grep -q '^  101 Edit "0.5"' <<<"$out" || fail "the dialog did not show the options file's distance"
grep -q '^show_options_dialog: 1$' <<<"$out" || fail "the options dialog did not answer 1"
expected=$'# Default options for the Biovision/Acclaim import converter.\n# !! Do not modify this file. It is written by the converter.\n[Preferences]\ndistance_threshold2 = 0.5\nangular_threshold2 = 4.5\nena_trans_kf_reduction = 1\nena_rot_kf_reduction = 1'
written=$(tr -d '\r' <"$settings/imp_bvh.ini")
[ "$written" = "$expected" ] || fail "imp_bvh.ini after OK:"$'\n'"$written"
echo "windows-build: wine smoke test passed"
