#!/usr/bin/env bash
# Named items against item ids, with the times of each (medians of alternated
# runs, wall seconds):
#   - Python: retail at support 5 with items renamed "i<id>" against the ints
#     (end to end: the lists in, the result list out);
#   - Python: T10I4D100K as a one-hot DataFrame of 870 boolean columns (dense
#     and sparse) against the int lists, at support 100;
#   - names2fimi on 10^7 named transactions (T10I4D100K a hundred times over,
#     items "item<id>"): MB/s of input on one core.
# Usage: bench/names.sh [build dir] [data dir] [runs]
#   build dir  with kestrel_python (-DKESTREL_PYTHON=ON) and names2fimi (default: build)
#   data dir   retail.dat.gz and T10I4D100K.dat.gz (default: ../shared/data)
#   runs       runs per variant (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
data=${2:-../shared/data}
runs=${3:-5}
work=$(mktemp -d /tmp/kestrel-names-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

PYTHONPATH="$PWD/$build/python" /usr/bin/python3 - "$data" "$runs" <<'EOF'
import gc, gzip, statistics, sys, time
import kestrel, pandas

data, runs = sys.argv[1], int(sys.argv[2])

def rows_of(name):
    with gzip.open(f"{data}/{name}.dat.gz", "rt") as f:
        return [[int(v) for v in line.split()] for line in f]

def alternate(variants):
    """Median wall and CPU seconds (every thread's) of each variant, the
    variants run in turn."""
    times = {name: ([], []) for name, _ in variants}
    for _ in range(runs):
        for name, run in variants:
            gc.collect()
            wall, cpu = time.perf_counter(), time.process_time()
            result = run()
            times[name][0].append(time.perf_counter() - wall)
            times[name][1].append(time.process_time() - cpu)
            del result
    return {name: (statistics.median(w), statistics.median(c)) for name, (w, c) in times.items()}

def report(title, medians, base):
    print(title + " (median wall s, ratio; median CPU s, ratio)")
    for name, (wall, cpu) in medians.items():
        print(f"  {name:<28} {wall:8.3f} {wall / medians[base][0]:5.2f}x  "
              f"{cpu:8.3f} {cpu / medians[base][1]:5.2f}x")

retail = rows_of("retail")
named = [[f"i{v}" for v in row] for row in retail]
report("retail, support 5", alternate([
    ("ints", lambda: kestrel.mine(retail, 5)),
    ("names i<id>", lambda: kestrel.mine(named, 5)),
]), "ints")
del retail, named

t10 = rows_of("T10I4D100K")
items = sorted(set().union(*map(set, t10)))
column = {v: j for j, v in enumerate(items)}
dense = [[False] * len(items) for _ in t10]
for i, row in enumerate(t10):
    for v in row:
        dense[i][column[v]] = True
frame = pandas.DataFrame(dense, columns=[f"i{v}" for v in items])
del dense
sparse = frame.astype(pandas.SparseDtype(bool, False))
print(f"T10I4D100K one-hot: {frame.shape[0]} x {frame.shape[1]}")
report("T10I4D100K, support 100", alternate([
    ("ints", lambda: kestrel.mine(t10, 100)),
    ("one-hot frame", lambda: kestrel.mine(frame, 100)),
    ("one-hot frame, sparse", lambda: kestrel.mine(sparse, 100)),
    ("mine_frame, one-hot frame", lambda: kestrel.mine_frame(frame, 100)),
]), "ints")
EOF

# 10^7 named transactions: T10I4D100K a hundred times, ids renamed "item<id>".
gzip -dc "$data/T10I4D100K.dat.gz" | sed -E 's/([0-9]+)/item\1/g' > "$work/once.txt"
for _ in $(seq 100); do cat "$work/once.txt"; done > "$work/baskets.txt"
bytes=$(stat -c %s "$work/baskets.txt")
lines=$(wc -l < "$work/baskets.txt")
# Wall and CPU (user + system) seconds of each run: on a shared machine the
# CPU seconds say more about one core's throughput than the wall.
TIMEFORMAT='%R %U %S'
for _ in $(seq "$runs"); do
  { time "$build/names2fimi" "$work/baskets.txt" "$work/out.dat" "$work/out.map"; } 2>> "$work/times"
done
/usr/bin/python3 - "$work/times" "$bytes" "$lines" <<'EOF'
import statistics, sys
runs = [[float(v) for v in line.split()] for line in open(sys.argv[1]) if line.strip()]
mb, lines = int(sys.argv[2]) / 1e6, int(sys.argv[3])
wall = statistics.median(r[0] for r in runs)
cpu = statistics.median(r[1] + r[2] for r in runs)
print(f"names2fimi: {lines} transactions, {mb:.0f} MB in: median wall {wall:.2f} s "
      f"({mb / wall:.0f} MB/s), median CPU {cpu:.2f} s ({mb / cpu:.0f} MB/s)")
EOF
