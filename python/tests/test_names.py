"""Tests of named items: any hashable items and one-hot DataFrames in, the same
itemsets as their ids out, with the items themselves; constraints and
attributes by item; every error with its message."""
import gzip
import os

import pytest

import kestrel
import reference
from test_kestrel import CONSTRAINT_FAMILIES, expect_error, random_case

pandas = pytest.importorskip("pandas")
numpy = pytest.importorskip("numpy")

RETAIL = "/work/shared/data/retail.dat.gz"

# Blanks, commas, non-ASCII letters, digits and parentheses inside names.
NAMES = ["whole milk", "rye, sliced", "café", "2% milk", "(7)", "eggs12", "x", "bread",
         "ünï", "a b,c", "9", "tea\tbag", "€", "q(1)", "z", "last one"]


def by_sets(result):
    return sorted((sorted(map(repr, s)), n) for s, n in result)


def first_seen(rows):
    order = {}
    for row in rows:
        for item in row:
            order.setdefault(item, len(order))
    return order


def named_constraints(constraints, name):
    """Item-list parameters as lists of names; the others as they are."""
    out = []
    for keyword, parameters in constraints:
        if keyword in ("subseteq", "supseteq"):
            out.append((keyword, [name[int(v)] for v in parameters.strip("[]").split(",")]))
        else:
            out.append((keyword, parameters))
    return out


@pytest.mark.parametrize("constraints", CONSTRAINT_FAMILIES, ids=lambda c: repr(c))
def test_named_items_give_the_itemsets_of_their_ids(constraints):
    for seed in range(25):
        rows, attributes, sigma, _ = random_case(seed)
        name = dict(enumerate(NAMES))
        named_rows = [[name[i] for i in row] for row in rows]
        # Attributes by name: dicts and Series alike.
        named_attributes = [{name[i]: v for i, v in enumerate(attributes[0])},
                            pandas.Series({name[i]: v for i, v in enumerate(attributes[1])})]
        listed = [int(v) for k, p in constraints if k == "supseteq" for v in p.strip("[]").split(",")]
        if not set(listed) <= set(first_seen(rows)):
            continue  # an item no transaction holds is an error by name (tested below)
        got = kestrel.mine(named_rows, sigma, constraints=named_constraints(constraints, name),
                           attributes=named_attributes)
        expected = reference.mine(rows, sigma, constraints, attributes)
        assert by_sets(got) == by_sets([(tuple(name[i] for i in s), n) for s, n in expected]), seed
        # Items of an itemset stand in their order of first appearance.
        order = first_seen(named_rows)
        assert all(list(s) == sorted(s, key=order.get) for s, _ in got)


def test_mixed_hashables_are_items_and_equal_ones_are_one_item():
    rows = [[1, "a", (2, 3)], [-1, "a"], [1, (2, 3), -1], [1.0, "a", True], [2**40, "a", 1], [b"x"]]
    order = first_seen(rows)  # 1.0 and True equal 1: one item
    assert len(order) == 6
    item = {n: i for i, n in order.items()}
    expected = reference.mine([[order[i] for i in r] for r in rows], 1)
    got = kestrel.mine(rows, 1)
    assert sorted((tuple(order[i] for i in s), n) for s, n in got) == expected
    assert all(type(i) is type(item[order[i]]) for s, _ in got for i in s)
    # Only ints in [0, 2**32) are ids: their output is exactly as before.
    assert kestrel.mine([[5, 3], [3]], 1) == [((), 2), ((5,), 1), ((3,), 2), ((3, 5), 1)]


def test_item_lists_in_constraints_and_unknown_items():
    rows = [["milk", "bread"], ["milk", "eggs"], ["milk", "bread", "eggs"]]
    got = kestrel.mine(rows, 2, constraints=[("supseteq", ["bread"])])
    assert got == [(("bread",), 2), (("milk", "bread"), 2)]
    got = kestrel.mine(rows, 1, constraints=[("subseteq", ("eggs", "milk"))])
    assert by_sets(got) == by_sets([((), 3), (("milk",), 3), (("eggs",), 2), (("milk", "eggs"), 2)])
    # Ids take lists too, and the same text as before.
    ids = [[0, 1], [0, 2], [0, 1, 2]]
    assert kestrel.mine(ids, 2, constraints=[("supseteq", [1])]) == \
        kestrel.mine(ids, 2, constraints=[("supseteq", "[1]")])
    errors = [
        (rows, [("supseteq", ["caviar"])], "constraints[0]: 'caviar' is not an item of the transactions"),
        (rows, [("lenleq", "[2]"), ("subseteq", ["milk", 0])],
         "constraints[1]: 0 is not an item of the transactions"),
        (rows, [("supseteq", "[0]")], "constraints[0]: with named items, supseteq takes a list of items"),
        (ids, [("supseteq", [7])], "constraints[0]: 7 is not an item of the transactions"),
        (ids, [("supseteq", ["milk"])], "constraints[0]: 'milk' is not an item of the transactions"),
    ]
    for transactions, constraints, message in errors:
        expect_error(message, transactions, 1, constraints=constraints)


def test_attributes_by_item():
    rows = [["milk", "bread"], ["milk", "eggs"], ["milk", "bread", "eggs"]]
    prices = {"milk": 1, "bread": 3, "eggs": 5, "caviar": 900}
    expected = [s for s, _ in kestrel.mine(rows, 1) if sum(prices[i] for i in s) <= 4]
    frame = pandas.DataFrame({"price": prices, "weight": {k: 1 for k in prices}})
    for attributes in ([prices], [pandas.Series(prices)], frame):
        got = kestrel.mine(rows, 1, constraints=[("sumleq", "[0,4]")], attributes=attributes)
        assert [s for s, _ in got] == expected
    # Ids by mapping: only the ids that occur need a value.
    got = kestrel.mine([[3, 10], [3]], 1, constraints=[("sumleq", "[0,6]")], attributes=[{3: 2, 10: 4}])
    assert by_sets(got) == by_sets([((), 2), ((3,), 2), ((10,), 1), ((3, 10), 1)])
    errors = [
        (rows, [{"milk": 1, "bread": 3}], "attributes[0]: no value for item 'eggs'"),
        (rows, [[1, 2, 3]], "attributes[0]: with named items, an attribute row must be a mapping {item: value}"),
        (rows, "prices.txt", "attributes: with named items, give mappings {item: value}, not a path"),
        (rows, [{"milk": 1, "bread": -3, "eggs": 5}], "attributes[0]: -3 must not be negative"),
        ([[3, 10]], [{3: 2}], "attributes[0]: no value for item 10"),
    ]
    for transactions, attributes, message in errors:
        expect_error(message, transactions, 1, constraints=[("sumleq", "[0,4]")],
                     attributes=attributes)


def one_hot(rows, columns):
    return pandas.DataFrame([[c in set(r) for c in columns] for r in rows], columns=columns)


def test_one_hot_frames_of_every_kind_give_the_itemsets_of_their_rows():
    for seed in range(10):
        rows, _, sigma, _ = random_case(seed)
        columns = sorted(set().union(*map(set, rows)), key=str) if rows else []
        name = {c: NAMES[c] for c in columns}
        frame = one_hot([[name[i] for i in r] for r in rows], [name[c] for c in columns])
        expected = by_sets(kestrel.mine([[name[i] for i in r] for r in rows], sigma))
        frames = [frame, frame.astype("int64"), frame.astype("uint8"), frame.astype("boolean"),
                  frame.astype(pandas.SparseDtype(bool, False)),
                  frame.astype(pandas.SparseDtype("int64", 0)),
                  frame.astype(pandas.SparseDtype(bool, True))]
        for f in frames:
            assert by_sets(kestrel.mine(f, sigma)) == expected, (seed, f.dtypes.iloc[0] if len(columns) else None)
        table = kestrel.mine_frame(frame, sigma)
        assert sorted(map(sorted, table["itemsets"])) == sorted(sorted(s) for s, _ in kestrel.mine(frame, sigma))
        assert all(isinstance(s, frozenset) for s in table["itemsets"])
        # Items stand in column order.
        order = {c: j for j, c in enumerate(frame.columns)}
        assert all(list(s) == sorted(s, key=order.get) for s, _ in kestrel.mine(frame, sigma))


def test_empty_frames_and_frame_errors():
    assert kestrel.mine(pandas.DataFrame(), 1) == []
    assert kestrel.mine(pandas.DataFrame(index=range(3)), 1) == [((), 3)]
    assert kestrel.mine(pandas.DataFrame(columns=["a", "b"], dtype=bool), 0.5) == []
    empty = kestrel.mine_frame(pandas.DataFrame(columns=["a"], dtype=bool), 1)
    assert len(empty) == 0 and list(empty.columns) == ["support", "itemsets", "count"]
    # Column names of any hashable kind come back as they are.
    frame = pandas.DataFrame({0: [True, True], "b": [True, False], (1, 2): [False, True]})
    assert by_sets(kestrel.mine(frame, 1)) == by_sets(
        [((), 2), ((0,), 2), (("b",), 1), (((1, 2),), 1), ((0, "b"), 1), ((0, (1, 2)), 1)])
    errors = [
        (pandas.DataFrame({"a": [0, 2]}), "transactions: column 'a' holds 2, not a boolean or 0/1"),
        (pandas.DataFrame({"a": [1, -1]}), "transactions: column 'a' holds -1, not a boolean or 0/1"),
        (pandas.DataFrame({"a": [1.0, 0.0]}), "transactions: column 'a' is not boolean or 0/1 (dtype float64)"),
        (pandas.DataFrame({"a": ["x", "y"]}), "transactions: column 'a' is not boolean or 0/1 (dtype object)"),
        (pandas.DataFrame({"a": pandas.array([True, None], dtype="boolean")}),
         "transactions: column 'a' holds missing values"),
        (pandas.DataFrame([[True, False]], columns=["a", "a"]), "transactions: column 'a' appears twice"),
    ]
    for frame, message in errors:
        expect_error(message, frame, 1)


def test_retail_by_name_gives_the_itemsets_of_its_ids():
    if not os.path.exists(RETAIL):
        pytest.skip(RETAIL + " is absent")
    with gzip.open(RETAIL, "rt") as f:
        rows = [[int(v) for v in line.split()] for line in f]
    names = [[f"i{v}" for v in row] for row in rows]
    ids = kestrel.mine(rows, 200)
    named = kestrel.mine(names, 200)
    assert len(ids) > 100
    assert sorted((sorted(f"i{v}" for v in s), n) for s, n in ids) == sorted((sorted(s), n) for s, n in named)
