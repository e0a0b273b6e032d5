#!/usr/bin/env bash
# The host program's exports and batch conversion, checked from outside:
# exit codes, the exact messages, and which files exist afterwards.
# Usage: export_cli_test.sh CASE VARNEX SAMPLES_DIR
set -uo pipefail
case_name=$1 varnex=$2 samples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

case $case_name in
  convert_one_bad)
    # One file the plug-in refuses among good ones: the others convert, the
    # table says which failed, and the run answers 1.
    cp "$samples/wave.bvh" "$work/a.bvh"
    cp "$samples/wave.bvh" "$work/b.bvh"
    echo "not motion" > "$work/notes.txt"
    out=$("$varnex" convert "$work/a.bvh" "$work/notes.txt" "$work/b.bvh" --out-dir "$work/out" --jobs 2 2>/dev/null)
    code=$?
    [ $code -eq 1 ] || fail "exit code $code"
    echo "$out" | grep -qE "^$work/notes.txt +failed \(exit 1\)" || fail "no failure row: $out"
    echo "$out" | grep -qE "^$work/a.bvh +ok +12 +40 " || fail "no row for a.bvh: $out"
    echo "$out" | grep -qx "2 converted, 1 failed" || fail "no closing count: $out"
    [ -s "$work/out/a.glb" ] && [ -s "$work/out/b.glb" ] || fail "good files not written"
    [ ! -e "$work/out/notes.glb" ] || fail "a failed import wrote an export"
    [ -z "$(ls -A "$work/out" | grep -v '\.glb$')" ] || fail "leftovers: $(ls -A "$work/out")"
    ;;
  convert_same_names)
    mkdir -p "$work/x" "$work/y"
    cp "$samples/wave.bvh" "$work/x/take.bvh"
    cp "$samples/wave.bvh" "$work/y/take.bvh"
    "$varnex" convert "$work/x" "$work/y" --out-dir "$work/out" --format csv >/dev/null 2>&1 || fail "exit code $?"
    [ -s "$work/out/take.csv" ] && [ -s "$work/out/take-2.csv" ] || fail "outputs: $(ls "$work/out")"
    ;;
  glb_unwritable)
    err=$("$varnex" import "$samples/wave.bvh" -q -o "$work/missing/wave.glb" 2>&1)
    code=$?
    [ $code -eq 2 ] || fail "exit code $code"
    [ "$err" = "varnex: cannot write the glTF file to $work/missing/wave.glb: No such file or directory" ] || fail "message: $err"
    ;;
  failed_import_writes_nothing)
    echo "not motion" > "$work/notes.txt"
    "$varnex" import "$work/notes.txt" -q -o "$work/notes.glb" --preview "$work/notes.svg" --dump-json "$work/notes.json" >/dev/null 2>&1
    code=$?
    [ $code -eq 1 ] || fail "exit code $code"
    [ -z "$(ls -A "$work" | grep -v notes.txt)" ] || fail "written: $(ls -A "$work")"
    ;;
  all_exports)
    "$varnex" import "$samples/wave.bvh" -q -o "$work/w.gltf" --preview "$work/w.svg" --dump-json "$work/w.json" || fail "exit code $?"
    head -c 1 "$work/w.gltf" | grep -q '{' || fail "gltf is not JSON"
    grep -q '<svg' "$work/w.svg" || fail "no svg"
    grep -q '"instances"' "$work/w.json" || fail "no scene json"
    ;;
  *) fail "unknown case $case_name" ;;
esac
echo "ok: $case_name"
