#!/usr/bin/env bash
# Cross-builds imp_bvh.dll, vc64_hq.dll, vc64_imp.dll and varnex.exe for 64-bit
# Windows into WINDOWS_BUILD_DIR (default build-windows), checks that the
# plug-in exports only its entry point and carries its dialogs, then runs
# scripts/windows-smoke.sh under wine. VARNEX_SKIP_WINE=1 skips the smoke test.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
bash scripts/setup-windows.sh

dir=${WINDOWS_BUILD_DIR:-build-windows}
case $dir in /*) ;; *) dir=$PWD/$dir ;; esac
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVARNEX_BUILD_TESTS=OFF -DVARNEX_BUILD_BENCH=OFF -DVARNEX_WERROR=${VARNEX_WERROR:-OFF} >/dev/null
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

if [ "${VARNEX_SKIP_WINE:-0}" = 1 ]; then
  echo "windows-build: built and checked in $((SECONDS - started)) s (no wine smoke test)"
  exit 0
fi

# -- Smoke test under wine, in one virtual X display for every step, so that
# wine's desktop process never outlives the display it was started on.
export WINEPREFIX=${WINEPREFIX:-$dir/wineprefix}
export VARNEX_WINDOWS_BIN=$bin
xvfb-run -a bash scripts/windows-smoke.sh
echo "windows-build: built, checked and smoke-tested in $((SECONDS - started)) s"
