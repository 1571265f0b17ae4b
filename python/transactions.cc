#include "python/transactions.h"

#include <pybind11/numpy.h>

#include <cstring>
#include <utility>

#include "include/kestrel/kestrel.h"

namespace kestrel_python {

using namespace pybind11::literals;

[[noreturn]] void value_error(const std::string& message) { throw kestrel::run_error(message); }

std::string repr(PyObject* o) { return py::repr(py::handle(o)).cast<std::string>(); }

long long to_whole(PyObject* o, long long low, long long high, const std::string& what) {
  if (PyBool_Check(o) || PyFloat_Check(o) || !PyIndex_Check(o))
    throw py::type_error(what + ": " + repr(o) + " is not an int");
  py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(o));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  const std::string text = repr(index.ptr());
  if (low == 0 && (overflow < 0 || (overflow == 0 && v < 0)))
    value_error(what + ": " + text + " must not be negative");
  if (overflow != 0 || v < low || v > high)
    value_error(what + ": " + text + " does not fit 32 bits");
  return v;
}

bool item_id(PyObject* o, std::uint32_t& id) {
  // Small exact ints are the common case: no __index__ call, no new object.
  if (PyLong_CheckExact(o)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (overflow != 0 || v < 0 || v > 0xFFFFFFFFLL) return false;
    id = static_cast<std::uint32_t>(v);
    return true;
  }
  if (PyBool_Check(o) || PyFloat_Check(o) || !PyIndex_Check(o)) return false;
  py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(o));
  if (!index) throw py::error_already_set();
  return item_id(index.ptr(), id);
}

py::object as_sequence(PyObject* row, const std::string& where, const char* of_what) {
  const std::string refused = where + " must be an iterable of " + of_what + ", not " + repr(row);
  if (PyUnicode_Check(row) || PyBytes_Check(row)) throw py::type_error(refused);
  py::object seq = py::reinterpret_steal<py::object>(PySequence_Fast(row, ""));
  if (!seq) {
    PyErr_Clear();
    throw py::type_error(refused);
  }
  return seq;
}

rows read_transactions(const py::handle& outer, item_numbering& numbering) {
  rows out;
  for_each_row(outer, "transactions", "items", [&](const py::object& row, std::size_t r) {
    const std::string where = "transactions[" + std::to_string(r) + "]";
    py::object seq = as_sequence(row.ptr(), where, "items");
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
    PyObject** items = PySequence_Fast_ITEMS(seq.ptr());
    std::vector<std::uint32_t> values(static_cast<std::size_t>(n));
    Py_ssize_t j = 0;
    if (!numbering.named()) {
      while (j < n && item_id(items[j], values[static_cast<std::size_t>(j)])) ++j;
      if (j < n) {
        numbering.start_naming(out, where);
        j = 0;
      }
    }
    for (; j < n; ++j) values[static_cast<std::size_t>(j)] = numbering.number_of(items[j], where);
    out.push_back(std::move(values));
  });
  return out;
}

std::vector<std::uint32_t> int_row(const py::object& row, const std::string& where) {
  py::object seq = as_sequence(row.ptr(), where, "ints");
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
  PyObject** items = PySequence_Fast_ITEMS(seq.ptr());
  std::vector<std::uint32_t> values(static_cast<std::size_t>(n));
  for (Py_ssize_t j = 0; j < n; ++j)
    if (!item_id(items[j], values[static_cast<std::size_t>(j)]))
      values[static_cast<std::size_t>(j)] =
          static_cast<std::uint32_t>(to_whole(items[j], 0, 0xFFFFFFFFLL, where));
  return values;
}

namespace {

// The class `name` of module `module` when the module is loaded (a caller who
// passes a DataFrame has loaded pandas), else None.
py::object loaded_class(const char* module, const char* name) {
  PyObject* m = PyDict_GetItemString(PyImport_GetModuleDict(), module);
  if (m == nullptr) return py::none();
  return py::reinterpret_borrow<py::object>(m).attr(name);
}

}  // namespace

bool is_instance_of(const py::handle& o, const char* module, const char* name) {
  const py::object type = loaded_class(module, name);
  return !type.is_none() && py::isinstance(o, type);
}

namespace {

// Marks the rows of a one-hot column that hold true: row positions[k] (k
// itself without positions) for each true values[k].
template <class T>
void mark_true_rows(const py::array& values, const std::int64_t* positions, std::uint32_t item,
                    rows& out, const std::string& where) {
  const auto a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(values);
  if (!a) throw py::error_already_set();
  const T* v = a.data();
  const py::ssize_t n = a.size();
  for (py::ssize_t k = 0; k < n; ++k) {
    // One-hot columns are mostly false: eight bytes at a time are skipped
    // while they are all zero (T10I4D100K's frame read in a third of the time).
    if constexpr (sizeof(T) == 1) {
      std::uint64_t word = 0;
      while (k + 8 <= n && (std::memcpy(&word, v + k, 8), word == 0)) k += 8;
      if (k == n) break;
    }
    if (v[k] == 0) continue;
    if (v[k] != 1)
      value_error(where + " holds " + std::to_string(v[k]) + ", not a boolean or 0/1");
    out[static_cast<std::size_t>(positions != nullptr ? positions[k] : k)].push_back(item);
  }
}

// The true rows of one column of a one-hot frame: booleans or integers 0/1,
// numpy, pandas' nullable or sparse (read by its stored entries when it fills
// with 0 or False).
void read_one_hot_column(const py::object& column, std::uint32_t item, rows& out,
                         const std::string& where) {
  py::object dtype = column.attr("dtype");
  py::object values, positions;  // unset: a dense column
  if (is_instance_of(dtype, "pandas", "SparseDtype") &&
      py::object(column.attr("array").attr("fill_value")).equal(py::int_(0))) {
    py::object sparse = column.attr("array");
    values = sparse.attr("sp_values");
    positions = sparse.attr("sp_index").attr("indices");
    dtype = values.attr("dtype");
  }
  const std::string kind = dtype.attr("kind").cast<std::string>();
  const char* as = kind == "b" ? "bool" : kind == "i" ? "int64" : kind == "u" ? "uint64" : nullptr;
  if (as == nullptr)
    value_error(where + " is not boolean or 0/1 (dtype " + py::str(dtype).cast<std::string>() + ")");
  if (!values) {
    try {
      values = column.attr("to_numpy")("dtype"_a = as);
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_ValueError) && !e.matches(PyExc_TypeError)) throw;
      value_error(where + " holds missing values");
    }
  }
  py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> at;
  if (positions) at = decltype(at)::ensure(positions);
  const std::int64_t* p = positions ? at.data() : nullptr;
  if (kind == "b")
    mark_true_rows<bool>(values, p, item, out, where);
  else if (kind == "i")
    mark_true_rows<std::int64_t>(values, p, item, out, where);
  else
    mark_true_rows<std::uint64_t>(values, p, item, out, where);
}

}  // namespace

rows read_one_hot(const py::object& frame, item_numbering& numbering) {
  rows out(py::len(frame));
  numbering.start_naming(out, "transactions");
  py::object by_position = frame.attr("iloc");
  const py::list names(frame.attr("columns"));
  for (std::size_t j = 0; j < names.size(); ++j) {
    const std::string where = "transactions: column " + repr(names[j].ptr());
    if (numbering.number_of(names[j].ptr(), where) != j) value_error(where + " appears twice");
    py::object all_rows = py::reinterpret_steal<py::object>(PySlice_New(nullptr, nullptr, nullptr));
    py::object column = by_position[py::make_tuple(all_rows, j)];
    read_one_hot_column(column, static_cast<std::uint32_t>(j), out, where);
  }
  return out;
}
}  // namespace kestrel_python
