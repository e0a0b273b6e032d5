#!/usr/bin/env bash
# The plug-in's rules where the user meets them on the command line: a folder
# given as input is a file that does not open, on every system.
# Usage: plugin_cli_test.sh VARNEX_BINARY
set -uo pipefail
varnex=$1
source "$(dirname "$0")/cli_checks.sh"
export XDG_CONFIG_HOME="$work/config"
# check CODE STDOUT STDERR ARGS...: runs varnex and compares what the user sees.
check() {
  local code=$1 out=$2 err=$3
  shift 3
  "$varnex" "$@" >stdout.txt 2>stderr.txt
  local got=$?
  [ "$got" -eq "$code" ] || fail "$*: exit code $got, expected $code"
  [ "$(cat stdout.txt)" == "$out" ] || fail "$*: stdout was: $(cat stdout.txt)"
  [ "$(cat stderr.txt)" == "$err" ] || fail "$*: stderr was: $(cat stderr.txt)"
}

mkdir somedir.bvh somedir.asf skel.amc
check 1 "somedir.asf: -1 (cannot be opened)
somedir.bvh: -1 (cannot be opened)" "" validate somedir.asf somedir.bvh
for input in somedir.bvh somedir.asf; do
  check 1 "" "ImportConverter_BiovisionAcclaim(): cannot open the Biovision/Acclaim file \"$input\" for reading." \
    import "$input"
done
# A folder where the AMC would be: the skeleton alone, with the missing-AMC note.
printf ':hierarchy\nbegin\nend\n' >skel.asf
"$varnex" import -q skel.asf >stdout.txt 2>stderr.txt || fail "skel.asf beside a folder skel.amc: exit $?"
grep -q "^Could not find a corresponding AMC file. If animation import is needed, please provide skel.amc$" stderr.txt ||
  fail "no missing-AMC note: $(cat stderr.txt)"
exit $((failures > 0))
