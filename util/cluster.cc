#include "util/cluster.h"

#include <new>
#include <stdexcept>

#include "util/error.h"

std::string failure_message(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const run_error& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return std::string("internal error: ") + e.what();
  } catch (...) {
    return "internal error: unknown exception";
  }
}
