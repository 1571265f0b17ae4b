// The Python module "kestrel": kestrel.mine and kestrel.mine_frame over the
// library entry point kestrel::mine (include/kestrel/kestrel.h).
//
// Arguments are checked and converted to a run_description while the GIL is
// held; the run itself goes without the GIL. The itemsets hook only appends to
// C++ vectors (items of every itemset one after the other, sorted ascending, its
// end offset and its support), so no Python object is touched per itemset until
// the run is over and the result list is built in one go. The two hooks that
// need Python take the GIL briefly: stop_requested (once between levels and
// passes) runs the signal handlers, so Ctrl-C stops the run, and report (only
// with progress=True) hands the progress rows to the logger "kestrel".
//
// Items: transactions whose items are all ints in [0, 2^32) are item ids and go
// to the run as they are. Any other hashable item (a str, a negative int, a
// tuple...) makes every item a name: item_numbering numbers them in the order
// they first appear (a one-hot DataFrame's columns in column order), the run
// mines the numbers, and the result is built with the items themselves.
//
// Every value error raises kestrel.KestrelError (a ValueError): the run's own
// errors with the command line's one-line message, argument errors with a
// message naming the argument. Arguments of the wrong type raise TypeError.
#include <Python.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "include/kestrel/kestrel.h"
#include "python/transactions.h"

namespace py = pybind11;
using namespace pybind11::literals;

using namespace kestrel_python;

namespace {

// An optional int argument (None: the default).
template <class T>
void optional_whole(const py::object& o, long long low, long long high, const char* what, T& to) {
  if (!o.is_none()) to = static_cast<T>(to_whole(o.ptr(), low, high, what));
}

bool is_path(const py::handle& o) {
  return PyUnicode_Check(o.ptr()) || PyObject_HasAttrString(o.ptr(), "__fspath__");
}

// A str or os.PathLike as the bytes the operating system sees.
std::string to_path(const py::handle& o) {
  return py::module_::import("os").attr("fsencode")(o).cast<std::string>();
}

// Transactions of a FIMI file: its lines, a final line without a newline
// included. nullopt when the file is not a regular file or cannot be read.
std::optional<std::uint64_t> count_lines(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::vector<char> block(1 << 20);
  std::uint64_t lines = 0;
  char last = '\n';
  std::size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), f)) > 0) {
    lines += static_cast<std::uint64_t>(std::count(block.data(), block.data() + got, '\n'));
    last = block[got - 1];
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return lines + (last != '\n' ? 1 : 0);
}

// The smallest count c with c / n >= fraction in double arithmetic, the same
// division that gives mine_frame's support column: 0.1 of 30 transactions is
// 3, although 0.1 * 30 is slightly above 3 in binary.
std::uint32_t smallest_count_reaching(double fraction, std::uint64_t n) {
  if (n == 0) return 0;
  const double nd = static_cast<double>(n);
  double c = std::ceil(fraction * nd);
  while (c > 0 && (c - 1) / nd >= fraction) c -= 1;
  while (c / nd < fraction) c += 1;
  return static_cast<std::uint32_t>(std::min(c, nd));
}

// Itemsets as the run writes them, gathered without Python.
struct itemset_sink {
  std::vector<std::uint32_t> items;  // every itemset's items, each ascending
  std::vector<std::size_t> ends;     // itemset i is items[ends[i-1], ends[i])
  std::vector<std::uint64_t> supports;

  void add(const std::uint32_t* first, std::size_t n, std::uint64_t support) {
    const std::size_t begin = items.size();
    items.insert(items.end(), first, first + n);
    std::sort(items.begin() + static_cast<std::ptrdiff_t>(begin), items.end());
    ends.push_back(items.size());
    supports.push_back(support);
  }
};

// A Python exception raised inside a hook, kept (with the GIL) until the run
// has unwound; it then replaces the run's "interrupted" error.
class pending_python_error {
 public:
  void keep() { PyErr_Fetch(&type_, &value_, &traceback_); }
  bool set() const { return type_ != nullptr; }
  [[noreturn]] void raise() {
    PyErr_Restore(type_, value_, traceback_);
    type_ = value_ = traceback_ = nullptr;
    throw py::error_already_set();
  }
  ~pending_python_error() {
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(traceback_);
  }

 private:
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
};

// Report text cut into lines for logging.getLogger("kestrel").info.
class progress_logger {
 public:
  progress_logger() : logger_(py::module_::import("logging").attr("getLogger")("kestrel")) {}
  void write(const char* text) {
    buffer_ += text;
    std::size_t start = 0, nl;
    while ((nl = buffer_.find('\n', start)) != std::string::npos) {
      emit(buffer_.substr(start, nl - start));
      start = nl + 1;
    }
    buffer_.erase(0, start);
  }
  void flush() {
    emit(buffer_);
    buffer_.clear();
  }

 private:
  void emit(const std::string& line) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) return;
    logger_.attr("info")(line);
  }
  py::object logger_;
  std::string buffer_;
};

// A fresh directory from tempfile.mkdtemp, removed with its content when the
// run is over.
class private_tmpdir {
 public:
  private_tmpdir()
      : path_(py::module_::import("tempfile")
                  .attr("mkdtemp")("prefix"_a = "kestrel-")
                  .cast<std::string>()) {}
  ~private_tmpdir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The arguments of mine() as a run description. The description points into
// the rows held here, so the value stays where it was built.
struct mine_arguments {
  kestrel::run_description run;
  rows transaction_rows, attribute_rows;
  item_numbering numbering;        // the items, when they are named
  std::optional<double> fraction;  // min_support as a fraction of the transactions
  bool from_file = false;
  mine_arguments() = default;
  mine_arguments(const mine_arguments&) = delete;
  mine_arguments& operator=(const mine_arguments&) = delete;

  // The number the run knows item o by; false when o is not an item of the
  // transactions (an id of a file is taken as it is: its items are not known
  // before the run).
  bool item_number(PyObject* o, std::uint32_t& number, const std::string& what) {
    if (numbering.named()) return numbering.find(o, number, what);
    if (!item_id(o, number)) return false;
    if (from_file) return true;
    const std::vector<std::uint32_t>& ids = occurring_ids();
    return std::binary_search(ids.begin(), ids.end(), number);
  }
  // The ids of the in-memory transactions, ascending (ids not named only).
  const std::vector<std::uint32_t>& occurring_ids() {
    if (!ids_known_) {
      for (const std::vector<std::uint32_t>& row : transaction_rows)
        ids_.insert(ids_.end(), row.begin(), row.end());
      std::sort(ids_.begin(), ids_.end());
      ids_.erase(std::unique(ids_.begin(), ids_.end()), ids_.end());
      ids_known_ = true;
    }
    return ids_;
  }

 private:
  std::vector<std::uint32_t> ids_;
  bool ids_known_ = false;
};

void read_min_support(PyObject* s, mine_arguments& a) {
  if (PyFloat_Check(s)) {
    const double f = PyFloat_AsDouble(s);
    if (!(f > 0 && f <= 1)) value_error("min_support: " + repr(s) + " is not in (0, 1]");
    a.fraction = f;
  } else if (!PyBool_Check(s) && PyIndex_Check(s)) {
    a.run.sigma = static_cast<std::uint32_t>(to_whole(s, 0, 0xFFFFFFFFLL, "min_support"));
  } else {
    throw py::type_error("min_support: " + repr(s) + " is neither an int nor a float");
  }
}

// The parameters of subseteq or supseteq from a list of items: "[<n0>,<n1>,...]"
// of their numbers.
std::string item_list_parameters(const py::handle& list, mine_arguments& a,
                                 const std::string& where) {
  py::object seq = as_sequence(list.ptr(), where, "items");
  std::string text = "[";
  for (Py_ssize_t j = 0; j < PySequence_Fast_GET_SIZE(seq.ptr()); ++j) {
    PyObject* item = PySequence_Fast_GET_ITEM(seq.ptr(), j);
    std::uint32_t number = 0;
    if (!a.item_number(item, number, where))
      value_error(where + ": " + repr(item) + " is not an item of the transactions");
    text += (j == 0 ? "" : ",") + std::to_string(number);
  }
  return text + "]";
}

void read_constraints(const py::object& constraints, mine_arguments& a) {
  for (const py::handle& c : constraints) {
    const std::string where = "constraints[" + std::to_string(a.run.constraints.size()) + "]";
    if (!(PyTuple_Check(c.ptr()) || PyList_Check(c.ptr())) || py::len(c) != 2 ||
        !PyUnicode_Check(c[py::int_(0)].ptr()))
      throw py::type_error(where + " must be a (keyword, parameters) pair, not " + repr(c.ptr()));
    const std::string keyword = c[py::int_(0)].cast<std::string>();
    const py::object parameters = c[py::int_(1)];
    const bool lists_items = keyword == "subseteq" || keyword == "supseteq";
    if (PyUnicode_Check(parameters.ptr())) {
      // Numbers of named items mean nothing to the caller.
      if (lists_items && a.numbering.named())
        value_error(where + ": with named items, " + keyword + " takes a list of items");
      a.run.constraints.push_back({keyword, parameters.cast<std::string>()});
    } else if (lists_items) {
      a.run.constraints.push_back({keyword, item_list_parameters(parameters, a, where)});
    } else {
      throw py::type_error(where + ": the parameters of " + keyword + " must be a str, not " +
                           repr(parameters.ptr()));
    }
  }
}

// An attribute row given as a mapping (a dict, any Mapping, or a pandas
// Series by its index) as a dict; None for any other row.
py::object as_dict(const py::handle& row) {
  if (PyDict_Check(row.ptr())) return py::reinterpret_borrow<py::object>(row);
  if (is_instance_of(row, "pandas", "Series")) return row.attr("to_dict")();
  if (py::isinstance(row, py::module_::import("collections.abc").attr("Mapping")))
    return py::dict(py::reinterpret_borrow<py::object>(row));
  return py::none();
}

// An attribute row {item: value} as values by the run's numbers: every item of
// the transactions needs a value; other keys are not read.
std::vector<std::uint32_t> mapped_row(const py::dict& row, mine_arguments& a,
                                      const std::string& where) {
  std::vector<std::uint32_t> values;
  auto value_of = [&](PyObject* item) {
    PyObject* v = PyDict_GetItemWithError(row.ptr(), item);
    if (v == nullptr) {
      if (PyErr_Occurred()) throw py::error_already_set();
      value_error(where + ": no value for item " + repr(item));
    }
    return static_cast<std::uint32_t>(to_whole(v, 0, 0xFFFFFFFFLL, where));
  };
  if (a.numbering.named()) {
    for (const py::object& item : a.numbering.items()) values.push_back(value_of(item.ptr()));
    return values;
  }
  if (a.from_file)
    value_error(where + ": a mapping needs the transactions in memory (the items of a file "
                        "are not known before the run)");
  const std::vector<std::uint32_t>& ids = a.occurring_ids();
  if (!ids.empty()) values.assign(static_cast<std::size_t>(ids.back()) + 1, 0);
  for (std::uint32_t id : ids) values[id] = value_of(py::int_(id).ptr());
  return values;
}

// attributes: a path, a DataFrame indexed by item (column r = attribute r), or
// rows, each a sequence indexed by item id or a mapping {item: value}.
void read_attributes(const py::object& attributes, mine_arguments& a) {
  if (is_path(attributes)) {
    if (a.numbering.named())
      value_error("attributes: with named items, give mappings {item: value}, not a path");
    a.run.attributes = to_path(attributes);
    return;
  }
  py::object rows_of = attributes;
  if (is_instance_of(attributes, "pandas", "DataFrame")) {
    py::list columns;
    for (const py::handle& name : attributes.attr("columns")) columns.append(attributes[name]);
    rows_of = columns;
  }
  for_each_row(rows_of, "attributes", "ints", [&](const py::object& row, std::size_t r) {
    const std::string where = "attributes[" + std::to_string(r) + "]";
    const py::object mapping = as_dict(row);
    if (!mapping.is_none()) {
      a.attribute_rows.push_back(mapped_row(mapping, a, where));
    } else if (a.numbering.named()) {
      value_error(where + ": with named items, an attribute row must be a mapping {item: value}");
    } else {
      a.attribute_rows.push_back(int_row(row, where));
    }
  });
  a.run.attribute_rows = &a.attribute_rows;
}

// Everything but tmpdir and progress, checked in the order of the signature.
void read_arguments(mine_arguments& a, const py::object& transactions,
                    const py::object& min_support, const py::object& constraints,
                    const py::object& attributes, const py::object& hop, const py::object& preloops,
                    const py::object& threads) {
  a.from_file = is_path(transactions);
  if (a.from_file) {
    a.run.input = to_path(transactions);
  } else {
    a.transaction_rows = is_instance_of(transactions, "pandas", "DataFrame")
                             ? read_one_hot(transactions, a.numbering)
                             : read_transactions(transactions, a.numbering);
    a.run.transactions = &a.transaction_rows;
  }
  read_min_support(min_support.ptr(), a);
  read_constraints(constraints, a);
  if (!attributes.is_none()) read_attributes(attributes, a);
  optional_whole(hop, -2147483648LL, 2147483647LL, "hop", a.run.hop);
  optional_whole(preloops, 0, 0xFFFFFFFFLL, "preloops", a.run.preloops);
  if (!threads.is_none()) {
    const long long n = to_whole(threads.ptr(), -2147483648LL, 0xFFFFFFFFLL, "threads");
    if (n < 1) value_error("threads: " + std::to_string(n) + " must be positive");
    a.run.threads = static_cast<std::uint32_t>(n);
  }
}

// The absolute support of a fractional min_support, counting the transactions
// first: the lines of a file (called without the GIL).
std::uint32_t sigma_after_counting_transactions(const mine_arguments& a) {
  std::uint64_t n = a.transaction_rows.size();
  if (a.from_file) {
    // A file that cannot be opened or read is left to the run, which reports it.
    std::error_code ec;
    const std::optional<std::uint64_t> lines = count_lines(a.run.input);
    if (lines)
      n = *lines;
    else if (std::filesystem::exists(a.run.input, ec) &&
             !std::filesystem::is_directory(a.run.input, ec))
      throw kestrel::run_error(a.run.input +
                               ": a fractional min_support needs a regular file "
                               "(its lines are counted first)");
  }
  return smallest_count_reaching(*a.fraction, n);
}

struct mine_result {
  itemset_sink sink;
  std::uint64_t transactions = 0;
  bool named = false;
  std::vector<py::object> items;  // named: the item of each number
};

mine_result run_mine(const py::object& transactions, const py::object& min_support,
                     const py::object& constraints, const py::object& attributes,
                     const py::object& hop, const py::object& preloops, const py::object& threads,
                     const py::object& tmpdir, bool progress) {
  mine_arguments a;
  read_arguments(a, transactions, min_support, constraints, attributes, hop, preloops, threads);
  std::optional<private_tmpdir> own_tmpdir;
  if (tmpdir.is_none()) {
    own_tmpdir.emplace();
    a.run.tmpdir = own_tmpdir->path();
  } else {
    a.run.tmpdir = to_path(tmpdir);
  }

  mine_result result;
  pending_python_error pending;
  std::optional<progress_logger> logger;
  kestrel::run_hooks hooks;
  hooks.itemsets = [&result](const std::uint32_t* items, std::size_t n, std::uint64_t support) {
    result.sink.add(items, n, support);
  };
  hooks.stop_requested = [&pending]() {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    pending.keep();
    return true;
  };
  if (progress) {
    logger.emplace();
    hooks.report = [&logger, &pending](const char* text) {
      py::gil_scoped_acquire gil;
      try {
        logger->write(text);
      } catch (py::error_already_set& e) {
        e.restore();
        pending.keep();
        throw kestrel::run_error("progress logging failed");
      }
    };
  }
  try {
    py::gil_scoped_release nogil;
    if (a.fraction) a.run.sigma = sigma_after_counting_transactions(a);
    result.transactions = kestrel::mine(a.run, hooks).transactions;
  } catch (...) {
    // A KeyboardInterrupt (or a failed logger) stopped the run: raise that instead.
    if (pending.set()) pending.raise();
    throw;
  }
  if (logger) logger->flush();
  result.named = a.numbering.named();
  result.items = a.numbering.items();
  return result;
}

// Holds a new reference; throws the Python error when creation failed.
py::object checked(PyObject* o) {
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

// Creating millions of tuples would start the cyclic collector again and again;
// nothing built here can form a cycle.
class collector_paused {
 public:
  collector_paused() : was_on_(PyGC_Disable()) {}
  ~collector_paused() {
    if (was_on_) PyGC_Enable();
  }

 private:
  int was_on_;
};

// The gathered itemsets as tuples (as (tuple, support) pairs when
// with_support) or as frozensets: of the items themselves when named, in the
// order of their numbers, else of ascending ids. Item ids repeat a lot, so
// each distinct id becomes one int object shared by every itemset that holds it.
py::list itemset_objects(const mine_result& r, bool frozen, bool with_support) {
  const itemset_sink& sink = r.sink;
  const std::size_t n = sink.ends.size();
  py::list out(n);
  const std::uint32_t largest =
      sink.items.empty() || r.named ? 0 : *std::max_element(sink.items.begin(), sink.items.end());
  std::vector<py::object> ints;
  if (largest < (1u << 24)) ints.resize(static_cast<std::size_t>(largest) + 1);
  auto int_object = [&ints, &r](std::uint32_t id) -> PyObject* {
    if (r.named) return r.items[id].inc_ref().ptr();
    if (ints.empty()) return checked(PyLong_FromUnsignedLong(id)).release().ptr();
    py::object& o = ints[id];
    if (!o) o = checked(PyLong_FromUnsignedLong(id));
    return o.inc_ref().ptr();
  };
  collector_paused paused;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t end = sink.ends[i];
    py::object entry = checked(PyTuple_New(static_cast<Py_ssize_t>(end - begin)));
    for (std::size_t j = begin; j < end; ++j)
      PyTuple_SET_ITEM(entry.ptr(), static_cast<Py_ssize_t>(j - begin), int_object(sink.items[j]));
    if (frozen) entry = checked(PyFrozenSet_New(entry.ptr()));
    if (with_support) {
      py::object support = checked(PyLong_FromUnsignedLongLong(sink.supports[i]));
      py::object pair = checked(PyTuple_New(2));
      PyTuple_SET_ITEM(pair.ptr(), 0, entry.release().ptr());
      PyTuple_SET_ITEM(pair.ptr(), 1, support.release().ptr());
      entry = std::move(pair);
    }
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), entry.release().ptr());
    begin = end;
  }
  return out;
}

py::list mine(const py::object& transactions, const py::object& min_support,
              const py::object& constraints, const py::object& attributes, const py::object& hop,
              const py::object& preloops, const py::object& threads, const py::object& tmpdir,
              bool progress) {
  const mine_result r = run_mine(transactions, min_support, constraints, attributes, hop, preloops,
                                 threads, tmpdir, progress);
  return itemset_objects(r, false, true);
}

py::object mine_frame(const py::object& transactions, const py::object& min_support,
                      const py::object& constraints, const py::object& attributes,
                      const py::object& hop, const py::object& preloops, const py::object& threads,
                      const py::object& tmpdir, bool progress) {
  py::object pandas = py::module_::import("pandas");
  const mine_result r = run_mine(transactions, min_support, constraints, attributes, hop, preloops,
                                 threads, tmpdir, progress);
  const std::size_t n = r.sink.supports.size();
  py::array_t<double> support(static_cast<py::ssize_t>(n));
  py::array_t<std::int64_t> count(static_cast<py::ssize_t>(n));
  double* fractions = support.mutable_data();
  std::int64_t* counts = count.mutable_data();
  for (std::size_t i = 0; i < n; ++i) {
    counts[i] = static_cast<std::int64_t>(r.sink.supports[i]);
    fractions[i] = static_cast<double>(r.sink.supports[i]) / static_cast<double>(r.transactions);
  }
  py::dict columns;
  columns["support"] = support;
  // An empty list alone would make a float column.
  columns["itemsets"] =
      pandas.attr("Series")(itemset_objects(r, true, false), "dtype"_a = "object");
  columns["count"] = count;
  return pandas.attr("DataFrame")(columns);
}

}  // namespace

constexpr const char* MINE_DOC = R"(Mine the frequent itemsets of a transaction database.

transactions: an iterable of iterables of hashable items (an item repeated
    within a transaction counts once); a one-hot pandas DataFrame (one row per
    transaction, one column per item, booleans or 0/1, sparse columns too; its
    items are the column names); or a path (str or os.PathLike) to a FIMI text
    file (one transaction per line, items as decimal ids).
    When every item is an int in [0, 2**32), the items are item ids. Otherwise
    (str, negative ints, tuples, mixed...) every item is a name: items that are
    equal in Python are one item, and items are ordered by first appearance
    (reading the transactions in order; a frame's columns in column order).
min_support: an int, the absolute minimum support (0 and 1 both mean: in at
    least one transaction), or a float in (0, 1], a fraction of the n
    transactions: the smallest count c with c / n >= min_support (n of a file:
    its lines, a final line without a newline included, empty lines too).
constraints: (keyword, parameters) pairs with the command line's texts, e.g.
    [("sumleq", "[0,200]"), ("lenleq", "[3]")]; every one must hold. The
    parameters of "subseteq" and "supseteq" may be a list of items instead,
    e.g. ("supseteq", ["milk"]) (with named items they must be); an item that
    no transaction holds is an error.
attributes: the attribute table of the constraints, row r being attribute r:
    a sequence of rows, each a mapping {item: value} (a dict or a pandas
    Series indexed by item; every item of the transactions needs a value) or,
    with item ids, a sequence whose value j belongs to item j; a pandas
    DataFrame indexed by item (column r is attribute r); or a path to an
    attribute file (item ids only).
hop: levels below hop are counted out of core (default 3).
preloops: n allows n - 1 Winnow passes (0: until stable; default 1).
threads: threads of the in-memory levels, a positive int; None: every
    processor the process may use. The result does not depend on it.
tmpdir: directory of the run's temporary dataset; by default a private
    temporary directory, removed afterwards.
progress: True sends the statistics and progress rows to
    logging.getLogger("kestrel") at level INFO; otherwise nothing is printed.

Returns a list of (itemset, support) pairs: itemset a tuple of items (item
ids in ascending order; named items in their order of first appearance),
support the number of transactions containing it, in the
order the command line writes them (level by level; the empty itemset first
when it qualifies). The items of "supseteq" constraints are in every itemset.

Raises KestrelError (a ValueError) with the command line's one-line message
when the run fails, or naming the argument when an argument has a wrong value;
TypeError for an argument of a wrong type; KeyboardInterrupt when interrupted
(the run stops between levels and removes its temporary files).)";

constexpr const char* MINE_FRAME_DOC = R"(Mine like mine() and return a pandas DataFrame.

Same arguments as mine(). One row per itemset, in mine()'s order, with the
columns "support" (float64: the fraction of transactions containing it),
"itemsets" (frozenset of items) and "count" (int64: the absolute support),
the layout association-rule code expects.)";

PYBIND11_MODULE(kestrel, m) {
  m.doc() =
      "KESTREL's frequent itemset miner: mine() returns a list of (itemset, support) pairs,\n"
      "mine_frame() a pandas DataFrame. Errors raise KestrelError.";
  m.attr("__version__") = KESTREL_VERSION;
  py::register_exception<kestrel::run_error>(m, "KestrelError", PyExc_ValueError);
  m.attr("KestrelError").attr("__doc__") =
      "A run or an argument failed; str() is the one-line message (a ValueError).";
  auto args = [](auto f, const char* name, const char* doc, py::module_& module) {
    module.def(name, f, doc, py::arg("transactions"), py::arg("min_support"), py::kw_only(),
               py::arg("constraints") = py::tuple(), py::arg("attributes") = py::none(),
               py::arg("hop") = py::none(), py::arg("preloops") = py::none(),
               py::arg("threads") = py::none(), py::arg("tmpdir") = py::none(),
               py::arg("progress") = false);
  };
  args(&mine, "mine", MINE_DOC, m);
  args(&mine_frame, "mine_frame", MINE_FRAME_DOC, m);
}
