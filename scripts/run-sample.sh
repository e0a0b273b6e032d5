#!/usr/bin/env bash
# Sets up, builds what a run needs (the plug-in, the host libraries and
# varnex; no tests, benchmarks or fuzzers), and imports the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_TARGETS="varnex imp_bvh" bash scripts/build.sh
build/bin/varnex import samples/walk.bvh
