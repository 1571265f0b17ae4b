#include "constraints/registry.h"

#include <algorithm>

#include "constraints/anti_monotone.h"
#include "constraints/convertible.h"
#include "constraints/loose.h"
#include "constraints/monotone.h"
#include "constraints/spread.h"
#include "constraints/succinct.h"
#include "constraints/variance.h"

namespace {

// "lenleq [<threshold>]": every occurrence must hold, so the smallest bound
// wins; constraint_set::level_allowed reads it.
void parse_length_bound(const char* keyword, const char* params, constraint_set& set) {
  namespace cp = constraint_params;
  const std::int64_t t = cp::signed_threshold(keyword, params, cp::single_field(keyword, params));
  set.lenleq_bound = std::min(set.lenleq_bound.value_or(t), t);
}

using kind = constraint_kind;

}  // namespace

// clang-format off
const std::array<keyword_row, 35> KEYWORD_TABLE = {{
  // keyword     parser and class                                              kind                      usage line
  {"subseteq",   parse_own<item_subset_succinct>,                              kind::succinct,            "subseteq [<i0>,<i1>,...,<in>]"},
  {"supseteq",   parse_own<item_superset_monotone>,                            kind::monotone,            "supseteq [<i0,i1,...in>]"},
  {"asubseteq",  parse_own<value_subset_succinct>,                             kind::succinct,            "asubseteq [<attr>,<i0,i1,...in>]"},
  {"asupseteq",  parse_own<value_superset_monotone>,                           kind::monotone,            "asupseteq [<attr>,<i0,i1,...in>]"},
  {"mingeq",     parse_wrapping<min_at_least_succinct>,                        kind::succinct,            "mingeq [<attr>,<threshold>]"},
  {"maxleq",     parse_wrapping<max_at_most_succinct>,                         kind::succinct,            "maxleq [<attr>,<threshold>]"},
  {"lengeq",     parse_own<length_at_least_monotone>,                          kind::monotone,            "lengeq [<threshold>]"},
  {"lenleq",     parse_length_bound,                                           kind::length_bound,        "lenleq [<threshold>]"},
  {"sumgeq",     parse_signed<sum_at_least_monotone>,                          kind::monotone,            "sumgeq [<attr>,<threshold>]"},
  {"sumleq",     parse_signed<sum_at_most_anti_monotone>,                      kind::anti_monotone,       "sumleq [<attr>,<threshold>]"},
  {"rangeleq",   parse_wrapping<range_at_most_anti_monotone>,                  kind::anti_monotone,       "rangeleq [<attr>,<threshold>]"},
  {"varleq",     parse_signed<variance_at_most_loose>,                         kind::loose,               "varleq [<attr>,<threshold>]"},
  {"vargeq",     parse_signed<variance_at_least_loose>,                        kind::loose,               "vargeq [<attr>,<threshold>]"},
  {"stdleq",     parse_signed<std_dev_at_most_loose>,                          kind::loose,               "stdleq [<attr>,<threshold>]"},
  {"stdgeq",     parse_signed<std_dev_at_least_loose>,                         kind::loose,               "stdgeq [<attr>,<threshold>]"},
  {"spvleq",     parse_signed<sample_variance_at_most_loose>,                  kind::loose,               "spvleq [<attr>,<threshold>]"},
  {"spvgeq",     parse_signed<sample_variance_at_least_loose>,                 kind::loose,               "spvgeq [<attr>,<threshold>]"},
  {"mdleq",      parse_signed<mean_deviation_at_most_loose>,                   kind::loose,               "mdleq [<attr>,<threshold>]"},
  {"mdgeq",      parse_signed<mean_deviation_at_least_loose>,                  kind::loose,               "mdgeq [<attr>,<threshold>]"},
  {"avgleq",     parse_signed<mean_at_most_loose>,                             kind::loose,               "avgleq [<attr>,<threshold>]"},
  {"avggeq",     parse_signed<mean_at_least_loose>,                            kind::loose,               "avggeq [<attr>,<threshold>]"},
  {"medgeq",     parse_signed<median_at_least_loose>,                          kind::loose,               "medgeq [<attr>,<threshold>]"},
  {"medleq",     parse_signed<median_at_most_loose>,                           kind::loose,               "medleq [<attr>,<threshold>]"},
  {"rangegeq",   parse_halves<range_at_least_monotone, range_at_least_loose>,  kind::monotone_and_loose,  "rangegeq [<attr>,<threshold>]"},
  {"minleq",     parse_halves<min_at_most_monotone, min_at_most_loose>,        kind::monotone_and_loose,  "minleq [<attr>,<threshold>]"},
  {"maxgeq",     parse_own<max_at_least_monotone_loose>,                       kind::monotone_and_loose,  "maxgeq [<attr>,<threshold>]"},
  {"avggeq2",    parse_signed<mean_at_least_convertible>,                      kind::convertible,         "avggeq2 [<attr>,<threshold>]   (convertible antimonotone)"},
  {"avgleq2",    parse_signed<mean_at_most_convertible>,                       kind::convertible,         "avgleq2 [<attr>,<threshold>]   (convertible antimonotone)"},
  {"minleq2",    parse_wrapping<min_at_most_convertible>,                      kind::convertible,         "minleq2 [<attr>,<threshold>]"},
  {"maxgeq2",    parse_wrapping<max_at_least_convertible>,                     kind::convertible,         "maxgeq2 [<attr>,<threshold>]"},
  {"medgeq2",    parse_signed<median_at_least_convertible>,                    kind::convertible,         "medgeq2 [<attr>,<threshold>]    (Convertible Antimonotone)"},
  {"medleq2",    parse_signed<median_at_most_convertible>,                     kind::convertible,         "medleq2 [<attr,threshold>]    (Convertible Antimonotone)"},
  {"rangeleq2",  parse_wrapping<range_at_most_convertible>,                    kind::convertible,         "rangeleq2 [<attr,threshold>]"},
  {"acountgeq",  parse_value_count<value_count_at_least_monotone>,             kind::monotone,            "acountgeq [<attr,val,threshold>]"},
  {"acountleq",  parse_value_count<value_count_at_most_anti_monotone>,         kind::anti_monotone,       "acountleq [<attr,val,threshold>]"},
}};
// clang-format on

const keyword_row* find_keyword(const std::string& keyword) {
  auto it = std::find_if(KEYWORD_TABLE.begin(), KEYWORD_TABLE.end(),
                         [&](const keyword_row& row) { return keyword == row.keyword; });
  return it == KEYWORD_TABLE.end() ? nullptr : &*it;
}
