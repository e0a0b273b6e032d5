#!/usr/bin/env bash
# Installs what the build needs from Debian's packages; does nothing when all is there.
# GNU parallel runs the test that splits a conversion into shards; pybind11,
# Python's headers, numpy and pytest build and test the Python module;
# libmeshoptimizer-dev gives varnex --compress, gltfpack the size comparison.
set -euo pipefail
packages=(cmake g++ clang-14 libclang-rt-14-dev libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libglm-dev
  parallel pybind11-dev python3-dev python3-numpy python3-pytest libmeshoptimizer-dev gltfpack)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
# The HTML player's packages and the browser its test runs; varnex builds
# without them, with no player.
bash "$(dirname "$0")/setup-player.sh" || echo "setup: the HTML player's node packages or chromium could not be installed; varnex builds without the player" >&2
