#!/usr/bin/env bash
# Runs one named case of the varnex command line and compares its exit code,
# stdout and stderr with what a user must see.
# Usage: varnex_cli_test.sh CASE VARNEX_BINARY SAMPLES_DIR
set -uo pipefail
case_name=$1
varnex=$2
samples=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
cd "$work"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run ARGS...: runs varnex, keeping its exit code, stdout and stderr.
run() {
  "$varnex" "$@" >stdout.txt 2>stderr.txt
  code=$?
}

expect_code() { [ "$code" -eq "$1" ] || fail "exit code $code, expected $1"; }
expect_stdout() {
  [ "$(cat stdout.txt)" == "$1" ] || fail "stdout was:"$'\n'"$(cat stdout.txt)"$'\n'"expected:"$'\n'"$1"
}
expect_stderr() {
  [ "$(cat stderr.txt)" == "$1" ] || fail "stderr was:"$'\n'"$(cat stderr.txt)"$'\n'"expected:"$'\n'"$1"
}
expect_stdout_matches() { grep -Eq "$1" stdout.txt || fail "stdout does not match $1:"$'\n'"$(cat stdout.txt)"; }
expect_stderr_matches() { grep -Eq "$1" stderr.txt || fail "stderr does not match $1:"$'\n'"$(cat stderr.txt)"; }

case "$case_name" in
  validate_codes)
    printf 'HIERARCHY\nROOT Hips\n' >walk.bvh
    printf 'HIERARCHY\r\n' >crlf.bvh
    printf 'HIERARCHY' >noline.bvh
    printf 'hierarchy\n' >lower.bvh
    printf 'Hierarchy\n' >mixed.bvh
    printf ' HIERARCHY\n' >blank.bvh
    printf 'HIERARCHY\n' >UPPER.BVH
    : >empty.asf
    : >skelasf
    printf 'junk' >motion.amc
    printf 'HIERARCHY\n' >notes.txt
    printf 'HIERARCHY\n' >ab
    run validate walk.bvh crlf.bvh noline.bvh lower.bvh mixed.bvh blank.bvh UPPER.BVH empty.asf skelasf \
      motion.amc notes.txt ab missing.bvh
    expect_code 1
    expect_stdout "walk.bvh: 1 (accepted)
crlf.bvh: 1 (accepted)
noline.bvh: -2 (not accepted)
lower.bvh: 1 (accepted)
mixed.bvh: -2 (not accepted)
blank.bvh: -2 (not accepted)
UPPER.BVH: 1 (accepted)
empty.asf: 1 (accepted)
skelasf: 1 (accepted)
motion.amc: 1 (accepted)
notes.txt: -2 (not accepted)
ab: -2 (not accepted)
missing.bvh: -1 (cannot be opened)"
    expect_stderr ""
    ;;
  validate_all_accepted)
    run validate "$samples/walk.bvh"
    expect_code 0
    expect_stdout "$samples/walk.bvh: 1 (accepted)"
    [ -d "$XDG_CONFIG_HOME/varnex" ] || fail "the settings directory was not created"
    ;;
  settings_option)
    run --settings "$work/chosen/place" validate "$samples/walk.bvh"
    expect_code 0
    [ -d "$work/chosen/place" ] || fail "--settings did not create its directory"
    [ ! -e "$XDG_CONFIG_HOME/varnex" ] || fail "the default settings directory was used despite --settings"
    ;;
  import_missing)
    run import missing.bvh --positions out.csv
    expect_code 1
    expect_stdout ""
    expect_stderr 'ImportConverter_BiovisionAcclaim(): cannot open the Biovision/Acclaim file "missing.bvh" for reading.'
    [ ! -e out.csv ] || fail "a failed import wrote positions"
    ;;
  import_txt)
    printf 'HIERARCHY\n' >notes.txt
    run import notes.txt --positions out.csv
    expect_code 1
    expect_stdout ""
    expect_stderr "File must be in BioVision or Acclaim format. Aborting."
    [ ! -e out.csv ] || fail "a failed import wrote positions"
    ;;
  import_short_name)
    printf 'HIERARCHY\n' >ab
    run import ab
    expect_code 1
    expect_stderr "The filename must have a .bvh, .amc or .asf file extension."
    ;;
  import_amc)
    # Motion without a skeleton is refused before the plug-in sees it.
    printf 'junk\n' >motion.amc
    run import motion.amc --positions out.csv
    expect_code 1
    expect_stdout ""
    expect_stderr "varnex: motion.amc: no skeleton found: no --skeleton given, no motion.asf beside it, no .asf file in its folder; name one with --skeleton FILE.asf"
    [ ! -e out.csv ] || fail "a refused import wrote positions"
    ;;
  import_quiet)
    run import --quiet "$samples/walk.bvh"
    expect_code 0
    expect_stdout ""
    ;;
  import_sample)
    run import "$samples/walk.bvh" --positions out.csv
    expect_code 0
    expect_stdout_matches '^[0-9]+ instances?, [0-9]+ frames?, [0-9]+ keys?, [0-9]+ fps$'
    head -n 1 out.csv | grep -qx 'frame,path,x,y,z' || fail "positions header: $(head -n 1 out.csv)"
    if grep -vxE 'frame,path,x,y,z|[0-9]+,[^,]+,[-0-9.e+]+,[-0-9.e+]+,[-0-9.e+]+' out.csv; then
      fail "malformed positions rows"
    fi
    ls -a | grep -q '^\.out\.csv\.' && fail "a temporary file was left behind"
    ;;
  import_frame_rate)
    # AMC motion carries no rate: the scene's rate, set before the import, times its keys.
    printf ':version 1.10\n:name arm\n:units\n  length 1\n  angle deg\n:root\n  order TX TY TZ RX RY RZ\n' >arm.asf
    printf '  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n:bonedata\n  begin\n    id 1\n    name upper\n' >>arm.asf
    printf '    direction 0 1 0\n    length 2\n    axis 0 0 0 XYZ\n    dof rx\n  end\n:hierarchy\n  begin\n' >>arm.asf
    printf '    root upper\n  end\n' >>arm.asf
    printf ':DEGREES\n1\nroot 0 0 0 0 0 0\nupper 0\n2\nroot 0 1 0 0 0 0\nupper 90\n' >arm.amc
    run import arm.asf --frame-rate 120 --dump-json out.json
    expect_code 0
    expect_stdout_matches '^[0-9]+ instances, 2 frames, [0-9]+ keys, 120 fps$'
    grep -q '"frameRate": *120' out.json || fail "frame rate in the dump: $(grep -o '"frameRate": *[0-9]*' out.json)"
    run import arm.asf --frame-rate 0
    expect_code 2
    expect_stderr_matches 'frame-rate'
    ;;
  positions_unwritable)
    run import "$samples/walk.bvh" --positions no/such/dir/out.csv
    expect_code 2
    expect_stderr_matches '^varnex: cannot write the positions to no/such/dir/out\.csv: '
    ;;
  plugin_missing)
    run --plugin "$work/nothing.so" validate x.bvh
    expect_code 2
    expect_stderr_matches "^varnex: cannot load the plug-in $work/nothing\.so: "
    ;;
  usage_error)
    run import
    expect_code 2
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
exit $((failures > 0))
