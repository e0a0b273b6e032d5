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
  deep_chain|wide_root)
    # 100 000 joints, in one chain or all under the root, two frames: every
    # export is written, walking the scene without recursion and in linear time.
    kind=${case_name%%_*}
    awk -v kind=$kind -v n=100000 'BEGIN {
      print "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation"
      for (i = 1; i <= n; i++) {
        print "JOINT j" i "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation"
        if (kind == "wide") print "}"
      }
      if (kind == "deep") { print "End Site\n{\nOFFSET 0 1 0\n}"; for (i = 1; i <= n; i++) print "}" }
      print "}\nMOTION\nFrames: 2\nFrame Time: 0.04"
      for (f = 0; f < 2; f++) {
        line = f " 0 0 0 0 0"
        for (i = 1; i <= n; i++) line = line " " f " 0 0"
        print line
      }
    }' > "$work/big.bvh"
    "$varnex" import "$work/big.bvh" -o "$work/big.glb" --positions "$work/big.csv" --preview "$work/big.svg" \
      --dump-json "$work/big.json" > "$work/tree.txt" || fail "exit code $?"
    instances=$([ $kind = deep ] && echo 100003 || echo 100002)
    [ "$(tail -n 1 "$work/tree.txt" | cut -d, -f1)" = "$instances instances" ] || fail "summary: $(tail -n 1 "$work/tree.txt")"
    [ "$(wc -l < "$work/big.csv")" -eq $((2 * instances + 1)) ] || fail "positions rows: $(wc -l < "$work/big.csv")"
    [ "$(head -c 4 "$work/big.glb")" = "glTF" ] || fail "no glb"
    grep -q '<svg' "$work/big.svg" || fail "no svg"
    grep -q '"instances"' "$work/big.json" || fail "no scene json"
    if [ $kind = deep ]; then
      # The deepest joint stands 100 001 up at frame 0; its path keeps the top and the last names.
      grep -qx '0,0,big/…/j99971/j99972/j99973/j99974/j99975/j99976/j99977/j99978/j99979/j99980/j99981/j99982/j99983/j99984/j99985/j99986/j99987/j99988/j99989/j99990/j99991/j99992/j99993/j99994/j99995/j99996/j99997/j99998/j99999/j100000/End Site,0,100001,0' "$work/big.csv" \
        || fail "deepest row: $(grep -m1 'End Site' "$work/big.csv")"
      grep -q '^ *\[100002\] End Site' "$work/tree.txt" || fail "deepest line: $(tail -n 2 "$work/tree.txt" | head -n 1)"
    fi
    ;;
  *) fail "unknown case $case_name" ;;
esac
echo "ok: $case_name"
