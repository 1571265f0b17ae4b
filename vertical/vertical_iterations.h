// Levels k >= 3 of the vertical phase: each call builds level k into `next` from
// `previous` by intersecting bit-vectors, appends it to the output file and
// prints one progress row ("zaxd", "zaxs" or "zaxdk"). No row is printed when
// the previous level offers no pair to join.
// T is the dense item type, T1 the support type.
#pragma once

#include "constraints/constraint.h"
#include "dataset/items.h"
#include "engine/itemset_store.h"
#include "vertical/vertical_dataset.h"

template <class T, class T1>
void ZAX_iter_compact(int k, zax_items& items, set_of_frequents<T, T1>& previous,
                      set_of_frequents<T, T1>& next, ZAX_vertical_dataset<T>& vd,
                      GLOBAL_TABLE_K<T>& table);
template <class T, class T1>
void ZAX_iter_diffuse(int k, zax_items& items, set_of_frequents<T, T1>& previous,
                      set_of_frequents<T, T1>& next, ZAX_vertical_dataset<T>& vd,
                      GLOBAL_TABLE_K<T>& table);
template <class T, class T1>
void ZAX_iter_compact_key(int k, zax_items& items, set_of_frequents<T, T1>& previous,
                          set_of_frequents<T, T1>& next, ZAX_vertical_dataset<T>& vd,
                          GLOBAL_TABLE_K<T>& table);
