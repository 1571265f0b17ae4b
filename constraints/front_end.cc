#include "constraints/front_end.h"

#include <algorithm>

#include "constraints/constraint_set.h"
#include "constraints/loose.h"
#include "constraints/monotone.h"
#include "constraints/params.h"

namespace cp = constraint_params;

template <class T>
Constraint<std::uint32_t>* LENLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  std::int64_t t = cp::signed_threshold("lenleq", params, cp::single_field("lenleq", params));
  set.lenleq_bound = std::min(set.lenleq_bound.value_or(t), t);
  // Nothing is filed; the driver inspects a shared object without attribute.
  static LENLEQ<std::uint32_t> marker;
  return &marker;
}

namespace {

// Files the two halves of a two-part keyword and returns the monotone one.
template <class Mon, class Lam>
Constraint<std::uint32_t>* file_halves(const char* keyword, const char* params,
                                       constraint_set& set) {
  cp::AttrThreshold f = cp::attr_threshold(keyword, params);
  std::uint32_t bound = cp::wrapping_threshold(keyword, params, f.threshold);
  auto* mon = new Mon;
  mon->attribute = f.attribute;
  mon->p.bound = bound;
  auto* lam = new Lam;
  lam->attribute = f.attribute;
  lam->p.bound = bound;
  set.m_table.push_back(mon);
  set.lam_table.push_back(lam);
  return mon;
}

}  // namespace

template <class T>
Constraint<std::uint32_t>* RANGEGEQLAM<T>::parse_parameters(const char* params,
                                                            constraint_set& set) {
  return file_halves<RANGEGEQLAMMON<std::uint32_t>, RANGEGEQLAMLAM<std::uint32_t>>("rangegeq",
                                                                                   params, set);
}

template <class T>
Constraint<std::uint32_t>* MINLEQLAM<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_halves<MINLEQLAMMON<std::uint32_t>, MINLEQLAMLAM<std::uint32_t>>("minleq", params,
                                                                               set);
}

template class LENLEQ<std::uint8_t>;
template class LENLEQ<std::uint16_t>;
template class LENLEQ<std::uint32_t>;
template class RANGEGEQLAM<std::uint8_t>;
template class RANGEGEQLAM<std::uint16_t>;
template class RANGEGEQLAM<std::uint32_t>;
template class MINLEQLAM<std::uint8_t>;
template class MINLEQLAM<std::uint16_t>;
template class MINLEQLAM<std::uint32_t>;
