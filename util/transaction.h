// One transaction as a pass hands it around and as every constraint hook sees
// it: length items at items[0..length), stored by the caller.
//
// A hook may only shrink length: it keeps a prefix, or moves the items it
// keeps to the front; length 0 drops the transaction. T is the item type:
// input ids (uint32_t) in the first scan and the Winnow passes, dense ids
// (uint8_t, uint16_t or uint32_t, strictly ascending) in the engine.
#pragma once

#include <cstdint>
#include <vector>

template <class T>
struct transaction_view {
  T* items = nullptr;
  std::uint32_t length = 0;
};

// A view of the whole vector; the caller resizes the vector to the view's
// length when the hooks are done.
template <class T>
transaction_view<T> view_of(std::vector<T>& items) {
  return {items.data(), static_cast<std::uint32_t>(items.size())};
}
