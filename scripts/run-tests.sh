#!/usr/bin/env bash
# Sets up, builds everything (tests, benchmarks and fuzz replays too) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
