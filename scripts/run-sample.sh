#!/usr/bin/env bash
# Sets up, builds, and imports the bundled sample with the command-line host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build/bin/varnex import samples/walk.bvh
