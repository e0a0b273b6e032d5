#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default build); extra arguments go to
# cmake. BUILD_TARGETS (space-separated) builds only those targets and what
# they need; unset, everything is built.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
# VARNEX_WERROR=ON (as CI sets it) turns warnings into errors; ccache, when
# installed, keeps rebuilds of unchanged sources cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DVARNEX_WERROR=${VARNEX_WERROR:-OFF} \
  "${launcher[@]}" "$@" >/dev/null
targets=()
if [ -n "${BUILD_TARGETS:-}" ]; then
  read -ra targets <<<"$BUILD_TARGETS"
  targets=(--target "${targets[@]}")
fi
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
