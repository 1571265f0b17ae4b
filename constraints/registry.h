// The keyword registry: the 35 constraint keywords, one constant row each, in
// the order the usage screen lists them. A row says how one command-line
// occurrence is parsed (which class, through which parameter layout), which
// kind of constraint it becomes and the usage line.
#pragma once

#include <array>
#include <string>

#include "constraints/filing.h"

// Which kind tables of the constraint_set an occurrence lands in.
enum class constraint_kind {
  anti_monotone,       // anti_monotone_table: drops candidates
  monotone,            // monotone_table: drops transactions
  succinct,            // succinct_table: drops items in the first scan
  convertible,         // convertible_table: anti-monotone in attribute order
  loose,               // loose_table: one flag per stored itemset
  monotone_and_loose,  // monotone_table and loose_table: one instance in each
  length_bound,        // no table: lowers the set's lenleq_bound
};

struct keyword_row {
  const char* keyword;
  constraint_parser parse;  // files the occurrence's instances in a set
  constraint_kind kind;
  const char* usage;  // the usage screen's line
};

extern const std::array<keyword_row, 35> KEYWORD_TABLE;

// The row of keyword, or nullptr for a word that is no keyword.
const keyword_row* find_keyword(const std::string& keyword);
