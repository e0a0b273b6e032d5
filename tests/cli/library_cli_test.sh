#!/usr/bin/env bash
# Runs one named case of how varnex treats a motion library: frame rates,
# names, Acclaim pairing, convert's folders and shards. Each case builds its
# own small library in a scratch folder.
# Usage: library_cli_test.sh CASE VARNEX_BINARY SAMPLES_DIR MOCAP_DIR
set -uo pipefail
case_name=$1
varnex=$2
samples=$3
mocap=${4:-}

source "$(dirname "$0")/cli_checks.sh"
export XDG_CONFIG_HOME="$work/config"
export TMPDIR="$work/tmp"
mkdir "$TMPDIR"

# skeleton FILE [LENGTH]: a one-bone ASF whose bone is called after the file,
# so that a test sees which skeleton was used.
skeleton() {
  local bone
  bone=$(basename "$1" .asf)
  bone=b${bone//[^A-Za-z0-9]/}
  printf ':version 1.10\n:name arm\n:units\n  length %s\n  angle deg\n:root\n  order TX TY TZ RX RY RZ\n' \
    "${2:-1}" >"$1"
  printf '  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n:bonedata\n  begin\n    id 1\n    name %s\n' \
    "$bone" >>"$1"
  printf '    direction 0 1 0\n    length 2\n    axis 0 0 0 XYZ\n    dof rx\n  end\n:hierarchy\n  begin\n' >>"$1"
  printf '    root %s\n  end\n' "$bone" >>"$1"
}
# motion FILE BONE FRAMES: an AMC moving the root and turning BONE.
motion() {
  printf ':DEGREES\n' >"$1"
  for ((f = 1; f <= $3; f++)); do printf '%d\nroot 0 %d 0 0 0 0\n%s %d\n' "$f" "$f" "$2" $((f * 10)) >>"$1"; done
}
# glb FILE.glb EXPRESSION: prints the expression over the file's JSON, d.
glb() {
  node -e "const b = require('fs').readFileSync(process.argv[1]);
    const d = JSON.parse(b.toString('utf8', 20, 20 + b.readUInt32LE(12)));
    console.log($2);" "$1"
}
# Each animation's name and length in seconds.
animations='d.animations.map((a) => a.name + " " +
  Math.max(...a.samplers.map((s) => d.accessors[s.input].max[0])).toFixed(4)).join(", ")'
# The keys of every channel of every animation, as convert's table counts them.
channel_keys='d.animations.flatMap((a) => a.samplers).reduce((n, s) => n + d.accessors[s.input].count, 0)'
# bvh FILE FRAME_TIME: a one-joint BVH with three frames.
bvh() {
  printf 'HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 3 Xposition Yposition Zposition\n' >"$1"
  printf '  End Site\n  {\n    OFFSET 0 1 0\n  }\n}\nMOTION\nFrames: 3\nFrame Time: %s\n0 0 0\n1 0 0\n2 0 0\n' "$2" >>"$1"
}

case "$case_name" in
  frame_rates)
    # AMC motion holds no rate: varnex says which one timed it, unless one was given.
    skeleton arm.asf
    motion arm.amc barm 3
    run import arm.amc --as-built
    expect_code 0
    expect_stderr "varnex: arm.amc holds no frame rate; its frames were timed at 30 fps (change it with --frame-rate N)"
    run import arm.asf --frame-rate 120 --positions p.csv --as-built
    expect_code 0
    expect_stderr ""
    expect_stdout_matches ', 3 frames, [0-9]+ keys, 120 fps$'
    # The last frame: the root 3 up, the bone (length 2 along y) turned 30 degrees
    # about x, so its end at (0, 3 + 2 cos 30, 2 sin 30) in single precision.
    grep -qx '2,0.0166666667,arm/barm/End Effector,0,4.73205079,1.00000003' p.csv || fail "positions: $(tail -n 3 p.csv)"
    # A whole rate in any decimal spelling; hexadecimal, fractions and rates
    # out of range are refused, by import and convert alike.
    for rate in 120.0 1.2e2 +120 0120; do
      run import arm.asf --frame-rate "$rate"
      expect_code 0
      expect_stdout_matches ', 120 fps$'
    done
    for rate in 0x78 119.88 0 4801 120fps; do
      for command in import convert; do
        run "$command" arm.asf --out-dir out --frame-rate "$rate"
        expect_code 2
        [ "$(head -n 1 stderr.txt)" == "--frame-rate: must be a whole number of frames per second from 1 to 4800, not '$rate'" ] ||
          fail "$command refused $rate with: $(cat stderr.txt)"
      done
    done
    ;;
  names)
    # The top instance is the file's stem however the path was written, so the bytes agree.
    mkdir -p deep/er
    cp "$samples/walk.bvh" deep/er/walk.bvh
    run import deep/er/walk.bvh -o rel.glb --positions rel.csv --dump-json rel.json --preview rel.svg
    expect_code 0
    expect_stdout_matches '^walk \('
    run import "$work/deep/er/walk.bvh" -o abs.glb --positions abs.csv --dump-json abs.json --preview abs.svg
    (cd deep && "$varnex" import ./er/../er/walk.bvh -o ../dot.glb --positions ../dot.csv --dump-json ../dot.json \
      --preview ../dot.svg -q) || fail "import from a subfolder"
    for kind in glb csv json svg; do
      cmp -s rel.$kind abs.$kind || fail "relative and absolute paths give different $kind files"
      cmp -s rel.$kind dot.$kind || fail "a path through .. gives a different $kind file"
    done
    grep -q '^0,0,walk,' rel.csv || fail "top instance: $(sed -n 2p rel.csv)"
    grep -q 'er/walk' rel.glb && fail "the glb carries the path"
    [ "$(pwd)" == "$work" ] || fail "the working directory moved"
    [ -z "$(ls -A "$TMPDIR")" ] || fail "left in the temporary folder: $(ls -A "$TMPDIR")"
    ;;
  pairing)
    # Each way of finding a motion's skeleton, tried in order; the bone shows which one was used.
    mkdir same only prefix given none
    skeleton same/01.asf; skeleton same/01_01.asf; motion same/01_01.amc b0101 2
    skeleton only/subject.asf; motion only/01_01.amc bsubject 2
    skeleton prefix/01.asf; skeleton prefix/0.asf; skeleton prefix/02.asf; motion prefix/01_01.amc b01 2
    skeleton given/01.asf; skeleton given/01_01.asf; skeleton elsewhere.asf; motion given/01_01.amc belsewhere 2
    motion none/01_01.amc b01 2
    skeleton none/02.asf; skeleton none/03.asf
    while read -r folder extra bone; do
      [ "$extra" == - ] && extra=
      run import "$folder/01_01.amc" $extra --frame-rate 30
      expect_code 0
      expect_stdout_matches "^  $bone \\("
      expect_stdout_matches ', 2 frames, '
    done <<'TABLE'
same - b0101
only - bsubject
prefix - b01
given --skeleton=elsewhere.asf belsewhere
TABLE
    # A name serves a take only where a separator (_ - . space) follows it.
    mkdir sep
    skeleton sep/1.asf; skeleton sep/10.asf; skeleton sep/10_0.asf
    while read -r take bone; do
      motion "sep/$take.amc" "$bone" 2
      run import "sep/$take.amc" --frame-rate 30
      expect_code 0
      expect_stdout_matches "^  $bone \\("
    done <<'TABLE'
10_01 b10
10-01 b10
10.01 b10
10_0_1 b100
TABLE
    motion "sep/10 01.amc" b10 2
    run import "sep/10 01.amc" --frame-rate 30
    expect_stdout_matches "^  b10 \\("
    motion sep/100_01.amc b1 2
    run import sep/100_01.amc
    expect_code 1
    expect_stderr "varnex: sep/100_01.amc: no skeleton found: no --skeleton given, no 100_01.asf beside it, 3 .asf files in its folder and none whose name is the start of \"100_01\" up to a _, -, . or space (1.asf, 10.asf begin it with no separator after); name one with --skeleton FILE.asf"
    run import none/01_01.amc
    expect_code 1
    expect_stderr "varnex: none/01_01.amc: no skeleton found: no --skeleton given, no 01_01.asf beside it, 2 .asf files in its folder and none whose name is the start of \"01_01\" up to a _, -, . or space; name one with --skeleton FILE.asf"
    run import none/01_01.amc --skeleton none/missing.asf
    expect_code 1
    expect_stderr "varnex: none/01_01.amc: the skeleton given, none/missing.asf, is not a file"
    ;;
  unit_length)
    # The plug-in scales bone offsets by the unit length, root motion not; the
    # exports scale root motion too unless told not to, and varnex says which.
    skeleton arm.asf 0.45
    motion arm.amc barm 2
    for off in "--no-acclaim-root-scale --up y" --as-built; do
      run import arm.amc --frame-rate 30 $off --positions p.csv
      expect_code 0
      expect_stderr "varnex: arm.asf has unit length 0.45: its bone offsets carry it, its root motion was left unscaled as asked"
      grep -qx '1,0.0333333333,arm/barm,0,2,0' p.csv || fail "$off: root moved by $(grep '^1,.*barm,' p.csv)"
    done
    run import arm.amc --frame-rate 30 --acclaim-root-scale --as-built
    expect_code 2
    for on in "" --acclaim-root-scale; do
      run import arm.amc --frame-rate 30 $on --up y --positions p.csv
      expect_code 0
      expect_stderr "varnex: arm: root motion × 0.45 (the skeleton's unit length)"
      grep -qx '1,0.0333333333,arm/barm,0,0.9,0' p.csv || fail "${on:-default}: root moved by $(grep '^1,.*barm,' p.csv)"
    done
    ;;
  convert_folders)
    # Folders are kept, each file converts once however often and however it is named,
    # every AMC is a take and an ASF without motion is a skeleton, not a take. A file
    # the plug-in refuses fails alone, and one of a name already taken gets a name of its own.
    mkdir -p lib/a lib/b lib/s lib/t lib/u extra/a
    bvh lib/a/take.bvh 0.0333333
    bvh lib/b/take.bvh 0.0333333
    bvh extra/a/take.bvh 0.04
    echo "not motion" >lib/b/notes.bvh
    skeleton lib/s/01.asf; motion lib/s/01_01.amc b01 2; motion lib/s/01_02.amc b01 3
    skeleton lib/t/lonely.asf
    motion lib/u/stray.amc b01 2
    ln -s lib/a/take.bvh alias.bvh
    run convert lib lib/a/take.bvh ./lib/b/../a/take.bvh alias.bvh extra --out-dir out --format csv --frame-rate 30 --jobs 2
    expect_code 1
    [ "$(cd out && find . -type f -not -name '*.varnex' | sort | tr '\n' ' ')" == "./a/take-2.csv ./a/take.csv ./b/take.csv ./s/01_01.csv ./s/01_02.csv " ] ||
      fail "outputs: $(cd out && find . -type f | sort | tr '\n' ' ')"
    # Paths below the folder that holds every input; keys and bytes of the written file.
    while IFS='|' read -r file result frames; do
      grep -Eq "^$file +$result +[-0-9]+ +$frames " stdout.txt || fail "row $file $result $frames:"$'\n'"$(cat stdout.txt)"
    done <<'TABLE'
lib/a/take.bvh|ok|3
lib/b/notes.bvh|failed \(exit 1\)|-
lib/b/take.bvh|ok|3
lib/s/01_01.amc|ok|2
lib/s/01_02.amc|ok|3
lib/u/stray.amc|no skeleton|-
extra/a/take.bvh|ok as take-2.csv|3
lib/t/lonely.asf|skeleton, no motion|-
TABLE
    [ "$(wc -l <stdout.txt)" -eq 10 ] || fail "rows:"$'\n'"$(cat stdout.txt)"
    expect_stdout_matches "^lib/b/take.bvh +ok +1 +3 +- +$(stat -c %s out/b/take.csv) "
    expect_stdout_matches '^5 converted, 2 failed$'
    expect_stderr_matches '^lib/u/stray.amc: no skeleton found: no --skeleton given, no stray.asf beside it, no .asf file in its folder'
    expect_stderr_matches '^extra/a/take.bvh: written to a/take-2.csv: a/take.csv is lib/a/take.bvh.s$'
    # One folder given: paths below it. Names that look like options stay files, to the worker too.
    mkdir odd
    for name in -dash -o --help; do cp "$samples/walk.bvh" "odd/$name.bvh"; done
    run convert --out-dir oddout -- odd/-dash.bvh odd/-o.bvh odd/--help.bvh
    expect_code 0
    for name in -dash -o --help; do
      expect_stdout_matches "^$name\.bvh +ok "
      [ -s "oddout/$name.glb" ] || fail "no oddout/$name.glb"
    done
    run convert odd --out-dir oddout
    expect_stdout_matches '^-dash\.bvh +ok '
    ;;
  unreadable)
    # A folder or file that cannot be read is a row and counts in the summary;
    # the rest converts, and the exit code says not all of it did. Root reads
    # everything, so as root the run is made as nobody.
    as=()
    if [ "$(id -u)" -eq 0 ]; then
      command -v setpriv >/dev/null || { echo "setpriv is not installed"; exit 77; }
      as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
      "${as[@]}" "$varnex" --version >/dev/null 2>&1 || { echo "nobody cannot run $varnex from here"; exit 77; }
      chmod 755 "$work"
      chmod 777 "$TMPDIR"
    fi
    mkdir -p lib/open lib/shut/deep config
    chmod 777 config
    bvh lib/open/a.bvh 0.0333333; bvh lib/shut/deep/b.bvh 0.0333333; bvh lib/secret.bvh 0.0333333
    skeleton lib/open/01.asf; motion lib/open/01_01.amc b01 2
    chmod 000 lib/shut lib/secret.bvh
    mkdir out && chmod 777 out
    "${as[@]}" "$varnex" convert lib --out-dir out --frame-rate 30 >stdout.txt 2>stderr.txt
    code=$?
    chmod 755 lib/shut; chmod 644 lib/secret.bvh
    expect_code 1
    expect_stdout_matches '^open/a\.bvh +ok '
    expect_stdout_matches '^open/01_01\.amc +ok '
    expect_stdout_matches '^shut/ +unreadable '
    expect_stdout_matches '^secret\.bvh +unreadable '
    expect_stdout_matches '^2 converted, 0 failed, 2 unreadable$'
    expect_stderr_matches '^shut/: cannot read it: Permission denied$'
    [ -s out/open/a.glb ] && [ -s out/open/01_01.glb ] || fail "outputs: $(ls -R out)"
    ;;
  skip_existing)
    # Up to date means made from these inputs by these settings, as the
    # output's record says; times alone decide nothing. Outputs without a
    # gallery's files are made again for a gallery, and skipped ones keep
    # their cards' figures.
    mkdir -p lib/s
    bvh lib/old.bvh 0.0333333
    bvh lib/new.bvh 0.0333333
    skeleton lib/s/01.asf; motion lib/s/01_01.amc b01 3; motion lib/s/01_02.amc b01 5
    run convert lib --out-dir out --merge --frame-rate 60
    expect_stdout_matches '^3 converted, 0 failed$'
    [ -s out/old.glb.varnex ] && [ -s out/s/01.glb.varnex ] || fail "no records: $(ls -R out)"
    run convert lib --out-dir out --merge --frame-rate 60 --skip-existing --gallery
    expect_stdout_matches '^3 converted, 0 failed$'
    cp out/index.html first.html
    grep -q '<p>2 takes · 2 joints</p><ol><li>01_01.amc · 0.03 s</li><li>01_02.amc · 0.07 s</li></ol>' first.html ||
      fail "merged card: $(grep 01_01 first.html)"
    touch lib/new.bvh
    run convert lib --out-dir out --merge --frame-rate 60 --skip-existing --gallery
    expect_code 0
    expect_stdout_matches '^0 converted, 0 failed, 3 up to date$'
    cmp -s first.html out/index.html || fail "the gallery changed: $(diff first.html out/index.html)"
    # What makes an output stale, each from the last converted state:
    # ACTION # the rows then converted again (the rest are up to date)
    extra=
    while IFS='#' read -r action converted; do
      run convert lib --out-dir out --merge --frame-rate 60 --skip-existing
      eval "$action"
      run convert lib --out-dir out --merge --frame-rate 60 --skip-existing $extra
      expect_code 0
      for row in $converted; do expect_stdout_matches "^$row +ok "; done
      count=$(wc -w <<<"$converted")
      summary="$count converted, 0 failed"
      [ "$count" -lt 3 ] && summary+=", $((3 - count)) up to date"
      expect_stdout_matches "^$summary$"
      extra=
    done <<'TABLE'
extra=--exact#old.bvh new.bvh s/01.asf.\(2.takes\)
printf '0 0 1\n' >>lib/old.bvh; touch -d '1 hour ago' lib/old.bvh#old.bvh
cp -p lib/old.bvh k; printf 7 | dd of=lib/old.bvh bs=1 seek=$(($(stat -c %s k) - 6)) conv=notrunc 2>/dev/null; touch -r k lib/old.bvh#old.bvh
touch -d '1 hour ago' out/new.glb#new.bvh
rm out/s/01.glb.varnex#s/01.asf.\(2.takes\)
echo 'junk' >out/new.glb.varnex#new.bvh
touch -d '1 hour ago' lib/new.bvh#
TABLE
    # A library copied elsewhere, with its times or without, still made these outputs.
    cp -r lib copy
    run convert copy --out-dir out --merge --frame-rate 60 --skip-existing
    expect_stdout_matches '^0 converted, 0 failed, 3 up to date$'
    # A take of an output's name added with old times (as cp -p or tar leave
    # them) converts to a name of its own; the output stays its take's.
    skeleton lib/old.asf; motion lib/old.amc bold 2
    touch -d '1 day ago' lib/old.asf lib/old.amc
    run convert lib --out-dir out --frame-rate 60 --skip-existing
    expect_code 0
    expect_stdout_matches '^old\.amc +ok as old-2\.glb '
    expect_stdout_matches '^old\.bvh +up to date '
    expect_stderr_matches '^old\.amc: written to old-2\.glb: old\.glb is old\.bvh.s$'
    grep -q '"old.bvh"' out/old.glb.varnex || fail "old.glb's record: $(cat out/old.glb.varnex)"
    grep -q '"old.amc"' out/old-2.glb.varnex || fail "old-2.glb's record"
    run convert lib --out-dir out --frame-rate 60 --skip-existing
    expect_stdout_matches '^old\.amc +up to date as old-2\.glb '
    ;;
  shards_through_parallel)
    # Two parts through GNU parallel make what one convert makes, each take once.
    command -v parallel >/dev/null || { echo "GNU parallel is not installed (scripts/setup.sh)"; exit 77; }
    mkdir -p lib/x lib/y
    for name in a b c d e; do bvh lib/x/$name.bvh 0.0333333; bvh lib/y/$name.bvh 0.0416667; done
    skeleton lib/y/01.asf; motion lib/y/01_01.amc b01 2; motion lib/y/01_02.amc b01 4
    run convert lib --out-dir one --format csv --frame-rate 120
    expect_code 0
    parallel --halt now,fail=1 "$varnex" convert lib --out-dir parts --format csv --frame-rate 120 --shard {}/2 \
      '>' part{}.txt '2>/dev/null' ::: 1 2 || fail "a part failed"
    # The records say when each output was written; the outputs are the same bytes.
    diff -r -x '*.varnex' one parts >/dev/null || fail "the parts differ from one convert: $(diff -rq one parts)"
    for k in 1 2; do grep -Eq '^[1-9][0-9]* converted, 0 failed$' part$k.txt || fail "part $k: $(cat part$k.txt)"; done
    [ "$(cat part1.txt part2.txt | grep -c ' ok ')" -eq 12 ] || fail "the parts overlap or miss takes"
    run convert lib --out-dir parts --shard 3/2
    expect_code 2
    expect_stderr_matches 'K/N with 1 <= K <= N'
    ;;
  many_takes)
    # Takes of one skeleton share a glTF file; each animation plays its own take.
    command -v node >/dev/null || { echo "node is not installed"; exit 77; }
    mkdir -p lib/s lib/t
    skeleton lib/s/01.asf; motion lib/s/01_01.amc b01 3; motion lib/s/01_02.amc b01 5
    # Where the player is built, its page goes beside the glb; the glb stays as it is alone (below).
    page=(--preview page.html)
    "$varnex" import lib/s/01_01.amc -q --preview probe.html 2>/dev/null || page=()
    run import --skeleton lib/s/01.asf lib/s/01_01.amc lib/s/01_02.amc -o 01.glb --frame-rate 60 --exact "${page[@]}"
    expect_code 0
    expect_stdout_matches '^01_01: 3 instances, 3 frames, '
    expect_stdout_matches '^01_02: 3 instances, 5 frames, '
    # One decision for the file, made on the first take; each later take's line says so.
    expect_stderr_matches '^varnex: 01_01: up [yz] \(its lowest joints '
    expect_stderr_matches '^varnex: 01_02: as 01_01: up [yz] \(its lowest joints '
    # Each animation is its take: its name, and its length at 60 fps; --exact
    # keeps the values as floats (how they move is the export tests').
    takes=$(glb 01.glb "$animations")
    [ "$takes" == "01_01 0.0333, 01_02 0.0667" ] || fail "animations and lengths: $takes"
    types=$(glb 01.glb 'new Set(d.animations.flatMap((a) => a.samplers.map((s) => d.accessors[s.output].componentType)))')
    [ "$types" == "Set(1) { 5126 }" ] || fail "--exact stored the values as $types"
    if [ ${#page[@]} -gt 0 ]; then
      # The page plays the glb that -o writes, its scene named after the page.
      "$varnex" import --skeleton lib/s/01.asf lib/s/01_01.amc lib/s/01_02.amc -q -o page.glb --frame-rate 60 --exact
      sed -n 's/.*id="varnex-glb">\([^<]*\)<.*/\1/p' page.html | base64 -d | cmp -s - page.glb ||
        fail "the page does not hold the glb that -o writes"
    fi
    # An ASF named first is the skeleton; a take with another hierarchy is refused.
    bvh lib/t/other.bvh 0.0333333
    run import lib/s/01.asf lib/s/01_01.amc lib/t/other.bvh -o mixed.glb
    expect_code 1
    expect_stderr_matches '^varnex: lib/s/01_01.amc and lib/t/other.bvh cannot share one glTF file: '
    [ ! -e mixed.glb ] || fail "a refused set of takes was written"
    for export in --positions=both.csv --preview=both.svg; do
      run import lib/s/01_01.amc lib/s/01_02.amc "$export"
      expect_code 2
    done
    # An ASF with one AMC is that take, for every export, as with --skeleton.
    run import lib/s/01.asf lib/s/01_01.amc -q --positions one.csv --preview one.svg --dump-json one.json
    expect_code 0
    grep -q '>01_01.amc<' one.svg || fail "the picture is not titled after the take"
    grep -q '"file": "01_01.amc"' one.json || fail "the JSON does not name the take"
    run import --skeleton lib/s/01.asf lib/s/01_01.amc -q --positions given.csv
    cmp -s one.csv given.csv || fail "the ASF named first and --skeleton give other positions"
    # convert --merge: one file per skeleton, BVH files one each.
    run convert lib --out-dir out --merge --frame-rate 60 --exact
    expect_code 0
    [ "$(cd out && find . -type f | sort | tr '\n' ' ')" == "./s/01.glb ./s/01.glb.varnex ./t/other.glb ./t/other.glb.varnex " ] ||
      fail "outputs: $(cd out && find . -type f | sort | tr '\n' ' ')"
    cmp -s out/s/01.glb 01.glb || fail "convert --merge and import of the takes differ"
    # The keys and bytes are the written file's: every channel's keys, all animations.
    keys=$(glb out/s/01.glb "$channel_keys")
    expect_stdout_matches "^s/01.asf \\(2 takes\\) +ok +[0-9]+ +8 +$keys +$(stat -c %s out/s/01.glb) "
    # Skeletons of the same bytes under two names are one skeleton.
    mkdir lib/m
    skeleton lib/m/a.asf; cp lib/m/a.asf lib/m/b.asf; motion lib/m/a_1.amc ba 2; motion lib/m/b_1.amc ba 3
    run convert lib/m --out-dir mout --merge --frame-rate 60
    expect_code 0
    expect_stdout_matches '^a.asf \(2 takes\) +ok +[0-9]+ +5 '
    [ "$(glb mout/a.glb "$animations")" == "a_1 0.0167, b_1 0.0333" ] || fail "merged: $(glb mout/a.glb "$animations")"
    ;;
  gallery_index)
    # The gallery's index.html is never a take's page: a take named index at
    # the top gets index-2, as any take whose name is held does.
    command -v node >/dev/null || { echo "node is not installed"; exit 77; }
    mkdir -p lib/sub
    bvh lib/index.bvh 0.0333333; bvh lib/sub/index.bvh 0.0333333; bvh lib/walk.bvh 0.0333333
    run convert lib --out-dir out --gallery
    expect_code 0
    expect_stdout_matches '^index\.bvh +ok as index-2\.glb '
    expect_stdout_matches '^sub/index\.bvh +ok +'
    expect_stderr_matches "^index\\.bvh: written to index-2\\.glb: index\\.html is the gallery's page$"
    [ -s out/index-2.glb ] && [ -s out/index-2.svg ] && [ -s out/sub/index.glb ] && [ ! -e out/index.glb ] ||
      fail "outputs: $(ls out out/sub)"
    grep -q '<main class="cards">' out/index.html || fail "index.html is not the gallery"
    grep -q 'src="index-2.svg"' out/index.html || fail "the gallery has no card of index-2: $(cat out/index.html)"
    run convert lib --out-dir out
    expect_stdout_matches '^index\.bvh +ok +'
    ;;
  real_library)
    # The public university layout, 01.asf beside 01_01.amc, at its rate of 120 fps.
    [ -f "$mocap/acclaim/cmu_01/01_01.amc" ] || { echo "no real mocap files in $mocap"; exit 77; }
    mkdir subject
    ln -s "$mocap/acclaim/cmu_01/01.asf" subject/01.asf
    ln -s "$mocap/acclaim/cmu_01/01_01.amc" subject/01_01.amc
    cp subject/01.asf subject/02.asf
    run convert subject --out-dir out --frame-rate 120
    expect_code 0
    # The keys the glb holds (some 31 thousand after compaction, not the scene's 225726) and its size.
    keys=$(glb out/01_01.glb "$channel_keys")
    [ "$keys" -lt 40000 ] || fail "the glb holds $keys keys"
    grep -Eq "^01_01.amc +ok +31 +2751 +$keys +$(stat -c %s out/01_01.glb) " stdout.txt || fail "table: $(cat stdout.txt)"
    grep -Eq '^02.asf +skeleton, no motion ' stdout.txt || fail "table: $(cat stdout.txt)"
    duration=$(glb out/01_01.glb "$animations")
    [ "$duration" == "01_01 22.9167" ] || fail "animation and duration: $duration, not 01_01 and 2750/120 s"
    # Each take's height in output units, and what its exports adjusted.
    run convert subject/01_01.amc --out-dir tall --frame-rate 120 --height 1.75
    grep -Eq '^01_01.amc +ok +31 +2751 +[0-9]+ +[0-9]+ +1.75 +[0-9.]+ s +root motion × 0.45, height 1.75$' stdout.txt ||
      fail "table: $(cat stdout.txt)"
    run convert subject/01_01.amc --out-dir tall --height 1.75 --scale 0.01
    expect_code 2
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

[ "$failures" -eq 0 ]
