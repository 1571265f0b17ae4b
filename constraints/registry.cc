// The keyword registry.
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

template <class C>
Constraint<std::uint32_t>* prototype(const char* keyword) {
  Constraint<std::uint32_t>* c = new C;
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

}  // namespace

// Allocated and never destroyed: the prototypes stay reachable until the
// process ends, so a leak checker does not report them.
const std::vector<Constraint<std::uint32_t>*>& GLOBAL_TABLE =
    *new const std::vector<Constraint<std::uint32_t>*>(make_registry());
