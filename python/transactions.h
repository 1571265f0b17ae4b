// Transactions and attribute rows from Python objects: lists (or any
// iterables) of items, and one-hot DataFrames, read into item numbers for the
// run. Items are int ids while every item read is one; item_numbering numbers
// any other hashable items in the order they first appear.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel_python {

namespace py = pybind11;

using rows = std::vector<std::vector<std::uint32_t>>;

// Raises KestrelError (kestrel::run_error) with the message.
[[noreturn]] void value_error(const std::string& message);

std::string repr(PyObject* o);

// Reads a Python int (or anything with __index__, e.g. a numpy integer, but no
// bool) into [low, high]; `what` names it in the messages.
long long to_whole(PyObject* o, long long low, long long high, const std::string& what);

// An int item id in [0, 2^32) (an int, or anything with __index__ but a
// bool), without raising: false for anything else.
bool item_id(PyObject* o, std::uint32_t& id);

// The items of in-memory transactions. While every item read is an int id the
// numbering is off (ids are their own numbers); the first other item turns it
// on for all of them.
class item_numbering {
 public:
  bool named() const { return named_; }
  // The items by number (named only).
  const std::vector<py::object>& items() const { return items_; }

  // Turns naming on: the ids in rows so far become numbers in the order they
  // appear there.
  void start_naming(rows& so_far, const std::string& what) {
    named_ = true;
    for (std::vector<std::uint32_t>& row : so_far)
      for (std::uint32_t& v : row) v = number_of(checked_int(v).ptr(), what);
  }
  // The number of item o, given a new one when o is new.
  std::uint32_t number_of(PyObject* o, const std::string& what) {
    PyObject* found = PyDict_GetItemWithError(numbers_.ptr(), o);
    if (found != nullptr) return static_cast<std::uint32_t>(PyLong_AsUnsignedLong(found));
    if (PyErr_Occurred()) unhashable(o, what);
    if (items_.size() == 0xFFFFFFFFu) value_error(what + ": more than 2^32-1 distinct items");
    const auto n = static_cast<std::uint32_t>(items_.size());
    py::object number = checked_int(n);
    if (PyDict_SetItem(numbers_.ptr(), o, number.ptr()) != 0) throw py::error_already_set();
    items_.push_back(py::reinterpret_borrow<py::object>(o));
    return n;
  }
  // The number of item o; false when the transactions do not hold it.
  bool find(PyObject* o, std::uint32_t& number, const std::string& what) const {
    PyObject* found = PyDict_GetItemWithError(numbers_.ptr(), o);
    if (found == nullptr) {
      if (PyErr_Occurred()) unhashable(o, what);
      return false;
    }
    number = static_cast<std::uint32_t>(PyLong_AsUnsignedLong(found));
    return true;
  }

 private:
  static py::object checked_int(std::uint32_t v) {
    PyObject* o = PyLong_FromUnsignedLong(v);
    if (o == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
  }
  [[noreturn]] static void unhashable(PyObject* o, const std::string& what) {
    PyErr_Clear();
    throw py::type_error(what + ": " + repr(o) + " is not hashable");
  }
  bool named_ = false;
  py::dict numbers_;  // item -> its number
  std::vector<py::object> items_;
};

// A list or tuple is read in place; any other iterable is first made a list.
// A str or bytes is refused: its characters are not meant as items.
py::object as_sequence(PyObject* row, const std::string& where, const char* of_what);

// Calls f(row, r) for each row of an iterable; `what` names it in the messages.
template <class F>
void for_each_row(const py::handle& outer, const std::string& what, const char* of_what, F&& f) {
  py::object it = py::reinterpret_steal<py::object>(PyObject_GetIter(outer.ptr()));
  if (!it) {
    PyErr_Clear();
    throw py::type_error(what + " must be a path or an iterable of iterables of " + of_what);
  }
  for (std::size_t r = 0;; ++r) {
    py::object row = py::reinterpret_steal<py::object>(PyIter_Next(it.ptr()));
    if (!row) {
      if (PyErr_Occurred()) throw py::error_already_set();
      break;
    }
    f(row, r);
  }
}

// Transactions from an iterable of iterables of items (see item_numbering).
rows read_transactions(const py::handle& outer, item_numbering& numbering);

// An attribute row of non-negative 32-bit ints, indexed by item id.
std::vector<std::uint32_t> int_row(const py::object& row, const std::string& where);

// Whether o is an instance of class `name` of module `module`; false when the
// module is not loaded (a caller who passes a DataFrame has loaded pandas).
bool is_instance_of(const py::handle& o, const char* module, const char* name);

// Transactions of a one-hot DataFrame: one row per transaction, one column
// per item, read column by column as arrays. The items are the column names.
rows read_one_hot(const py::object& frame, item_numbering& numbering);

}  // namespace kestrel_python
