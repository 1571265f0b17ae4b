// The keyword registry, the run-wide constraint tables and the typed tables.
//
// GLOBAL_TABLE holds one prototype per keyword, in the registry's fixed row
// order (the usage screen lists them in that order). It is built by a static
// initialiser before main; prototypes are never destroyed.
#include <cstdint>

#include "constraints/anti_monotone.h"
#include "constraints/constraint.h"
#include "util/error.h"

namespace {

// Stands for a keyword whose class is not built yet: it parses nothing.
class PENDING : public Constraint<std::uint32_t> {
 public:
  explicit PENDING(const char* text) : text_(text) {}
  Constraint<std::uint32_t>* parseParameters(const char*) override {
    throw run_error(std::string(this->label) + ": not available");
  }
  bool testItemset(const std::vector<std::uint32_t>&) override { return true; }
  const char* usage() const override { return text_; }

 private:
  const char* text_;
};

template <class C>
Constraint<std::uint32_t>* prototype(const char* keyword) {
  Constraint<std::uint32_t>* c = new C;
  c->label = keyword;
  c->attribute = -1;
  return c;
}

Constraint<std::uint32_t>* pending(const char* keyword, const char* text) {
  Constraint<std::uint32_t>* c = new PENDING(text);
  c->label = keyword;
  return c;
}

std::vector<Constraint<std::uint32_t>*> make_registry() {
  using U = std::uint32_t;
  return {
      pending("subseteq", "subseteq [<i0>,<i1>,...,<in>]"),
      pending("supseteq", "supseteq [<i0,i1,...in>]"),
      pending("asubseteq", "asubseteq [<attr>,<i0,i1,...in>]"),
      pending("asupseteq", "asupseteq [<attr>,<i0,i1,...in>]"),
      pending("mingeq", "mingeq [<attr>,<threshold>]"),
      pending("maxleq", "maxleq [<attr>,<threshold>]"),
      pending("lengeq", "lengeq [<threshold>]"),
      pending("lenleq", "lenleq [<threshold>]"),
      pending("sumgeq", "sumgeq [<attr>,<threshold>]"),
      prototype<SUMLEQ<U>>("sumleq"),
      prototype<RANGELEQLAM<U>>("rangeleq"),
      pending("varleq", "varleq [<attr>,<threshold>]"),
      pending("vargeq", "vargeq [<attr>,<threshold>]"),
      pending("stdleq", "stdleq [<attr>,<threshold>]"),
      pending("stdgeq", "stdgeq [<attr>,<threshold>]"),
      pending("spvleq", "spvleq [<attr>,<threshold>]"),
      pending("spvgeq", "spvgeq [<attr>,<threshold>]"),
      pending("mdleq", "mdleq [<attr>,<threshold>]"),
      pending("mdgeq", "mdgeq [<attr>,<threshold>]"),
      pending("avgleq", "avgleq [<attr>,<threshold>]"),
      pending("avggeq", "avggeq [<attr>,<threshold>]"),
      pending("medgeq", "medgeq [<attr>,<threshold>]"),
      pending("medleq", "medleq [<attr>,<threshold>]"),
      pending("rangegeq", "rangegeq [<attr>,<threshold>]"),
      pending("minleq", "minleq [<attr>,<threshold>]"),
      pending("maxgeq", "maxgeq [<attr>,<threshold>]"),
      pending("avggeq2", "avggeq2 [<attr>,<threshold>]   (convertible antimonotone)"),
      pending("avgleq2", "avgleq2 [<attr>,<threshold>]   (convertible antimonotone)"),
      pending("minleq2", "minleq2 [<attr>,<threshold>]"),
      pending("maxgeq2", "maxgeq2 [<attr>,<threshold>]"),
      pending("medgeq2", "medgeq2 [<attr>,<threshold>]    (Convertible Antimonotone)"),
      pending("medleq2", "medleq2 [<attr,threshold>]    (Convertible Antimonotone)"),
      pending("rangeleq2", "rangeleq2 [<attr,threshold>]"),
      pending("acountgeq", "acountgeq [<attr,val,threshold>]"),
      prototype<ACOUNTLEQ<U>>("acountleq"),
  };
}

template <class Table>
void free_table(Table& table) {
  for (auto* c : table) delete c;
  table.clear();
}

}  // namespace

std::vector<Constraint<std::uint32_t>*> GLOBAL_TABLE = make_registry();
const unsigned GLOBAL_TABLE_LENGTH = 35;
std::vector<CAntiMonotone<std::uint32_t>*> GLOBAL_AM_TABLE;
std::vector<CMonotone<std::uint32_t>*> GLOBAL_M_TABLE;
std::vector<CSuccinctAntiMonotone<std::uint32_t>*> GLOBAL_SAM_TABLE;
std::vector<CLooseAntiMonotone<std::uint32_t>*> GLOBAL_LAM_TABLE;
std::vector<CConvertibleAntiMonotone<std::uint32_t>*> GLOBAL_CAM_TABLE;
std::vector<std::uint32_t> prefix_items;
std::int64_t LENLEQ_BOUND = INT64_MAX;
int GLOBAL_MAXIMUM_LENGTH = -1;

void reset_constraint_tables() {
  free_table(GLOBAL_AM_TABLE);
  free_table(GLOBAL_M_TABLE);
  free_table(GLOBAL_SAM_TABLE);
  free_table(GLOBAL_LAM_TABLE);
  free_table(GLOBAL_CAM_TABLE);
  prefix_items.clear();
  LENLEQ_BOUND = INT64_MAX;
  GLOBAL_MAXIMUM_LENGTH = -1;
}

template <class T>
GLOBAL_TABLE_K<T>::~GLOBAL_TABLE_K() {
  free_table(am_table);
  free_table(m_table);
  free_table(lam_table);
  free_table(cam_table);
}

template <class T>
void GLOBAL_TABLE_K<T>::take_active_constraints() {
  for (auto* c : GLOBAL_AM_TABLE) am_table.push_back(c->template clone<T>());
  for (auto* c : GLOBAL_M_TABLE) m_table.push_back(c->template clone<T>());
  for (auto* c : GLOBAL_LAM_TABLE) lam_table.push_back(c->template clone<T>());
  for (auto* c : GLOBAL_CAM_TABLE) cam_table.push_back(c->template clone<T>());
  // Succinct constraints did all their work in the first scan: no clone.
  free_table(GLOBAL_AM_TABLE);
  free_table(GLOBAL_M_TABLE);
  free_table(GLOBAL_SAM_TABLE);
  free_table(GLOBAL_LAM_TABLE);
  free_table(GLOBAL_CAM_TABLE);
}

template class GLOBAL_TABLE_K<std::uint8_t>;
template class GLOBAL_TABLE_K<std::uint16_t>;
template class GLOBAL_TABLE_K<std::uint32_t>;
