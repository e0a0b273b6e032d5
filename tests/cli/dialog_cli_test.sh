#!/usr/bin/env bash
# Runs `varnex options` and `varnex about` with scripts of steps and compares
# the exit code, what varnex prints and imp_bvh.ini, then the refusals.
# Usage: dialog_cli_test.sh VARNEX_BINARY
set -uo pipefail
varnex=$1

source "$(dirname "$0")/cli_checks.sh"
# The dialogs read the terminal when no script is given: never let them wait.
run() {
  "$varnex" "$@" </dev/null >stdout.txt 2>stderr.txt
  code=$?
}
expect_file() {
  [ "$(cat "$1")" == "$2" ] || fail "$1 was:"$'\n'"$(cat "$1")"$'\n'"expected:"$'\n'"$2"
}

# From the defaults, a refused value, then one saved; the snapshot lists each
# control with its state (the four the steps change are kept here).
run --settings settings options --script "click 100; text 101 0; click 1; text 101 0.5; snapshot; click 1"
expect_code 0
[ "$(tail -n 4 settings/imp_bvh.ini | tr '\n' ' ')" == "distance_threshold2 = 0.5 angular_threshold2 = 0.01 \
ena_trans_kf_reduction = 1 ena_rot_kf_reduction = 0 " ] || fail "saved: $(cat settings/imp_bvh.ini)"
sed -i -e '/^snapshot/,/^click 1$/{/^snapshot\|^click\|  10[0-3] /!d}' stdout.txt
expect_file stdout.txt "open OptionsDialog owner=main
center OptionsDialog on main
click 100
click 1
message \"Error\" \"The 'distance threshold' value must be greater than 0.\" owner=OptionsDialog
snapshot OptionsDialog
  100 checkbox [x] \"Perform translation keyframe reduction\"
  101 edit \"0.5\" focus
  102 checkbox [ ] \"Perform Euler angle rotation keyframe reduction\"
  103 edit \"0.01\" disabled
click 1
end OptionsDialog 1
show_options_dialog: 1"

# The About box brings up help and leaves the answer alone.
run --settings settings about --script "click 200; click 1"
expect_code 0
expect_file stdout.txt "open AboutBox owner=main
center AboutBox on main
click 200
help imp_bvh.hlp main owner=AboutBox
click 1
end AboutBox 1
show_about_dialog: 0"

run options
expect_code 2
expect_file stderr.txt "varnex: the dialogs need a terminal; without one, give --script"
run options --script "click ok"
expect_code 2
expect_file stderr.txt "varnex: --script: 'click ok': expected a control id"
[ "$failures" -eq 0 ]
