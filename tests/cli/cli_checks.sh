# What the command-line tests share, sourced after they set $varnex: a scratch
# folder that is the working directory and is removed at exit, a count of
# failures, and checks of one varnex run's exit code, stdout and stderr.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
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

expect_code() { [ "$code" -eq "$1" ] || fail "exit code $code, expected $1; stderr: $(cat stderr.txt)"; }
expect_stdout() {
  [ "$(cat stdout.txt)" == "$1" ] || fail "stdout was:"$'\n'"$(cat stdout.txt)"$'\n'"expected:"$'\n'"$1"
}
expect_stderr() {
  [ "$(cat stderr.txt)" == "$1" ] || fail "stderr was:"$'\n'"$(cat stderr.txt)"$'\n'"expected:"$'\n'"$1"
}
expect_stdout_matches() { grep -Eq -- "$1" stdout.txt || fail "stdout does not match $1:"$'\n'"$(cat stdout.txt)"; }
expect_stderr_matches() { grep -Eq -- "$1" stderr.txt || fail "stderr does not match $1:"$'\n'"$(cat stderr.txt)"; }
