// The keyword registry, the run-wide constraint tables and the typed tables.
//
// GLOBAL_TABLE holds one prototype per keyword, in the registry's fixed row
// order (the usage screen lists them in that order). It is built by a static
// initialiser before main; prototypes are never destroyed.
#include <algorithm>
#include <cstdint>

#include "constraints/anti_monotone.h"
#include "constraints/constraint.h"
#include "constraints/convertible.h"
#include "constraints/front_end.h"
#include "constraints/loose.h"
#include "constraints/monotone.h"
#include "constraints/spread.h"
#include "constraints/succinct.h"
#include "constraints/variance.h"

namespace {

// Keeps every prototype reachable until the process ends (they are never
// destroyed, and a leak checker must not report them).
Constraint<std::uint32_t>* g_prototypes[35];
unsigned g_n_prototypes = 0;

template <class C>
Constraint<std::uint32_t>* prototype(const char* keyword) {
  Constraint<std::uint32_t>* c = new C;
  if (g_n_prototypes < 35) g_prototypes[g_n_prototypes++] = c;
  c->label = keyword;
  c->attribute = -1;
  return c;
}

std::vector<Constraint<std::uint32_t>*> make_registry() {
  using U = std::uint32_t;
  return {
      prototype<SUBSETEQ<U>>("subseteq"),        prototype<SUPSETEQMON<U>>("supseteq"),
      prototype<ASUBSETEQ<U>>("asubseteq"),      prototype<ASUPSETEQ<U>>("asupseteq"),
      prototype<MINGEQ<U>>("mingeq"),            prototype<MAXLEQ<U>>("maxleq"),
      prototype<LENGEQ<U>>("lengeq"),            prototype<LENLEQ<U>>("lenleq"),
      prototype<SUMGEQ<U>>("sumgeq"),            prototype<SUMLEQ<U>>("sumleq"),
      prototype<RANGELEQLAM<U>>("rangeleq"),     prototype<VARLEQ<U>>("varleq"),
      prototype<VARGEQ<U>>("vargeq"),            prototype<STDLEQ<U>>("stdleq"),
      prototype<STDGEQ<U>>("stdgeq"),            prototype<SPVLEQ<U>>("spvleq"),
      prototype<SPVGEQ<U>>("spvgeq"),            prototype<MDLEQ<U>>("mdleq"),
      prototype<MDGEQ<U>>("mdgeq"),              prototype<AVGLEQLAM<U>>("avgleq"),
      prototype<AVGGEQLAM<U>>("avggeq"),         prototype<MEDGEQLAM<U>>("medgeq"),
      prototype<MEDLEQLAM<U>>("medleq"),         prototype<RANGEGEQLAM<U>>("rangegeq"),
      prototype<MINLEQLAM<U>>("minleq"),         prototype<MAXGEQLAM<U>>("maxgeq"),
      prototype<AVGGEQ<U>>("avggeq2"),           prototype<AVGLEQ<U>>("avgleq2"),
      prototype<MINLEQ<U>>("minleq2"),           prototype<MAXGEQ<U>>("maxgeq2"),
      prototype<MEDGEQ<U>>("medgeq2"),           prototype<MEDLEQ<U>>("medleq2"),
      prototype<RANGELEQ<U>>("rangeleq2"),       prototype<ACOUNTGEQ<U>>("acountgeq"),
      prototype<ACOUNTLEQ<U>>("acountleq"),
  };
}

template <class Table>
void free_table(Table& table) {
  for (auto* c : table) delete c;
  table.clear();
}

// Frees the five tables of active instances. An object filed in two tables
// (by another caller) is deleted once.
void free_active_instances() {
  std::vector<Constraint<std::uint32_t>*> all;
  auto collect = [&all](auto& table) {
    for (auto* c : table) {
      Constraint<std::uint32_t>* base = c;
      if (std::find(all.begin(), all.end(), base) == all.end()) all.push_back(base);
    }
    table.clear();
  };
  collect(GLOBAL_AM_TABLE);
  collect(GLOBAL_M_TABLE);
  collect(GLOBAL_SAM_TABLE);
  collect(GLOBAL_LAM_TABLE);
  collect(GLOBAL_CAM_TABLE);
  for (auto* c : all) delete c;
}

}  // namespace

std::vector<Constraint<std::uint32_t>*> GLOBAL_TABLE = make_registry();
const unsigned GLOBAL_TABLE_LENGTH = 35;
std::vector<AntiMonotone<std::uint32_t>*> GLOBAL_AM_TABLE;
std::vector<Monotone<std::uint32_t>*> GLOBAL_M_TABLE;
std::vector<Succinct<std::uint32_t>*> GLOBAL_SAM_TABLE;
std::vector<Loose<std::uint32_t>*> GLOBAL_LAM_TABLE;
std::vector<Convertible<std::uint32_t>*> GLOBAL_CAM_TABLE;
std::vector<std::uint32_t> prefix_items;
std::int64_t LENLEQ_BOUND = INT64_MAX;
int GLOBAL_MAXIMUM_LENGTH = -1;

void reset_constraint_tables() {
  free_active_instances();
  prefix_items.clear();
  LENLEQ_BOUND = INT64_MAX;
  GLOBAL_MAXIMUM_LENGTH = -1;
}

template <class T>
typed_constraints<T>::~typed_constraints() {
  free_table(am_table);
  free_table(m_table);
  free_table(lam_table);
  free_table(cam_table);
}

template <class T>
void typed_constraints<T>::take_active_constraints() {
  for (auto* c : GLOBAL_AM_TABLE) am_table.push_back(c->template clone<T>());
  for (auto* c : GLOBAL_M_TABLE) m_table.push_back(c->template clone<T>());
  for (auto* c : GLOBAL_LAM_TABLE) lam_table.push_back(c->template clone<T>());
  for (auto* c : GLOBAL_CAM_TABLE) cam_table.push_back(c->template clone<T>());
  // Succinct constraints did their work on the data in the first scan: no
  // clone; only their verdict on the prefix items stays.
  for (auto* c : GLOBAL_SAM_TABLE)
    if (!c->holds(std::vector<std::uint32_t>())) prefix_passes_succinct = false;
  free_active_instances();
}

template class typed_constraints<std::uint8_t>;
template class typed_constraints<std::uint16_t>;
template class typed_constraints<std::uint32_t>;
