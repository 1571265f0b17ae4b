// Names of input ids for the output file (the "names" option), and the writer
// that puts them in place of the ids.
//
// The map file holds one line per id: "<id> <name>", the id in decimal, one
// blank or tab, then the name: every byte up to the end of the line (a "\r"
// before the newline excluded), at least one. Empty lines are skipped. The
// names2fimi converter writes such a file beside the FIMI file it makes.
//
// The output lines are laid out with ids as always; item_name_writer rewrites
// them on their way to the file, so the line writers do not change: every
// number before a line's "(" is an item and becomes its name, the support in
// parentheses stays as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class item_names {
 public:
  // Reads the map file. Throws run_error: "<file> could not be opened!",
  // "<file> could not be read!", "<file>:<line>: expected \"<id> <name>\"",
  // "<file>:<line>: item id <digits> does not fit 32 bits",
  // "<file>:<line>: item <id> is named twice".
  explicit item_names(const std::string& file);

  // The name of id; empty when the map gives it none.
  std::string_view find(std::uint32_t id) const;
  const std::string& file() const { return file_; }

 private:
  struct entry {
    std::uint32_t id;
    std::uint32_t length;
    std::size_t offset;  // in text_
    std::size_t line;    // of the map file, from 1
  };
  void parse(const std::string& text);
  std::string file_;
  std::string text_;            // the map file's bytes; names point into it
  std::vector<entry> entries_;  // ascending id
  // Position + 1 in entries_ by id (0: no name), when the ids are dense enough.
  std::vector<std::uint32_t> by_id_;
};

// Rewrites output lines, which may come cut anywhere, into lines with names.
class item_name_writer {
 public:
  explicit item_name_writer(const item_names& names) : names_(names) {}

  // Appends bytes to out with every item replaced by its name. Throws
  // run_error("<map file>: item <id> has no name") for an item the map lacks.
  void translate(const char* bytes, std::size_t n, std::string& out);

 private:
  const item_names& names_;
  std::uint64_t id_ = 0;     // digits of the item being read
  bool in_support_ = false;  // between "(" and the end of the line
};
