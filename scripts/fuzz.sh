#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 (ASan + UBSan) into build-fuzz and
# runs each one for a bounded time over its seeds and kept regression inputs.
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_TARGETS   targets to run (default: all five)
#   FUZZ_BUILD_DIR build folder (default build-fuzz)
# Further arguments go to libFuzzer (e.g. -runs=1000000). A crash, leak or
# hang leaves its input in <build>/artifacts/<target>/: keep it in
# fuzz/regressions/<target>/ once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
read -r -a targets <<<"${FUZZ_TARGETS:-fuzz_bvh fuzz_asf fuzz_asf_amc fuzz_amc fuzz_options}"

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEX_BUILD_FUZZ=ON \
  -DVARNEX_BUILD_TESTS=OFF -DVARNEX_BUILD_BENCH=OFF -DVARNEX_WERROR=${VARNEX_WERROR:-OFF} \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 >/dev/null
cmake --build "$dir" --target "${targets[@]}" -j"$(nproc)"

# Seeds from the project's samples, by the extension each target reads.
seed_samples() {
  case $1 in
    fuzz_bvh) find samples -maxdepth 1 -name '*.bvh' 2>/dev/null ;;
    fuzz_asf | fuzz_asf_amc) find samples -maxdepth 1 -name '*.asf' 2>/dev/null ;;
  esac
}

# The targets write their inputs to files: a memory-backed folder keeps that cheap.
[ -d /dev/shm ] && export TMPDIR=${TMPDIR:-/dev/shm}
# A smaller quarantine keeps freed memory warm, so the kernel is not asked
# for fresh pages at every input; use-after-free is still caught.
asan="detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=16:malloc_context_size=10"

failed=()
for target in "${targets[@]}"; do
  work="$dir/corpus/$target"
  mkdir -p "$work" "$dir/artifacts/$target" "$dir/logs"
  seed_samples "$target" | while read -r sample; do cp "$sample" "$work/"; done
  # The host keeps every copy of the settings directory that initialize asks
  # for, by design; libFuzzer would take that growth for a leak and scan the
  # heap after every input. LeakSanitizer still checks the whole run at exit.
  leaks=()
  [ "$target" = fuzz_options ] && leaks=(-detect_leaks=0)
  echo "== $target: ${seconds}s"
  if ASAN_OPTIONS=$asan UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 "${leaks[@]}" \
    -dict="fuzz/dict/$target.dict" -artifact_prefix="$dir/artifacts/$target/" \
    "$work" "fuzz/corpus/$target" "fuzz/regressions/$target" "$@" >"$dir/logs/$target.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$dir/logs/$target.log" || true
  else
    failed+=("$target")
    tail -n 60 "$dir/logs/$target.log"
    echo "$target failed; its input is in $dir/artifacts/$target/"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzers that failed: ${failed[*]}"
  exit 1
fi
