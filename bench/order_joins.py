#!/usr/bin/env python3
"""How many joins level 3 meets under each item order. Not a test: it prints a table.

A triple candidate is the join of two frequent pairs that share their first item;
an item with d frequent pairs in which it comes first gives d(d-1)/2 joins, and
which item of a pair comes first is the order's choice. Without a convertible
constraint the items are in ascending support; the first convertible constraint
puts them in the order of its attribute (descending for the "...geq2" keywords,
ascending for the "...leq2" ones). On sparse data the attribute order can put
frequent items first and multiply the joins of every later level.

Usage: bench/order_joins.py KESTREL ROW... where ROW is data:sigma:attributes
(data a FIMI file, attributes a file whose first line gives the value of every
item id). Each row runs KESTREL once for the itemsets of one and two items.
"""
import os
import subprocess
import sys
import tempfile
from collections import Counter


def frequent_items_and_pairs(kestrel, data, sigma, work):
    out = os.path.join(work, "pairs.txt")
    subprocess.run([kestrel, "input", os.path.abspath(data), "output", out, "sigma", sigma,
                    "lenleq", "[2]"], cwd=work, check=True, stdout=subprocess.DEVNULL)
    support, pairs = {}, []
    with open(out) as f:
        for line in f:
            items = line.split("(")[0].split()
            if len(items) == 1:
                support[int(items[0])] = int(line.split("(")[1].rstrip(")\n"))
            elif len(items) == 2:
                pairs.append((int(items[0]), int(items[1])))
    return support, pairs


def joins(pairs, key):
    firsts = Counter(a if key(a) < key(b) else b for a, b in pairs)
    return sum(d * (d - 1) // 2 for d in firsts.values())


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    kestrel = os.path.abspath(sys.argv[1])
    print("| data | sigma | frequent pairs | joins, support order | attribute descending | "
          "attribute ascending | descending / support | ascending / support |")
    print("|---|---|---|---|---|---|---|---|")
    for row in sys.argv[2:]:
        data, sigma, attributes = row.split(":")
        with open(attributes) as f:
            value = [int(x) for x in f.readline().split()]
        with tempfile.TemporaryDirectory() as work:
            support, pairs = frequent_items_and_pairs(kestrel, data, sigma, work)
        by_support = joins(pairs, lambda i: (support[i], i))
        descending = joins(pairs, lambda i: (-value[i], i))
        ascending = joins(pairs, lambda i: (value[i], i))
        print(f"| {os.path.basename(data)} | {sigma} | {len(pairs)} | {by_support} | {descending} "
              f"| {ascending} | {descending / max(by_support, 1):.2f} "
              f"| {ascending / max(by_support, 1):.2f} |")


if __name__ == "__main__":
    main()
