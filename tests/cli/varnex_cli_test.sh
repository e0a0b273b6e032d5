#!/usr/bin/env bash
# Runs one named case of the varnex command line and compares its exit code,
# stdout and stderr with what a user must see.
# Usage: varnex_cli_test.sh CASE VARNEX_BINARY SAMPLES_DIR
set -uo pipefail
case_name=$1
varnex=$2
samples=$3

source "$(dirname "$0")/cli_checks.sh"
# The address space out_of_memory allows varnex: room for the program and the
# plug-in's model of its file, not for the host's scene of it.
out_of_memory_limit_kb=${VARNEX_OUT_OF_MEMORY_LIMIT_KB:-400000}
export XDG_CONFIG_HOME="$work/config"
expect_last_stderr() {
  [ "$(tail -n 1 stderr.txt)" == "$1" ] || fail "stderr was:"$'\n'"$(cat stderr.txt)"$'\n'"expected last:"$'\n'"$1"
}
expect_files() {  # the folder's entries, hidden ones too, sorted
  [ "$(ls -A "$1" | sort | tr '\n' ' ')" == "$2" ] || fail "$1 holds: $(ls -A "$1" | tr '\n' ' '), expected: $2"
}

# start ARGS...: runs varnex in the background (pid in $pid); finish waits for it.
start() {
  "$varnex" "$@" >stdout.txt 2>stderr.txt &
  pid=$!
}
finish() {
  wait "$pid"
  code=$?
}
# hold FIFO: opens a FIFO for writing on descriptor 3, which returns only once
# varnex has opened it for reading: from then on varnex is inside the import.
# feed FILE [FROM]: writes the file from byte FROM on into it. A signal may
# come just before a read starts to wait; the rest of the file then lets the
# import reach its next abort poll, so every case ends the same way.
hold() { exec 3>"$1"; }
feed() { tail -c +"${2:-0}" "$1" >&3 2>/dev/null; }
release() { exec 3>&-; }
# blocked_in_open PID: waits until the process waits to open a FIFO nobody reads or writes.
blocked_in_open() {
  until [ "$(cat "/proc/$1/wchan" 2>/dev/null)" == wait_for_partner ]; do sleep 0.05; done
}
# blocked_in PID WAIT: waits until the process waits in the kernel function WAIT
# (pipe_read, pipe_write; some kernels call them anon_pipe_read, anon_pipe_write).
blocked_in() {
  until [[ "$(cat "/proc/$1/wchan" 2>/dev/null)" == *"$2" ]]; do sleep 0.05; done
}
# wide_bvh FILE N: a root with N joints below it and two frames, whose printed
# scene and positions are far larger than a pipe holds.
wide_bvh() {
  awk -v n="$2" 'BEGIN {
    print "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation"
    for (i = 1; i <= n; i++) print "JOINT j" i "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n}"
    print "}\nMOTION\nFrames: 2\nFrame Time: 0.04"
    for (f = 0; f < 2; f++) { printf "%d 0 0 0 0 0", f; for (i = 1; i <= n; i++) printf " %d 0 0", f; printf "\n" }
  }' >"$1"
}
# blocked_worker: waits until a worker of the varnex in $pid waits to open a
# FIFO that nobody writes (a signal is then sure to interrupt it); prints its pid.
blocked_worker() {
  while :; do
    for w in $(pgrep -P "$pid"); do
      [ "$(cat "/proc/$w/wchan" 2>/dev/null)" == wait_for_partner ] && echo "$w" && return
    done
    sleep 0.05
  done
}

case "$case_name" in
  validate)
    # Each answer of the header check as varnex words it; one file not
    # accepted makes the run answer 1. --settings replaces the default folder.
    printf 'HIERARCHY\n' >walk.bvh
    printf 'HIERARCHY\n' >notes.txt
    run --settings "$work/chosen/place" validate walk.bvh notes.txt missing.bvh
    expect_code 1
    expect_stdout "walk.bvh: 1 (accepted)
notes.txt: -2 (not accepted)
missing.bvh: -1 (cannot be opened)"
    expect_stderr ""
    [ -d "$work/chosen/place" ] || fail "--settings did not create its directory"
    [ ! -e "$XDG_CONFIG_HOME/varnex" ] || fail "the default settings directory was used despite --settings"
    run validate "$samples/walk.bvh"
    expect_code 0
    expect_stdout "$samples/walk.bvh: 1 (accepted)"
    [ -d "$XDG_CONFIG_HOME/varnex" ] || fail "the settings directory was not created"
    ;;
  messages_outside_import)
    # The plug-in's messages while it starts and while a dialog is open reach
    # stderr, in the order sent, for settings it cannot use.
    : >file
    long="$work/$(printf 'd%.0s' $(seq 1 600))"
    unsettable="varnex: cannot create the settings directory file/sub/: Not a directory
SaveImportConvertOptions_BVH(): cannot open the Biovision/Acclaim .INI file \"file/sub/imp_bvh.ini\" for writing."
    too_long="varnex: cannot create the settings directory $long/: File name too long
Warning: The settings directory is too long for the options file path; imp_bvh.ini is not read.
Warning: The settings directory is too long for the options file path; imp_bvh.ini is not written."
    for row in "file/sub|$unsettable" "$long|$too_long" \
      "|Warning: The host gave no settings directory; imp_bvh.ini is not written."; do
      settings=${row%%|*}
      if [ -n "$settings" ]; then
        run --settings "$settings" options --script "click 100; click 1"
      else
        env -u HOME -u XDG_CONFIG_HOME "$varnex" options --script "click 100; click 1" >stdout.txt 2>stderr.txt
        code=$?
      fi
      expect_code 0
      expect_stderr "${row#*|}"
      [ "$(tail -n 1 stdout.txt)" == "show_options_dialog: 1" ] || fail "dialog answer: $(tail -n 1 stdout.txt)"
    done
    run --settings "$long" validate "$samples/walk.bvh"
    expect_code 0
    expect_stderr "$(head -n 2 <<<"$too_long")"
    ;;
  reduction_options)
    # Thresholds are numbers above 0; the command line overrides the options
    # file, whose choices an import names in one line.
    for value in abc -5 0 1e-50 inf; do
      for command in import convert; do
        run "$command" "$samples/walk.bvh" --out-dir out --distance-threshold "$value"
        expect_code 2
        [ "$(head -n 1 stderr.txt)" == "--distance-threshold: must be a number greater than 0, not '$value'" ] ||
          fail "$command refused $value with: $(cat stderr.txt)"
      done
    done
    [ ! -e out ] || fail "convert started with a bad threshold"
    # --as-built: no line on what the exports adjust, only the options' own.
    run import "$samples/wave.bvh" --as-built --angular-threshold 0.5
    expect_code 0
    expect_stderr ""
    mkdir -p "$XDG_CONFIG_HOME/varnex"
    ini="$XDG_CONFIG_HOME/varnex/imp_bvh.ini"
    printf '[Preferences]\ndistance_threshold2 = 0.01\nangular_threshold2 = 5\nena_trans_kf_reduction = 0\nena_rot_kf_reduction = 1\n' >"$ini"
    run import "$samples/wave.bvh" --as-built
    expect_stderr "varnex: from $ini: distance threshold 0.01, angular threshold 5, translation reduction off, rotation reduction on"
    expect_stdout_matches '^keyframe reduction: '
    for off in --no-reduce-rotation --reduce-rotation=false; do
      run import "$samples/wave.bvh" --as-built $off --distance-threshold 1
      expect_stderr "varnex: from $ini: angular threshold 5, translation reduction off"
      grep -q '^keyframe reduction' stdout.txt && fail "$off still reduced"
    done
    run import "$samples/wave.bvh" -q --as-built
    expect_stderr ""
    ;;
  usage)
    run --version
    expect_code 0
    expect_stdout_matches '^varnex [0-9]+\.[0-9]+\.[0-9]+$'
    run import
    expect_code 2
    run --plugin "$work/nothing.so" validate x.bvh
    expect_code 2
    expect_stderr_matches "^varnex: cannot load the plug-in $work/nothing\.so: "
    for jobs in 0 -1 x 1.5; do
      run convert x.bvh --out-dir out --jobs "$jobs"
      expect_code 2
      [ "$(head -n 1 stderr.txt)" == "--jobs: must be a whole number of worker processes from 1 to 4096, not '$jobs'" ] ||
        fail "--jobs $jobs refused with: $(cat stderr.txt)"
    done
    ;;
  import_refused)
    # Files the import refuses, with the message a user sees and no output
    # written; motion without a skeleton is refused before the plug-in sees it.
    printf 'HIERARCHY\n' >notes.txt
    cp notes.txt ab
    mkdir m folder.bvh folder.asf
    printf 'junk\n' >m/motion.amc
    cannot_open='ImportConverter_BiovisionAcclaim(): cannot open the Biovision/Acclaim file'
    while IFS='|' read -r file message; do
      run import "$file" -o out.glb --positions out.csv --preview out.svg --dump-json out.json
      expect_code 1
      expect_stdout ""
      expect_stderr "$message"
      [ -z "$(ls out.* 2>/dev/null)" ] || fail "$file: a failed import wrote $(ls out.*)"
    done <<TABLE
missing.bvh|$cannot_open "missing.bvh" for reading.
folder.bvh|$cannot_open "folder.bvh" for reading.
folder.asf|$cannot_open "folder.asf" for reading.
notes.txt|File must be in BioVision or Acclaim format. Aborting.
ab|The filename must have a .bvh, .amc or .asf file extension.
m/motion.amc|varnex: m/motion.amc: no skeleton found: no --skeleton given, no motion.asf beside it, no .asf file in its folder; name one with --skeleton FILE.asf
TABLE
    ;;
  big_skeletons)
    # 10 000 joints all under the root, then in one chain, two frames: every
    # export is written on a stack of 128 KB, which a walk recursing per level
    # would overflow, so the scene is walked without recursion.
    for kind in wide deep; do
      awk -v kind=$kind -v n=10000 'BEGIN {
        print "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation"
        for (i = 1; i <= n; i++) {
          print "JOINT j" i "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation"
          if (kind == "wide") print "}"
        }
        if (kind == "deep") { print "End Site\n{\nOFFSET 0 1 0\n}"; for (i = 1; i <= n; i++) print "}" }
        print "}\nMOTION\nFrames: 2\nFrame Time: 0.04"
        for (f = 0; f < 2; f++) {
          printf "%d 0 0 0 0 0", f
          for (i = 1; i <= n; i++) printf " %d 0 0", f
          printf "\n"
        }
      }' >big.bvh
      (ulimit -s 128 && "$varnex" import big.bvh -o big.glb --positions big.csv --preview big.svg --dump-json big.json \
        >stdout.txt 2>stderr.txt) || fail "$kind: exit code $?: $(cat stderr.txt)"
      instances=$([ $kind = deep ] && echo 10003 || echo 10002)
      [ "$(tail -n 1 stdout.txt | cut -d, -f1)" == "$instances instances" ] || fail "$kind summary: $(tail -n 1 stdout.txt)"
      [ "$(wc -l <big.csv)" -eq $((2 * instances + 1)) ] || fail "$kind positions rows: $(wc -l <big.csv)"
      [ "$(head -c 4 big.glb)" == "glTF" ] || fail "$kind: no glb"
      grep -q '<svg' big.svg || fail "$kind: no svg"
      grep -q '"instances"' big.json || fail "$kind: no scene json"
    done
    # The chain's deepest joint stands 10 001 up at frame 0; its path keeps the top and the last names.
    path="big/…$(seq -f '/j%g' 9971 10000 | tr -d '\n')/End Site"
    grep -qx "0,0,$path,0,10001,0" big.csv || fail "deepest row: $(grep -m1 'End Site' big.csv)"
    grep -q '^ *\[10002\] End Site' stdout.txt || fail "deepest line: $(tail -n 2 stdout.txt | head -n 1)"
    ;;
  out_of_memory)
    # A skeleton of 200 000 sibling joints under an address-space limit that
    # holds the plug-in's reading of it but not the host's scene: the host
    # ends the import once, saying which call ran out, varnex says what it
    # cost, exits 2, and leaves no output and no temporary. The sanitizers
    # reserve terabytes of address space, so their build cannot run it.
    if [ "${VARNEX_SANITIZED:-0}" = 1 ]; then echo "SKIP: no address-space limit under the sanitizers"; exit 77; fi
    awk -v n=200000 'BEGIN {
      print "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation"
      for (i = 1; i <= n; i++) print "JOINT j" i "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n}"
      print "}\nMOTION\nFrames: 1\nFrame Time: 0.04"
    }' >big.bvh
    mkdir tmp
    export TMPDIR="$work/tmp"
    for outputs in "-q" "-o big.glb --positions big.csv"; do
      (ulimit -v "$out_of_memory_limit_kb" && "$varnex" import big.bvh $outputs >stdout.txt 2>stderr.txt)
      code=$?
      expect_code 2
      [ "$(wc -l <stderr.txt)" -eq 2 ] || fail "$outputs: stderr was: $(head -c 2000 stderr.txt)"
      grep -Eqx 'Host: out of memory in [A-Za-z_]+\(\); the import ends\.' stderr.txt || fail "$outputs: $(head -n 1 stderr.txt)"
      [ "$(tail -n 1 stderr.txt)" == "varnex: out of memory while importing big.bvh; nothing was written" ] ||
        fail "$outputs: last line: $(tail -n 1 stderr.txt)"
      expect_files . "big.bvh config stderr.txt stdout.txt tmp "
      expect_files tmp ""
    done
    ;;
  outputs)
    # What the path names decides how it is written, and nothing it points at is replaced.
    walk="$samples/walk.bvh"
    printf 'old\n' >real.csv
    chmod 640 real.csv
    ln -s real.csv link.csv
    ln -s made.csv dangling.csv
    run import "$walk" -q --positions link.csv
    expect_code 0
    expect_stdout ""
    [ -L link.csv ] && [ "$(head -n 1 real.csv)" == "frame,time,path,x,y,z" ] || fail "the link's target was not written"
    [ "$(stat -c %a real.csv)" == 640 ] || fail "a replaced file lost its mode: $(stat -c %a real.csv)"
    run import "$walk" -q --positions dangling.csv
    [ -L dangling.csv ] && [ -s made.csv ] || fail "a dangling link was not followed"
    mkfifo pipe.csv
    cat pipe.csv >got.csv &
    run import "$walk" -q --positions pipe.csv
    wait $!
    expect_code 0
    [ -p pipe.csv ] && [ "$(head -n 1 got.csv)" == "frame,time,path,x,y,z" ] || fail "the FIFO's reader got: $(head -c 40 got.csv)"
    if [ "$(id -u)" -eq 0 ]; then
      mknod null c 1 3
      run import "$walk" -q -o null
      expect_code 0
      [ -c null ] || fail "the device node was replaced"
    else
      echo "SKIP: the device node part needs root to run mknod"
    fi
    (umask 027 && "$varnex" import "$walk" -q --dump-json new.json)
    [ "$(stat -c %a new.json)" == 640 ] || fail "a new file under umask 027 has mode $(stat -c %a new.json)"
    expect_files . "config dangling.csv got.csv link.csv made.csv new.json $([ "$(id -u)" -eq 0 ] && echo 'null ')pipe.csv real.csv stderr.txt stdout.txt "
    ;;
  take_edits)
    # --frames, --fps and --in-place as a user writes them: the frames each
    # keeps of walk.bvh's 10, or the words that refuse it; convert hands them
    # on; the BVH output, which writes the edited take too.
    walk="$samples/walk.bvh"
    while IFS='|' read -r options frames message; do
      rm -f out.csv
      run import "$walk" -q $options --positions out.csv
      if [ -z "$frames" ]; then
        expect_code 2
        [ "$(grep -v '^varnex: walk: up' stderr.txt | head -n 1)" == "$message" ] || fail "$options: $(cat stderr.txt)"
        [ ! -e out.csv ] || fail "$options wrote out.csv"
        continue
      fi
      expect_code 0
      [ "$(cut -d, -f1 out.csv | sed 1d | uniq | wc -l)" == "$frames" ] || fail "$options kept $(cut -d, -f1 out.csv | sed 1d | uniq | wc -l) frames"
    done <<TABLE
--frames 2:5|3|
--frames -4:|4|
--frames :-1|9|
--frames 8:100|2|
--frames 4:5 --fps 120|1|
--fps 15|5|
--fps 60|19|
--frames 5:5||--frames: 5:5 keeps no frame: frames A to B-1 are kept, and 5 is not before 5
--frames 10:-30||varnex: walk: --frames 10:-30 keeps no frame of the take's 10 frames; nothing was written
--frames 2-5||--frames: must be A:B, A: or :B with whole frame numbers (negative ones count from the end), not 2-5
--fps 0||--fps: Value 0 not in range 1 to 4800
TABLE
    # In place the hips hold their first x and z; their height still moves.
    run import "$walk" -q --in-place --positions out.csv
    [ "$(grep ',walk/Hips,' out.csv | cut -d, -f4,6 | sort -u | wc -l)" == 1 ] || fail "the hips travel in place"
    [ "$(grep ',walk/Hips,' out.csv | cut -d, -f5 | sort -u | wc -l)" -gt 1 ] || fail "the hips lost their height"
    run convert "$walk" --out-dir out --format csv --frames=-4: --fps 60
    expect_code 0
    [ "$(cut -d, -f1 out/walk.csv | sed 1d | uniq | wc -l)" == 7 ] || fail "convert kept $(cut -d, -f1 out/walk.csv | sed 1d | uniq | wc -l) frames"
    [ "$(awk '$1 == "walk.bvh" { print $4 }' stdout.txt)" == 7 ] || fail "convert's table: $(cat stdout.txt)"
    # As BVH, cut and retimed, by import and convert; a BVH holds one take.
    run import "$walk" -q --frames 2:6 --fps 60 -o out.bvh
    expect_code 0
    [ "$(grep '^Frame' out.bvh | tr '\n' ' ')" == "Frames: 7 Frame Time: 0.0166667 " ] || fail "out.bvh: $(grep '^Frame' out.bvh)"
    run convert "$walk" --out-dir out --format bvh
    expect_code 0
    [ "$(grep -c ROOT out/walk.bvh)" == 1 ] || fail "convert --format bvh wrote: $(head -c 80 out/walk.bvh)"
    run convert "$walk" --out-dir out --format bvh --merge
    expect_code 2
    expect_stderr "varnex: --merge puts a skeleton's takes into one file, which only glb and gltf hold, not bvh"
    run import "$samples/figure.asf" "$samples/figure.amc" "$samples/figure_bow.amc" -o takes.bvh
    expect_code 2
    expect_stderr "varnex: a BVH file holds one take; several takes go into one glTF file (-o OUT.glb)"
    ;;
  output_names)
    # An extension is matched in any case; one varnex does not write is refused
    # before the import, naming the ones it does; a folder that is not there too.
    for row in "-o take.GLTF 0" "-o take.Glb 0" "--positions p.CSV 0" "--preview p.Svg 0" "--dump-json j.JSON 0" \
      "-o take.fbx 2 --output: take.fbx: varnex writes .glb, .gltf or .bvh here, or - for standard output" \
      "--positions p.txt 2 --positions: p.txt: varnex writes .csv here, or - for standard output" \
      "--preview p.png 2" "--dump-json j 2" \
      "-o missing/take.glb 2 varnex: cannot write the glTF file to missing/take.glb: No such file or directory" \
      "--positions no/such/out.csv 2 varnex: cannot write the positions to no/such/out.csv: No such file or directory"; do
      read -r option path want message <<<"$row"
      run import "$samples/walk.bvh" -q "$option" "$path"
      expect_code "$want"
      if [ "$want" -eq 0 ]; then
        [ -s "$path" ] || fail "$option $path wrote nothing"
      else
        [ ! -e "$path" ] || fail "$option $path was written"
        [ -z "$message" ] || grep -qxF -- "$message" stderr.txt || fail "refusal: $(cat stderr.txt)"
      fi
    done
    [ "$(head -c 1 take.GLTF)" == "{" ] || fail "take.GLTF is not text glTF"
    [ "$(head -c 4 take.Glb)" == "glTF" ] || fail "take.Glb is not binary glTF"
    ;;
  standard_output)
    # "-" is standard output, which then holds that output alone.
    run import "$samples/walk.bvh" -o -
    expect_code 0
    [ "$(head -c 4 stdout.txt)" == "glTF" ] || fail "-o - wrote: $(head -c 20 stdout.txt)"
    run import "$samples/walk.bvh" --positions -
    [ "$(head -n 1 stdout.txt)" == "frame,time,path,x,y,z" ] || fail "--positions - wrote: $(head -n 1 stdout.txt)"
    grep -q instances stdout.txt && fail "the scene summary went into the positions"
    run import "$samples/walk.bvh" --positions - --dump-json -
    expect_code 2
    expect_stderr "varnex: only one output can go to standard output (-)"
    expect_files . "config stderr.txt stdout.txt "
    ;;
  signal_exports)
    # A stop while the exports are written: those done stay, the one under way
    # and the rest are not written, and no temporary is left.
    mkfifo p.svg
    start import "$samples/wave.bvh" -q --as-built --positions out.csv -o take.glb --preview p.svg --dump-json j.json
    blocked_in_open "$pid"
    kill -TERM "$pid"
    finish
    expect_code 143
    expect_stderr "varnex: cannot write the preview to p.svg: stopped
varnex: stopped by SIGTERM; written: out.csv, take.glb; not written: p.svg, j.json"
    expect_files . "config out.csv p.svg stderr.txt stdout.txt take.glb "
    ;;
  signal_import)
    # A stop signal while the plug-in reads: with nothing read yet, and with
    # half the file read. Its abort poll ends the import; nothing is written.
    mkfifo take.bvh
    for point in "INT 0" "TERM 3000" "HUP 3000"; do
      read -r name bytes <<<"$point"
      start import take.bvh -q -o out.glb --positions out.csv
      hold take.bvh
      head -c "$bytes" "$samples/wave.bvh" >&3
      kill -s "$name" "$pid"
      feed "$samples/wave.bvh" $((bytes + 1))
      release
      finish
      expect_code $((128 + $(kill -l "$name")))
      expect_last_stderr "varnex: stopped by SIG$name during the import of take.bvh; nothing was written"
      expect_files . "config stderr.txt stdout.txt take.bvh "
    done
    ;;
  signal_convert)
    # A stop signal to convert alone, while a worker reads: the worker is
    # stopped, the table and a summary say what was and was not converted,
    # finished outputs stay and the workers' logs go.
    cp "$samples/wave.bvh" good.bvh
    mkfifo slow.bvh
    mkdir tmp
    export TMPDIR="$work/tmp"
    for order in "good.bvh slow.bvh" "slow.bvh good.bvh"; do
      rm -rf out
      start convert $order --out-dir out --jobs 1
      blocked_worker >/dev/null
      kill -INT "$pid"
      finish
      expect_code 130
      expect_files tmp ""
      if [ "$order" == "good.bvh slow.bvh" ]; then
        expect_stdout_matches '^good\.bvh +ok +12 +40 '
        expect_stdout_matches '^slow\.bvh +stopped '
        expect_stdout_matches '^1 converted, 0 failed, 1 not converted: stopped by SIGINT$'
        expect_files out "good.glb good.glb.varnex "
      else
        expect_stdout_matches '^slow\.bvh +stopped '
        expect_stdout_matches '^good\.bvh +not started '
        expect_stdout_matches '^0 converted, 0 failed, 2 not converted: stopped by SIGINT$'
        expect_files out ""
      fi
    done
    ;;
  signal_convert_twice)
    # A second stop signal ends convert sooner, through its workers' own
    # second-signal rule, and still leaves the table and no folder of its own.
    cp "$samples/wave.bvh" good.bvh
    mkfifo slow.bvh
    mkdir tmp
    export TMPDIR="$work/tmp"
    start convert good.bvh slow.bvh --out-dir out --jobs 1
    blocked_worker >/dev/null
    kill -INT "$pid"
    kill -TERM "$pid"
    finish
    expect_code 130
    expect_stdout_matches '^good\.bvh +ok '
    expect_stdout_matches '^slow\.bvh +stopped '
    expect_stdout_matches '^1 converted, 0 failed, 1 not converted: stopped by SIGINT$'
    [ -z "$(ls tmp | grep -v '^varnex-take-')" ] || fail "left in the temporary folder: $(ls tmp)"
    ;;
  signal_convert_group)
    # SIGTERM to the whole process group, as a terminal or a job control sends it.
    mkfifo slow.bvh
    set -m
    start convert slow.bvh --out-dir out
    set +m
    blocked_worker >/dev/null
    kill -TERM -- -"$pid"
    finish
    expect_code 143
    expect_stdout_matches '^0 converted, 0 failed, 1 not converted: stopped by SIGTERM$'
    ;;
  signal_convert_killed)
    # A convert killed outright takes its workers along; its logs' folder,
    # which it has no chance to remove, stays inside this test's folder.
    mkdir tmp
    export TMPDIR="$work/tmp"
    mkfifo slow.bvh
    start convert slow.bvh --out-dir out
    worker=$(blocked_worker)
    kill -KILL "$pid"
    finish
    # The worker ends on its own parent-death signal; ctest's timeout bounds the wait.
    while [ -n "$worker" ] && kill -0 "$worker" 2>/dev/null; do sleep 0.1; done
    expect_code 137
    ;;
  outputs_refused)
    # An output that is an input (a link to it, a hard link, the motion an ASF
    # brings, the FIFO being read) is refused before the import, and the input
    # stays as it was; so is a file the user may not write.
    cp "$samples/walk.bvh" in.bvh
    cp "$samples/figure.asf" fig.asf
    cp "$samples/figure.amc" fig.amc
    mkfifo pipe.bvh
    ln -s in.bvh link.glb
    ln in.bvh hard.csv
    ln -s fig.amc motion.json
    ln -s fig.asf skeleton.svg
    while IFS='|' read -r args message; do
      run import $args
      expect_code 2
      expect_stdout ""
      expect_stderr "$message"
    done <<TABLE
in.bvh -o link.glb|varnex: cannot write the glTF file to link.glb: it is the input in.bvh
in.bvh -o in.bvh|varnex: cannot write the BVH file to in.bvh: it is the input in.bvh
in.bvh --positions hard.csv|varnex: cannot write the positions to hard.csv: it is the input in.bvh
fig.asf -q --dump-json motion.json|varnex: cannot write the scene JSON to motion.json: it is the input fig.amc
fig.amc --skeleton fig.asf --preview skeleton.svg|varnex: cannot write the preview to skeleton.svg: it is the input fig.asf
pipe.bvh --positions pipe.bvh|varnex: cannot write the positions to pipe.bvh: it is the input pipe.bvh
TABLE
    cmp -s in.bvh "$samples/walk.bvh" && cmp -s fig.amc "$samples/figure.amc" && cmp -s fig.asf "$samples/figure.asf" ||
      fail "an input was changed"
    # Write-protected: refused to an ordinary user as the shell's ">" refuses
    # it, replaced for root as ">" replaces it.
    mkdir shared
    chmod 755 "$work"
    chmod 777 shared
    as_user=()
    if [ "$(id -u)" -ne 0 ]; then
      echo "SKIP: the root row needs root"
    elif command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
      as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
    else
      echo "SKIP: the ordinary user's row needs setpriv to become nobody"
    fi
    for who in user root; do
      [ "$who" == user ] && [ "$(id -u)" -eq 0 ] && [ ${#as_user[@]} -eq 0 ] && continue
      [ "$who" == root ] && [ "$(id -u)" -ne 0 ] && continue
      runner=()
      [ "$who" == user ] && runner=("${as_user[@]}")
      printf 'old\n' >shared/p.csv
      [ "$who" == user ] && [ "$(id -u)" -eq 0 ] && chown 65534 shared/p.csv
      chmod 444 shared/p.csv
      cp -p shared/p.csv shared/shell.csv
      "${runner[@]}" bash -c ': >shared/shell.csv' 2>/dev/null
      shell=$?
      "${runner[@]}" "$varnex" --settings "$work/shared/config" import "$samples/walk.bvh" -q --positions shared/p.csv \
        >stdout.txt 2>stderr.txt
      code=$?
      if [ "$who" == user ]; then
        [ $shell -ne 0 ] || fail "the shell wrote a protected file as $who"
        expect_code 2
        expect_stderr "varnex: cannot write the positions to shared/p.csv: Permission denied"
        [ "$(cat shared/p.csv)" == old ] || fail "the protected file was replaced"
      else
        [ $shell -eq 0 ] || fail "the shell could not write as root"
        expect_code 0
        [ "$(head -n 1 shared/p.csv)" == "frame,time,path,x,y,z" ] || fail "root's output was not written"
      fi
      rm -f shared/p.csv shared/shell.csv
    done
    rm -rf shared
    # A replaced file keeps its rights but not set-user or set-group ID.
    printf 'old\n' >ids.csv
    chmod 6755 ids.csv
    run import "$samples/walk.bvh" -q --positions ids.csv
    expect_code 0
    [ "$(stat -c %a ids.csv)" == 755 ] || fail "the replaced file has mode $(stat -c %a ids.csv)"
    # Names up to the longest a folder takes are written, multibyte ones too.
    for name in "$(printf 'a%.0s' $(seq 1 251)).csv" "$(printf 'é%.0s' $(seq 1 125)).csv"; do
      run import "$samples/walk.bvh" -q --positions "$name"
      expect_code 0
      [ -s "$name" ] || fail "a name of ${#name} characters was not written: $(cat stderr.txt)"
      rm -f "$name"
    done
    expect_files . "config fig.amc fig.asf hard.csv ids.csv in.bvh link.glb motion.json pipe.bvh skeleton.svg stderr.txt stdout.txt "
    ;;
  standard_output_fails)
    # Whatever varnex prints to a full disk, a closed stdout or a reader that
    # went away is said on stderr and makes the exit code 2.
    for command in "import $samples/walk.bvh" "validate $samples/walk.bvh" "convert $samples/walk.bvh --out-dir out" \
      "--version"; do
      for row in "/dev/full|No space left on device" "closed|Bad file descriptor"; do
        if [ "${row%%|*}" == closed ]; then
          $varnex $command >&- 2>stderr.txt
        else
          $varnex $command >/dev/full 2>stderr.txt
        fi
        code=$?
        expect_code 2
        expect_last_stderr "varnex: cannot write to standard output: ${row#*|}"
      done
    done
    wide_bvh wide.bvh 5000
    "$varnex" import wide.bvh --as-built 2>stderr.txt | head -c 1 >/dev/null
    code=${PIPESTATUS[0]}
    expect_code 2
    expect_stderr "varnex: cannot write to standard output: Broken pipe"
    ;;
  signal_stalled_reader)
    # Ctrl-C while varnex waits on a reader that does not read (a stopped
    # pager): the stop is at once, with the exit code and lines of any stop.
    wide_bvh wide.bvh 3000
    mkfifo stall
    while IFS='|' read -r args message; do
      exec 4<>stall  # a reader that never reads
      if [[ "$args" == *"-q --positions stall"* ]]; then
        "$varnex" import wide.bvh --as-built $args >stdout.txt 2>stderr.txt &
      else
        "$varnex" import wide.bvh --as-built $args >stall 2>stderr.txt &
      fi
      pid=$!
      blocked_in "$pid" pipe_write
      kill -INT "$pid"
      finish
      exec 4>&-
      expect_code 130
      expect_stderr "$(printf '%b' "$message")"
    done <<TABLE
|varnex: stopped by SIGINT
-q --positions -|varnex: cannot write the positions to -: stopped\nvarnex: stopped by SIGINT; written: none; not written: -
-q --positions stall --dump-json j.json|varnex: cannot write the positions to stall: stopped\nvarnex: stopped by SIGINT; written: none; not written: stall, j.json
TABLE
    expect_files . "config stall stderr.txt stdout.txt wide.bvh "
    ;;
  signal_twice)
    # Two stop signals at once while the plug-in reads: the second ends varnex
    # at once, and neither the staged take's folder nor a temporary stays.
    mkdir tmp
    export TMPDIR="$work/tmp"
    cp "$samples/figure.asf" arm.asf
    mkfifo take.bvh arm.amc
    for row in "take.bvh take.bvh" "arm.asf arm.amc"; do
      read -r input fifo <<<"$row"
      start import "$input" -q -o out.glb
      hold "$fifo"
      blocked_in "$pid" pipe_read
      # Stopped, the process takes both; on waking the first is handled, then the second.
      kill -STOP "$pid"
      kill -INT "$pid"
      kill -TERM "$pid"
      kill -CONT "$pid"
      finish
      release
      expect_code 143
      expect_files tmp ""
    done
    expect_files . "arm.amc arm.asf config stderr.txt stdout.txt take.bvh tmp "
    ;;
  huge_pages)
    # The heap on huge pages writes what the allocator's defaults write, with
    # a fraction of the page faults; only where the kernel gives them on
    # request, and not under the sanitizers, whose allocator is their own.
    if [ "${VARNEX_SANITIZED:-0}" = 1 ]; then echo "SKIP: the sanitizers' allocator"; exit 77; fi
    grep -q '\[madvise\]' /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null ||
      { echo "SKIP: the kernel gives no huge pages on request"; exit 77; }
    awk 'BEGIN {
      print "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation"
      for (i = 1; i <= 20; i++) print "JOINT j" i "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n}"
      print "}\nMOTION\nFrames: 6000\nFrame Time: 0.008333"
      for (f = 0; f < 6000; f++) {
        printf "%.4f 0 %.4f 0 0 0", f * 0.01, sin(f * 0.05)
        for (i = 1; i <= 20; i++) printf " %.4f %.4f %.4f", 30 * sin(f * 0.013 * i), 20 * cos(f * 0.007 * i), 5 * sin(f * 0.1 + i)
        printf "\n"
      }
    }' >long.bvh
    faults() {  # faults OUT ENV...: the page faults of one export, under the environment given
      local out=$1
      shift
      # posix_spawn and wait4: the faults of varnex alone, none of a fork's copying.
      env "$@" python3 -c 'import os, sys
pid = os.posix_spawn(sys.argv[1], sys.argv[1:], os.environ)
_, status, usage = os.wait4(pid, 0)
print(usage.ru_minflt if os.waitstatus_to_exitcode(status) == 0 else -1)' \
        "$varnex" import long.bvh -q -o "$out.glb" --positions "$out.csv"
    }
    plain=$(faults plain VARNEX_HUGE_PAGES=0)
    huge=$(faults huge VARNEX_HUGE_PAGES=1)
    [ "$plain" -gt 0 ] && [ "$huge" -gt 0 ] || fail "an export failed: $plain, $huge"
    cmp -s plain.glb huge.glb && cmp -s plain.csv huge.csv || fail "the two heaps wrote different files"
    [ $((huge * 2)) -lt "$plain" ] || fail "huge pages took $huge page faults, the allocator's defaults $plain"
    ;;
  single_precision)
    # glTF holds single precision: a length beyond it is refused, naming the
    # joint and the option that made it so; nothing is written.
    sed -e '0,/OFFSET/s/OFFSET.*/OFFSET 3e38 0 0/' -e '0,/JOINT/!{0,/OFFSET/s/OFFSET.*/OFFSET 3e38 0 0/}' \
      "$samples/walk.bvh" >far.bvh
    while IFS='|' read -r args message; do
      run import $args -q -o out.glb
      expect_code 2
      expect_last_stderr "varnex: cannot write the glTF file to out.glb: joint $message is beyond glTF's single precision (at most 3.4e+38)"
    done <<TABLE
$samples/walk.bvh --scale 1e38|Hips: offset 3.65e+39 (after --scale 1e+38)
$samples/walk.bvh --height 1e39|Hips: offset 5.79365e+38 (after --height 1e+39)
far.bvh|Spine: position 6e+38
TABLE
    expect_files . "config far.bvh stderr.txt stdout.txt "
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
exit $((failures > 0))
