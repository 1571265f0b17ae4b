#!/usr/bin/env python3
"""Compares two runs of bench/constrained.sh, row by row: the ratio pushed /
unconstrained of each row in both, summed up per data row and per keyword, and
how many rows are within a bound. Not a test: it prints markdown.

  bench/constrained_change.py BEFORE.md AFTER.md [--class NAME] [--bound 1.05]

Each file is a markdown file holding the table constrained.sh writes (the first
section headed "## Every constraint keyword" when there are several); rows are
matched by data, keyword and target.
"""
import argparse
import statistics


def read_rows(path, wanted_class):
    text = open(path, encoding="utf-8").read()
    start = text.find("## Every constraint keyword")
    if start >= 0:
        end = text.find("\n## ", start + 5)
        text = text[start:end if end >= 0 else len(text)]
    rows = {}
    for line in text.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 15 or (wanted_class and cells[2] != wanted_class):
            continue
        try:
            pushed, unconstrained = float(cells[7]), float(cells[8])
        except ValueError:
            continue  # the header and its rule
        rows[(cells[0], cells[1], cells[3])] = (pushed, unconstrained)
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--class", dest="wanted_class", default="")
    parser.add_argument("--bound", type=float, default=1.05)
    args = parser.parse_args()
    before = read_rows(args.before, args.wanted_class)
    after = read_rows(args.after, args.wanted_class)
    common = [k for k in after if k in before]
    if not common:
        raise SystemExit("no row is in both files")

    def ratio(rows, key):
        pushed, unconstrained = rows[key]
        return pushed / unconstrained

    def summary(label, keys):
        b = [ratio(before, k) for k in keys]
        a = [ratio(after, k) for k in keys]
        within_b = sum(r <= args.bound for r in b)
        within_a = sum(r <= args.bound for r in a)
        pushed_b = sum(before[k][0] for k in keys)
        pushed_a = sum(after[k][0] for k in keys)
        print(f"| {label} | {len(keys)} | {statistics.median(b):.2f} | {statistics.median(a):.2f} "
              f"| {max(b):.2f} | {max(a):.2f} | {within_b} | {within_a} "
              f"| {pushed_b:.1f} | {pushed_a:.1f} |")

    print(f"| rows | n | median before | median after | worst before | worst after "
          f"| <= {args.bound} before | <= {args.bound} after | pushed s before | pushed s after |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    summary("all", common)
    for group in (0, 1):
        names = []
        for k in common:
            if k[group] not in names:
                names.append(k[group])
        for name in names:
            summary(name, [k for k in common if k[group] == name])


if __name__ == "__main__":
    main()
