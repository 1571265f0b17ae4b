"""Tests of the Python module kestrel: results against a brute-force miner and
the command line, the argument conversions, every error with its message."""
import logging
import math
import os
import random
import signal
import subprocess
import tempfile
import threading

import pytest

import kestrel
import reference

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def random_case(seed, largest_id=15):
    rng = random.Random(seed)
    items = rng.sample(range(16), rng.randint(1, 9))
    if largest_id > 15:
        items[0] = largest_id  # ids are input ids, not positions
    rows = []
    for _ in range(rng.randint(0, 30)):
        row = [i for i in items if rng.random() < 0.45]
        if row and rng.random() < 0.2:
            row.append(row[0])  # a repeated item counts once
        rng.shuffle(row)
        rows.append(row)
    attributes = [[rng.randint(0, 12) for _ in range(16)] for _ in range(2)]
    return rows, attributes, rng.randint(0, 4), rng


CONSTRAINT_FAMILIES = [
    [],
    [("sumleq", "[0,20]")],
    [("lenleq", "[2]")],
    [("supseteq", "[3]")],
    [("supseteq", "[1,3]"), ("sumgeq", "[1,10]")],
    [("avgleq2", "[0,6]"), ("lengeq", "[2]")],
    [("maxleq", "[1,7]"), ("sumleq", "[0,25]")],
]


@pytest.mark.parametrize("constraints", CONSTRAINT_FAMILIES, ids=lambda c: repr(c))
def test_random_cases_match_the_brute_force_miner(constraints):
    for seed in range(40):
        # Without constraints, ids up to 2**32 - 1 too: they come back unchanged.
        largest_id = 2**32 - 1 if not constraints and seed % 2 else 15
        rows, attributes, sigma, rng = random_case(seed, largest_id)
        options = dict(hop=rng.choice([None, 1, 2, 5]), preloops=rng.choice([None, 0, 3]))
        got = kestrel.mine(rows, sigma, constraints=constraints, attributes=attributes, **options)
        assert all(list(s) == sorted(set(s)) for s, _ in got), (seed, got)
        assert sorted(got) == reference.mine(rows, sigma, constraints, attributes), (seed, options)


def expect_error(message, *arguments, error=None, **keywords):
    """kestrel.mine(*arguments, **keywords) raises error (KestrelError) with message."""
    with pytest.raises(error or kestrel.KestrelError) as raised:
        kestrel.mine(*arguments, **keywords)
    assert str(raised.value) == message


def write(path, text):
    with open(path, "w") as f:
        f.write(text)
    return path


def test_a_path_gives_what_the_same_rows_in_memory_give(tmp_path):
    rows, attributes, _, _ = random_case(7)
    # Separators the reader accepts, an empty line, no newline after the last line.
    lines = [", ".join(map(str, r)) if k % 2 else "\t".join(map(str, r)) for k, r in enumerate(rows)]
    data = write(tmp_path / "data.dat", "\n".join(lines + [""] + ["1 2"]))
    attrs = write(tmp_path / "attrs.txt", "\n".join(" ".join(map(str, a)) for a in attributes) + "\n")
    for constraints in CONSTRAINT_FAMILIES[:3]:
        in_memory = kestrel.mine(rows + [[], [1, 2]], 1, constraints=constraints, attributes=attributes)
        assert kestrel.mine(data, 1, constraints=constraints, attributes=attrs) == in_memory
        assert kestrel.mine(str(data), 1, constraints=constraints, attributes=str(attrs)) == in_memory


def test_rows_may_be_any_iterables_of_ints():
    numpy = pytest.importorskip("numpy")
    rows = [[1, 2, 3], [2, 3], [3, 1]]
    expected = kestrel.mine(rows, 2)
    assert kestrel.mine((tuple(r) for r in rows), 2) == expected
    assert kestrel.mine([numpy.array(r, dtype=numpy.int64) for r in rows], 2) == expected
    assert kestrel.mine([set(r) for r in rows], numpy.int32(2)) == expected


def staircase(n):
    """n transactions; item j (1..n) is in the first j of them, so support j."""
    return [[j for j in range(1, n + 1) if j > t] for t in range(n)]


@pytest.mark.parametrize("n, fraction, sigma", [
    (30, 0.1, 3),  # 0.1 * 30 is a little above 3 in binary
    (7, 0.5, 4),  # rounded up
    (10, 1.0, 10),
    (10, 1e-9, 1),
    (3, 1 / 3, 1),
    (3, 2 / 3, 2),
    (100, 0.29, 29),
])
def test_a_fraction_is_the_smallest_count_reaching_it(n, fraction, sigma):
    singletons = [s[0] for s, _ in kestrel.mine(staircase(n), fraction, constraints=[("lenleq", "[1]")]) if s]
    assert min(singletons) == sigma


def test_a_fraction_of_a_file_counts_every_line(tmp_path):
    # 8 transactions of the staircase, 2 empty lines, the last line without newline: 10 lines.
    lines = [" ".join(map(str, r)) for r in staircase(8)]
    path = write(tmp_path / "d.dat", "\n".join(lines[:4] + ["", ""] + lines[4:]))
    got = kestrel.mine(path, 0.5, constraints=[("lenleq", "[1]")])
    assert min(s[0] for s, _ in got if s) == 5
    assert got[0] == ((), 10)


ERRORS = [
    # The run's own errors: the command line's messages.
    (dict(constraints=[("nosuch", "[1]")]), " ... Error in constraints!"),
    (dict(constraints=[("sumleq", "[0")]), 'sumleq: malformed parameters "[0"'),
    (dict(constraints=[("sumleq", "[0,5]")]), "attributes option missing: a constraint needs attribute 0"),
    (dict(constraints=[("sumleq", "[1,5]")], attributes=[[1, 1, 1, 1]]),
     "attribute rows: attribute line 1 is missing"),
    (dict(constraints=[("sumleq", "[0,5]")], attributes=[[1, 1]]),
     "attribute rows: attribute line 0 has 2 values, item 2 needs one"),
    (dict(constraints=[("sumleq", "[0,5]")], attributes="/nonexistent/a.txt"),
     "/nonexistent/a.txt could not be opened!"),
    (dict(tmpdir="/nonexistent/dir"), 'tmpdir: "/nonexistent/dir" is not a writable directory'),
    # Argument values.
    (dict(attributes=[[1, -1]]), "attributes[0]: -1 must not be negative"),
    (dict(min_support=0.0), "min_support: 0.0 is not in (0, 1]"),
    (dict(min_support=1.5), "min_support: 1.5 is not in (0, 1]"),
    (dict(min_support=math.nan), "min_support: nan is not in (0, 1]"),
    (dict(min_support=-1), "min_support: -1 must not be negative"),
    (dict(min_support=2**32), "min_support: 4294967296 does not fit 32 bits"),
    (dict(hop=2**31), "hop: 2147483648 does not fit 32 bits"),
    (dict(preloops=-1), "preloops: -1 must not be negative"),
    (dict(threads=0), "threads: 0 must be positive"),
    (dict(threads=-3), "threads: -3 must be positive"),
    (dict(transactions="/dev/null", min_support=0.5),
     "/dev/null: a fractional min_support needs a regular file (its lines are counted first)"),
]


TYPE_ERRORS = [
    (dict(min_support="5"), "min_support: '5' is neither an int nor a float"),
    (dict(min_support=True), "min_support: True is neither an int nor a float"),
    (dict(transactions=5), "transactions must be a path or an iterable of iterables of items"),
    (dict(transactions=[5]), "transactions[0] must be an iterable of items, not 5"),
    (dict(transactions=["12"]), "transactions[0] must be an iterable of items, not '12'"),
    (dict(transactions=[[1], [2, [3]]]), "transactions[1]: [3] is not hashable"),
    (dict(transactions=[["a"], [{}]]), "transactions[1]: {} is not hashable"),
    (dict(constraints=[("sumleq",)]), "constraints[0] must be a (keyword, parameters) pair, not ('sumleq',)"),
    (dict(constraints=("lenleq", "[2]")), "constraints[0] must be a (keyword, parameters) pair, not 'lenleq'"),
    (dict(constraints=[("lenleq", [2])]), "constraints[0]: the parameters of lenleq must be a str, not [2]"),
    (dict(constraints=[("supseteq", 2)]), "constraints[0] must be an iterable of items, not 2"),
    (dict(hop=1.5), "hop: 1.5 is not an int"),
    (dict(threads=True), "threads: True is not an int"),
]


# KestrelError is a ValueError; the wrong types raise TypeError.
BAD_ARGUMENTS = [(a, m, kestrel.KestrelError) for a, m in ERRORS] + \
    [(a, m, TypeError) for a, m in TYPE_ERRORS]


@pytest.mark.parametrize("arguments, message, error", BAD_ARGUMENTS,
                         ids=lambda v: v if isinstance(v, str) else None)
def test_bad_arguments_raise_their_error_with_their_message(arguments, message, error, tmp_path,
                                                            monkeypatch):
    assert issubclass(kestrel.KestrelError, ValueError)
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path))
    call = dict(transactions=[[1, 2, 3], [1, 3]], min_support=1)
    call.update(arguments)
    expect_error(message, call.pop("transactions"), call.pop("min_support"), error=error, **call)
    assert os.listdir(tmp_path) == []  # the private temporary directory is gone


def test_errors_in_input_files_carry_the_file_and_line(tmp_path):
    bad = write(tmp_path / "bad.dat", "1 2\n3 -4\n")
    expect_error("ERROR: Cannot open input file!", str(tmp_path / "missing.dat"), 1)
    expect_error(str(tmp_path) + " could not be read!", str(tmp_path), 1)
    expect_error(str(bad) + ":2: minus sign before a number", bad, 1)


def test_the_frame_has_support_itemsets_and_count():
    rows = [[1, 2], [1, 2, 3], [2], [3, 1]]
    frame = kestrel.mine_frame(rows, 2)
    assert list(frame.columns) == ["support", "itemsets", "count"]
    assert [str(t) for t in frame.dtypes] == ["float64", "object", "int64"]
    assert sorted((tuple(sorted(s)), c) for s, c in zip(frame["itemsets"], frame["count"])) == \
        sorted(kestrel.mine(rows, 2))
    assert all(isinstance(s, frozenset) for s in frame["itemsets"])
    assert list(frame["support"]) == [c / 4 for c in frame["count"]]
    # Association-rule code looks supports up by frozenset.
    support = dict(zip(frame["itemsets"], frame["support"]))
    assert support[frozenset({1, 2})] / support[frozenset({1})] == pytest.approx(2 / 3)
    empty = kestrel.mine_frame(rows, 5)
    assert len(empty) == 0 and [str(t) for t in empty.dtypes] == ["float64", "object", "int64"]


def test_runs_in_threads_and_one_after_another_give_their_own_results():
    # Each run under constraints of its own: nothing of one may stay for the next.
    cases = [random_case(seed) + (CONSTRAINT_FAMILIES[1 + seed],) for seed in range(4)]
    expected = [reference.mine(rows, sigma, constraints, attributes)
                for rows, attributes, sigma, _, constraints in cases]
    results = [None] * len(cases)

    def run(k, threads=None):
        rows, attributes, sigma, _, constraints = cases[k]
        results[k] = sorted(kestrel.mine(rows, sigma, constraints=constraints,
                                         attributes=attributes, threads=threads))

    threads = [threading.Thread(target=run, args=(k,)) for k in range(len(cases))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == expected
    # In one thread, each run with its own number of threads (which changes nothing).
    results = [None] * len(cases)
    for k, threads in enumerate((None, 1, 2, 64)):
        run(k, threads)
    assert results == expected


def test_nothing_is_printed_and_progress_goes_to_the_logger(capfd, caplog):
    rows = staircase(6)
    with caplog.at_level(logging.INFO, logger="kestrel"):
        kestrel.mine(rows, 2)
        assert caplog.records == []
        kestrel.mine(rows, 2, progress=True)
    assert capfd.readouterr() == ("", "")
    lines = [r.getMessage() for r in caplog.records]
    assert all(r.name == "kestrel" and r.levelno == logging.INFO for r in caplog.records)
    assert any("Total time" in line for line in lines), lines
    assert all(line.strip() and "\n" not in line for line in lines)


def test_the_temporary_dataset_goes_to_tmpdir_or_a_private_directory(tmp_path, monkeypatch):
    own = tmp_path / "own"
    own.mkdir()
    private = tmp_path / "private"
    private.mkdir()
    monkeypatch.setattr(tempfile, "tempdir", str(private))
    monkeypatch.chdir(tmp_path)
    expected = kestrel.mine(staircase(5), 1)
    assert kestrel.mine(staircase(5), 1, tmpdir=own) == expected
    assert os.listdir(own) == [] and os.listdir(private) == []
    assert sorted(os.listdir(tmp_path)) == ["own", "private"]


def parse_cli_output(path):
    out = []
    with open(path) as f:
        for line in f:
            items, support = line.rsplit("(", 1)
            out.append((tuple(sorted(int(i) for i in items.split())), int(support.rstrip(")\n"))))
    return out


@pytest.mark.parametrize("options", [
    ["sigma", "40"],
    ["sigma", "25", "attributes", "prices.txt", "sumleq", "[0,200]", "supseteq", "[3]"],
    ["sigma", "20", "attributes", "prices.txt", "avgleq2", "[0,60]", "hop", "2"],
])
def test_the_example_gives_what_the_command_line_gives(options, tmp_path):
    binary = os.environ.get("KESTREL_BIN")
    if not binary:
        pytest.skip("KESTREL_BIN (the command-line program) is not set")
    binary = os.path.abspath(binary)  # the run's working directory is tmp_path
    examples = os.path.join(ROOT, "examples")
    out = tmp_path / "out.txt"
    args = [binary, "input", os.path.join(examples, "basket.dat"), "output", str(out)]
    args += [os.path.join(examples, o) if o == "prices.txt" else o for o in options]
    subprocess.run(args, cwd=tmp_path, check=True, stdout=subprocess.DEVNULL)
    keywords = dict(zip(options[::2], options[1::2]))
    constraints = [(k, v) for k, v in zip(options[::2], options[1::2])
                   if k not in ("sigma", "attributes", "hop")]
    got = kestrel.mine(os.path.join(examples, "basket.dat"), int(keywords["sigma"]),
                       constraints=constraints,
                       attributes=os.path.join(examples, "prices.txt") if "attributes" in keywords else None,
                       hop=int(keywords["hop"]) if "hop" in keywords else None)
    assert got == parse_cli_output(out)


def test_ctrl_c_stops_the_run_between_levels(tmp_path, monkeypatch):
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path))
    rng = random.Random(1)
    # Seconds of levels and no itemset to hand back, so the interrupt lands
    # while levels are mined.
    rows = [[i for i in range(40) if rng.random() < 0.8] for _ in range(200)]
    # A runner started in the background inherits SIGINT ignored, and Python
    # then installs no handler: the interrupt would never reach the run.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    # The interrupt is sent once the run has written its temporary dataset, so
    # it lands inside the run, however fast the machine; no Python code runs
    # there, so only the run's own stop check can raise it.
    over = threading.Event()

    def interrupt_inside_the_run():
        while not over.wait(0.001):
            if any("dataset.tmp" in files for _, _, files in os.walk(tmp_path)):
                os.kill(os.getpid(), signal.SIGINT)
                return

    sender = threading.Thread(target=interrupt_inside_the_run)
    sender.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            kestrel.mine(rows, 40, constraints=[("lengeq", "[30]")])
    finally:
        over.set()
        sender.join()
        signal.signal(signal.SIGINT, previous)
    assert os.listdir(tmp_path) == []
    # The next run starts afresh; itemsets come level by level, the empty one first.
    assert kestrel.mine(staircase(4), 2) == [((), 4), ((2,), 2), ((3,), 3), ((4,), 4), ((2, 3), 2),
                                             ((2, 4), 2), ((3, 4), 3), ((2, 3, 4), 2)]


def test_an_exception_in_a_log_handler_stops_the_run_and_is_raised(tmp_path, monkeypatch, caplog):
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path))

    def refuse(record):
        raise RuntimeError("no logging today")

    logger = logging.getLogger("kestrel")
    logger.addFilter(refuse)
    try:
        with caplog.at_level(logging.INFO, logger="kestrel"), pytest.raises(RuntimeError, match="no logging today"):
            kestrel.mine(staircase(5), 1, progress=True)
    finally:
        logger.removeFilter(refuse)
    assert os.listdir(tmp_path) == []


def test_the_version_is_the_one_cmake_sets():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        text = f.read()
    start = text.index("project(kestrel VERSION ") + len("project(kestrel VERSION ")
    assert kestrel.__version__ == text[start:text.index(" ", start)]
