#!/usr/bin/env bash
# Whole-process runs of varnex beside Debian's assimp-utils on the same big
# inputs, made from ../shared/mocap: CPU seconds, throughput and peak memory,
# paired (A B A B …) and the medians printed as one table; then the glb's
# sizes, beside assimp's and Debian's gltfpack's.
#
#   bash bench/compare.sh            # RUNS=5 pairs, build in build-release
#
# Environment: MOCAP (default ../shared/mocap from the repo root), BUILD_DIR
# (default build-release, configured Release), WORK (inputs and outputs,
# default BUILD_DIR/compare), RUNS (pairs per row, default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mocap=${MOCAP:-$root/../shared/mocap}
build=${BUILD_DIR:-build-release}
work=${WORK:-$build/compare}
runs=${RUNS:-5}

[[ -d $mocap ]] || { echo "compare.sh: no mocap folder at $mocap" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "compare.sh: needs /usr/bin/time (Debian package time)" >&2; exit 1; }
for tool in assimp:assimp-utils gltfpack:gltfpack; do
  if ! command -v "${tool%%:*}" >/dev/null; then
    echo "compare.sh: installing ${tool#*:}" >&2
    sudo=(); [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get install -y -q "${tool#*:}" >/dev/null
  fi
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
{ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVARNEX_BUILD_TESTS=OFF -DVARNEX_BUILD_BENCH=OFF &&
  cmake --build "$build" --target varnex imp_bvh -j"$(nproc)"; } >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
varnex=$root/$build/bin/varnex
mkdir -p "$work"
cd "$work"

# -- Inputs: one take's motion repeated, frame numbers running on.
bvh_source=$mocap/bvh/cmu_cgspeed_01_03.bvh
amc_source=$mocap/acclaim/cmu_01/01_01.amc
if [[ ! -s big.bvh ]]; then
  awk -v copies=8 '
    motion { rows[++n] = $0; next }
    /^Frames:/ { frames = $2; next }
    /^Frame Time:/ { frame_time = $0; motion = 1; next }
    { print }
    END {
      print "Frames: " frames * copies; print frame_time
      for (c = 0; c < copies; c++) for (i = 1; i <= n; i++) print rows[i]
    }' "$bvh_source" > big.bvh
fi
if [[ ! -s big.amc ]]; then
  # Line ends become line feeds; the header is kept once.
  tr -d '\r' < "$amc_source" | awk -v copies=13 '
    /^[0-9]+$/ { last = $1; started = 1 }
    !started { header[++h] = $0; next }
    { rows[++n] = $0 }
    END {
      for (i = 1; i <= h; i++) print header[i]
      for (c = 0; c < copies; c++)
        for (i = 1; i <= n; i++) print (rows[i] ~ /^[0-9]+$/) ? rows[i] + c * last : rows[i]
    }' > big.amc
  cp "$mocap/acclaim/cmu_01/01.asf" big.asf
fi
cp "$root/samples/walk.bvh" tiny.bvh

bvh_bytes=$(stat -c %s big.bvh)
amc_bytes=$(stat -c %s big.amc)
bvh_frames=$(awk '/^Frames:/ { print $2; exit }' big.bvh)
bvh_channels=$(awk '/CHANNELS/ { sum += $2 } /^MOTION/ { print sum; exit }' big.bvh)
bvh_keys=$((bvh_frames * bvh_channels))
# Every instance of the skeleton keys its three rotations a frame, the root
# its three translations too.
amc_frames=$(grep -c '^[0-9][0-9]*$' big.amc)
amc_instances=$("$varnex" import big.asf --frame-rate 120 2>/dev/null | awk '/ instances, / { print $1 }')
amc_keys=$(((amc_instances * 3 + 3) * amc_frames))

# -- Measuring: user + system CPU seconds and peak resident KiB of one run.
measure() {
  /usr/bin/time -o time.out -f '%U %S %M' "$@" >/dev/null 2>&1 || { echo "compare.sh: failed: $*" >&2; exit 1; }
  awk '{ printf "%.3f %d\n", $1 + $2, $3 }' time.out
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A cpu rss
# Runs the named commands in turn, runs times over; keeps the medians.
paired() {
  local names=("$@") name i
  declare -A cpus rsss
  for ((i = 0; i < runs; i++)); do
    for name in "${names[@]}"; do
      read -r c m < <(eval "measure ${commands[$name]}")
      cpus[$name]+="$c"$'\n'
      rsss[$name]+="$m"$'\n'
    done
  done
  for name in "${names[@]}"; do
    cpu[$name]=$(printf '%s' "${cpus[$name]}" | median)
    rss[$name]=$(printf '%s' "${rsss[$name]}" | median)
  done
}

declare -A commands=(
  [startup]="'$varnex' import tiny.bvh -q"
  [bvh]="'$varnex' import big.bvh -q"
  [assimp_bvh]="assimp info big.bvh"
  [asf]="'$varnex' import big.asf -q --frame-rate 120"
  [glb]="'$varnex' import big.bvh -q -o big.glb"
  [assimp_glb]="assimp export big.bvh assimp.glb"
)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
paired startup
paired bvh assimp_bvh
paired asf
paired glb assimp_glb

# The glb's size: compact (the default), --exact and --compress, beside
# assimp's and gltfpack's mesh compression (-cc) of the exact one at the
# take's own rate (it resamples to 30 fps unless told).
"$varnex" import big.bvh -q --exact -o exact.glb >/dev/null 2>&1
"$varnex" import big.bvh -q --compress -o compressed.glb >/dev/null 2>&1
bvh_fps=$(awk '/^Frame Time:/ { printf "%.0f", 1 / $3; exit }' big.bvh)
gltfpack -i exact.glb -o gltfpack.glb -cc -af "$bvh_fps" >/dev/null
glb_bytes=$(stat -c %s big.glb) exact_bytes=$(stat -c %s exact.glb) assimp_bytes=$(stat -c %s assimp.glb)
compressed_bytes=$(stat -c %s compressed.glb) gltfpack_bytes=$(stat -c %s gltfpack.glb)

# The batch: every real file, two workers; CPU of all processes, wall time for files a second.
rm -rf converted
convert_files=$(/usr/bin/time -o time.out -f '%e %U %S %M' "$varnex" convert "$mocap" --jobs 2 --out-dir converted \
                 2>/dev/null | sed -n 's/^\([0-9]*\) converted.*/\1/p')
read -r convert_wall convert_user convert_sys convert_rss < time.out
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

mb() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f MB/s", b / 1e6 / s }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }
per_key() { awk -v k="$1" -v s="${rss[startup]}" -v n="$2" 'BEGIN { printf "%.1f B/key", (k - s) * 1024 / n }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '\nbig.bvh: %.1f MB, %d frames, %d keys; big.amc: %.1f MB, %d frames, %d keys\n' \
  "$(awk -v b="$bvh_bytes" 'BEGIN { print b / 1e6 }')" "$bvh_frames" "$bvh_keys" \
  "$(awk -v b="$amc_bytes" 'BEGIN { print b / 1e6 }')" "$amc_frames" "$amc_keys"
printf 'medians of %d paired runs; load average %s before, %s after\n\n' "$runs" "$load_before" "$load_after"
printf '| run | CPU s | throughput | peak memory | beside |\n|---|---|---|---|---|\n'
printf '| `varnex import tiny.bvh -q` (start-up) | %s | — | %s | — |\n' "${cpu[startup]}" "$(mib "${rss[startup]}")"
printf '| `varnex import big.bvh -q` | %s | %s | %s, %s | %s of assimp |\n' "${cpu[bvh]}" "$(mb "$bvh_bytes" "${cpu[bvh]}")" \
  "$(mib "${rss[bvh]}")" "$(per_key "${rss[bvh]}" "$bvh_keys")" "$(ratio "${cpu[bvh]}" "${cpu[assimp_bvh]}")"
printf '| `assimp info big.bvh` | %s | %s | %s | — |\n' "${cpu[assimp_bvh]}" "$(mb "$bvh_bytes" "${cpu[assimp_bvh]}")" \
  "$(mib "${rss[assimp_bvh]}")"
printf '| `varnex import big.asf -q --frame-rate 120` | %s | %s | %s, %s | — |\n' "${cpu[asf]}" \
  "$(mb "$amc_bytes" "${cpu[asf]}")" "$(mib "${rss[asf]}")" "$(per_key "${rss[asf]}" "$amc_keys")"
printf '| `varnex import big.bvh -q -o big.glb` | %s | — | %s | %s of assimp |\n' "${cpu[glb]}" "$(mib "${rss[glb]}")" \
  "$(ratio "${cpu[glb]}" "${cpu[assimp_glb]}")"
printf '| `assimp export big.bvh assimp.glb` | %s | — | %s | — |\n' "${cpu[assimp_glb]}" "$(mib "${rss[assimp_glb]}")"
printf '| `varnex convert %s --jobs 2` | %.2f (%.2f s wall) | %s files, %.1f files/s | %s largest process | — |\n' \
  "$(basename "$mocap")" "$(awk -v u="$convert_user" -v s="$convert_sys" 'BEGIN { print u + s }')" "$convert_wall" \
  "$convert_files" "$(awk -v n="$convert_files" -v w="$convert_wall" 'BEGIN { print n / w }')" "$(mib "$convert_rss")"
printf '\nbig.glb: %.1f MB compact (the default), %.1f MB with --exact; assimp.glb: %.1f MB\n' \
  "$(awk -v b="$glb_bytes" 'BEGIN { print b / 1e6 }')" "$(awk -v b="$exact_bytes" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$assimp_bytes" 'BEGIN { print b / 1e6 }')"
printf 'compressed.glb (--compress): %.2f MB; gltfpack.glb (gltfpack -cc -af %s of exact.glb): %.2f MB\n' \
  "$(awk -v b="$compressed_bytes" 'BEGIN { print b / 1e6 }')" "$bvh_fps" \
  "$(awk -v b="$gltfpack_bytes" 'BEGIN { print b / 1e6 }')"
