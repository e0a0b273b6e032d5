#!/usr/bin/env bash
# varnex's rooms include only downwards. Each room has a rank; a file may
# include its own room and rooms of lower rank, never higher. A quoted
# include must name its room ("scene/take.h"); the host's headers are
# included in angle brackets (<varnex/host.h>).
set -uo pipefail
root=${1:?usage: layering_check.sh TOOLS_VARNEX_DIR}
declare -A rank=([io]=0 [library]=1 [session]=2 [scene]=3 [export]=4 [player]=5 [commands]=6 [python]=6 [main]=7)
status=0
cd "$root" || exit 2
while IFS= read -r file; do
  room=${file%%/*}
  [ "$room" = "$file" ] && room=main
  [ -n "${rank[$room]+set}" ] || { echo "$file: in no room (rooms: ${!rank[*]})"; status=1; continue; }
  while IFS=: read -r line target; do
    to=${target%%/*}
    if [ "$to" = "$target" ] || [ -z "${rank[$to]+set}" ]; then
      echo "$file:$line: \"$target\" names no room"; status=1
    elif [ "$to" != "$room" ] && [ "${rank[$to]}" -ge "${rank[$room]}" ]; then
      echo "$file:$line: $room includes \"$target\", a room above or beside it"; status=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(find . -path ./player/node_modules -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's#^\./##' | sort)
[ $status -eq 0 ] && echo "layering: every include points down"
exit $status
