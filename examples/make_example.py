#!/usr/bin/env python3
"""Writes the example dataset basket.dat and its attribute file prices.txt.

400 shopping baskets over items 0..59. Three patterns are planted so that
mining at sigma 40 finds itemsets of lengths 1 to 5: {3, 17, 25, 42, 51} in
about a fifth of the baskets, {8, 9, 10, 11} in about a quarter and {20, 30}
in about a third; every basket also gets a few random items. Line 0 of
prices.txt is a price per item id, line 1 a weight. Deterministic (seed 7).
"""
import random

rng = random.Random(7)
patterns = [([3, 17, 25, 42, 51], 0.2), ([8, 9, 10, 11], 0.25), ([20, 30], 0.33)]
with open("basket.dat", "w") as out:
    for _ in range(400):
        basket = set()
        for items, share in patterns:
            if rng.random() < share:
                basket.update(items)
        basket.update(rng.sample(range(60), rng.randint(1, 6)))
        out.write(" ".join(str(i) for i in sorted(basket)) + "\n")
with open("prices.txt", "w") as out:
    out.write(" ".join(str(rng.randint(1, 100)) for _ in range(60)) + "\n")
    out.write(" ".join(str(rng.randint(1, 20)) for _ in range(60)) + "\n")
