#!/usr/bin/env bash
# The plug-in's dynamic symbol table may define one symbol of ours: the entry
# point. Symbols the linker itself defines are left aside.
set -euo pipefail
symbols=$(nm -D --defined-only "$1" | awk '{print $NF}' | grep -vxE '_init|_fini|_edata|_end|__bss_start' || true)
if [ "$symbols" != "Varnex_Plugin_EntryPoint" ]; then
  echo "exported symbols of $1:" >&2
  echo "$symbols" >&2
  exit 1
fi
