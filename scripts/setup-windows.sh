#!/usr/bin/env bash
# Installs what the Windows cross build and its smoke test need from Debian's
# packages: the mingw-w64 cross compiler, wine (64-bit only) and a virtual X
# server for the dialogs. Does nothing when all is there.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine64 xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
