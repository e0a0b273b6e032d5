#!/usr/bin/env bash
# Installs what the HTML player is made and tested with: node and npm when
# missing, Debian's chromium for the browser test, and the player's npm
# packages as its lock file pins them. Does nothing when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
dpkg-query -W -f='${Status}' chromium 2>/dev/null | grep -q "install ok installed" || missing+=(chromium)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
# npm ci starts from an empty node_modules: only when the lock file changed.
player=tools/varnex/player
if ! cmp -s "$player/package-lock.json" "$player/node_modules/.varnex-lock.json"; then
  (cd "$player" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  cp "$player/package-lock.json" "$player/node_modules/.varnex-lock.json"
fi
