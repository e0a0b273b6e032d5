#!/usr/bin/env bash
# Exports our samples and every real file in ../shared/mocap to glTF with the
# built varnex and runs the Khronos glTF validator over them; fails on any
# error or warning. Installs the validator with npm into TOOLS_DIR (default
# ~/.cache/varnex-tools) unless --no-install is given, in which case a missing
# validator exits 77 (skipped). Usage: validate-exports.sh [--no-install] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
install=1
if [ "${1:-}" = "--no-install" ]; then install=0; shift; fi
build=${1:-build}
tools=${TOOLS_DIR:-$HOME/.cache/varnex-tools}

if [ ! -f "$tools/node_modules/gltf-validator/package.json" ]; then
  if [ $install -eq 0 ]; then echo "glTF validator not installed in $tools: skipped"; exit 77; fi
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --silent gltf-validator >/dev/null
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
inputs=(samples)
mocap=${MOCAP_DIR:-../shared/mocap}  # worktrees elsewhere point MOCAP_DIR at it
[ -d "$mocap" ] && inputs+=("$mocap")
"$build/bin/varnex" convert "${inputs[@]}" --out-dir "$out/glb" --format glb --jobs 2 >/dev/null
"$build/bin/varnex" convert samples --out-dir "$out/gltf" --format gltf --jobs 2 >/dev/null
# The samples' animations compressed, where this varnex has --compress.
if ! "$build/bin/varnex" import --help | grep -q 'Unavailable'; then
  "$build/bin/varnex" convert samples --out-dir "$out/compressed" --format glb --compress --jobs 2 >/dev/null
fi
# Several takes in one file: every AMC of the R package's folder on one skeleton.
if [ -d "$mocap/acclaim/cmu_rpkg" ]; then
  mkdir -p "$out/merged"
  "$build/bin/varnex" import --skeleton "$mocap/acclaim/cmu_rpkg/charleston.asf" "$mocap"/acclaim/cmu_rpkg/*.amc \
    --frame-rate 120 -q -o "$out/merged/cmu_rpkg.glb" 2>/dev/null
fi
# Outputs keep the inputs' folders.
mapfile -t files < <(find "$out" -name '*.glb' -o -name '*.gltf' | sort)
GLTF_VALIDATOR_DIR="$tools" node scripts/validate-gltf.cjs "${files[@]}"
