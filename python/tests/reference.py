"""Brute-force miner for the tests: every subset of the occurring items, its
support counted over every transaction, and the few constraint keywords the
tests use, each evaluated on the whole itemset with exact integer arithmetic."""
from fractions import Fraction
from itertools import combinations


def _params(text):
    return [int(v) for v in text.strip("[]").split(",") if v]


def _holds(keyword, params, itemset, attributes):
    if keyword == "lenleq":
        return len(itemset) <= params[0]
    if keyword == "lengeq":
        return len(itemset) >= params[0]
    if keyword == "supseteq":
        return set(params) <= set(itemset)
    values = [attributes[params[0]][i] for i in itemset]
    t = params[1]
    if keyword == "sumleq":
        return sum(values) <= t
    if keyword == "sumgeq":
        return sum(values) >= t
    if keyword == "maxleq":
        return all(v <= t for v in values)
    if keyword == "avgleq2":
        return not values or Fraction(sum(values), len(values)) <= t
    raise ValueError("reference knows no keyword " + keyword)


def mine(transactions, sigma, constraints=(), attributes=None):
    """Sorted (itemset, support) pairs, itemsets as ascending tuples."""
    sets = [set(t) for t in transactions]
    items = sorted(set().union(*sets)) if sets else []
    out = []
    for k in range(len(items) + 1):
        for itemset in combinations(items, k):
            support = sum(1 for t in sets if t.issuperset(itemset))
            if support < max(sigma, 1):
                continue
            if all(_holds(kw, _params(p), itemset, attributes) for kw, p in constraints):
                out.append((itemset, support))
    return sorted(out)
