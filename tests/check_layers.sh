#!/usr/bin/env bash
# Checks the folder stack: a folder's files (tests beside the code included)
# may include only their own folder and the folders below it. Bottom to top:
#   util, constraints, dataset, levels, engine | vertical, mining, driver
# engine and vertical stand side by side and never include each other; the
# public header include/kestrel/ may be included by mining and driver only.
# Includes of folders outside the stack (tests/support, tools) are not judged.
# Prints each violation as file:line and exits 1 when there is one.
#   tests/check_layers.sh [source dir]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
shopt -s nullglob
files=()
for dir in util constraints dataset levels engine vertical mining driver; do
  files+=("$dir"/*.cc "$dir"/*.h)
done
[ ${#files[@]} -gt 0 ] || { echo "no sources found in $(pwd)"; exit 1; }

awk '
BEGIN {
  n = split("util constraints dataset levels engine vertical mining driver", order, " ")
  rank["util"] = 0; rank["constraints"] = 1; rank["dataset"] = 2; rank["levels"] = 3
  rank["engine"] = 4; rank["vertical"] = 4; rank["mining"] = 5; rank["driver"] = 6
  bad = 0
}
match($0, /^[ \t]*#[ \t]*include[ \t]*"[^"]+"/) {
  target = substr($0, RSTART, RLENGTH)
  sub(/^[^"]*"/, "", target); sub(/"$/, "", target)
  split(FILENAME, path, "/"); from = path[1]
  split(target, parts, "/"); to = parts[1]
  if (to == "include" || to == "kestrel") {
    if (from != "mining" && from != "driver") {
      printf "%s:%d: %s includes %s: only mining/ and driver/ may include the public header\n", FILENAME, FNR, from, target
      bad = 1
    }
    next
  }
  if (!(to in rank) || to == from) next
  if (rank[to] > rank[from]) {
    printf "%s:%d: %s includes %s: %s is above %s\n", FILENAME, FNR, from, target, to, from
    bad = 1
  } else if (rank[to] == rank[from]) {
    printf "%s:%d: %s includes %s: engine and vertical must not include each other\n", FILENAME, FNR, from, target
    bad = 1
  }
}
END { exit bad }
' "${files[@]}"
