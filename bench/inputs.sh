# Inputs of the benchmark rows, shared by the bench scripts (sourced).
# The caller sets ROOT (the repository), CACHE (where inputs are kept), WORK (a
# scratch directory; notes.txt there collects remarks for the results) and
# MILLION_LINES (lines of the generated row; 200000 is the full-size row).
# shared/ sits beside the repository; from a git worktree, beside the main checkout.
find_data() {
  local common
  [ -n "${KESTREL_DATA:-}" ] && { echo "$KESTREL_DATA"; return; }
  if [ -d "$ROOT/../shared/data" ]; then echo "$ROOT/../shared/data"; return; fi
  common="$(git -C "$ROOT" rev-parse --path-format=absolute --git-common-dir 2>/dev/null)" &&
    [ -d "$common/../../shared/data" ] && { echo "$common/../../shared/data"; return; }
  echo "$ROOT/../shared/data"
}

# The input file of a row, made once into the cache.
input_of() {  # $1 = data name -> path on stdout, or a message on stderr and status 1
  local name="$1" gz plain
  if [ "$name" = million ]; then
    plain="$CACHE/million-$MILLION_LINES.dat"
    if [ ! -s "$plain" ]; then
      command -v python3 >/dev/null 2>&1 || { echo "python3 is needed to generate the million-item row" >&2; return 1; }
      # Fixed seed; random() is the generator Python keeps stable across versions.
      # Each line: 5 ids below 4,000,000,000; the whole file is written twice, so
      # every id and every subset of a line has support 2 or more.
      python3 - "$MILLION_LINES" "$plain.part" <<'EOF' || return 1
import random, sys
lines, path = int(sys.argv[1]), sys.argv[2]
r = random.Random(20261207)
rows = [" ".join(str(int(r.random() * 4000000000)) for _ in range(5)) + "\n" for _ in range(lines)]
with open(path, "w") as f:
    f.writelines(rows)
    f.writelines(rows)
EOF
      mv "$plain.part" "$plain"
      # The full-size file the figures above belong to (999,881 distinct ids).
      if [ "$MILLION_LINES" = 200000 ] &&
         [ "$(sha256sum < "$plain" | cut -d' ' -f1)" != 76e13d4cb486b3835b3ace07be35d10cf5d7db79aac92034566027471f7f552d ]; then
        echo "The generated million-item file differs from the one the fastest miner's figure belongs to (another python3?)." >> "$WORK/notes.txt"
      fi
    fi
  else
    gz="$DATA/$name.dat.gz"
    [ -f "$gz" ] || { echo "missing $gz" >&2; return 1; }
    plain="$CACHE/$name.dat"
    if [ ! -s "$plain" ] || [ "$gz" -nt "$plain" ]; then
      gzip -dc "$gz" > "$plain.part" && mv "$plain.part" "$plain" || return 1
    fi
  fi
  echo "$plain"
}

# How a binary was built, from the CMakeCache.txt of its build directory:
# "profile-guided Release build", "Release build without profile" (or of
# another type), or "unknown build" when no cache lies beside it.
build_of() {  # $1 = binary
  local cache pgo type
  cache="$(dirname "$1")/CMakeCache.txt"
  [ -f "$cache" ] || { echo "unknown build"; return; }
  type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache")"
  pgo="$(sed -n 's/^KESTREL_PGO:BOOL=//p' "$cache")"
  case "$type:$pgo" in
    Release:ON) echo "profile-guided Release build" ;;
    *) echo "${type:-default} build without profile" ;;
  esac
}

# The attribute row the constrained rows read (row 0: value (id * 61) mod 100
# for ids below 20000), written into the cache; its path on stdout.
attribute_row_61() {
  mkdir -p "$CACHE" && python3 -c "print(' '.join(str(i * 61 % 100) for i in range(20000)))" \
    > "$CACHE/attr-61.txt" && echo "$CACHE/attr-61.txt"
}
