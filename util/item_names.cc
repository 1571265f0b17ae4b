#include "util/item_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "util/error.h"

namespace {

std::string read_whole_file(const std::string& file) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) throw run_error(file + " could not be opened!");
  std::string text;
  char block[1 << 16];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw run_error(file + " could not be read!");
  return text;
}

}  // namespace

item_names::item_names(const std::string& file) : file_(file), text_(read_whole_file(file)) {
  parse(text_);
  // Stable: of two entries of one id, the later line comes second.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const entry& a, const entry& b) { return a.id < b.id; });
  for (std::size_t i = 1; i < entries_.size(); ++i)
    if (entries_[i].id == entries_[i - 1].id)
      throw run_error(file_ + ":" + std::to_string(entries_[i].line) + ": item " +
                      std::to_string(entries_[i].id) + " is named twice");
  // A table by id when it costs at most a few times the entries themselves.
  if (!entries_.empty() && entries_.back().id <= 4 * entries_.size() + 65536) {
    by_id_.assign(static_cast<std::size_t>(entries_.back().id) + 1, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i)
      by_id_[entries_[i].id] = static_cast<std::uint32_t>(i + 1);
  }
}

void item_names::parse(const std::string& text) {
  std::size_t line = 0;
  for (std::size_t start = 0; start < text.size();) {
    ++line;
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    auto where = [&] { return file_ + ":" + std::to_string(line) + ": "; };
    std::size_t p = start;
    std::uint64_t id = 0;
    while (p < stop && text[p] >= '0' && text[p] <= '9') {
      if (id <= 0xFFFFFFFFull) id = id * 10 + static_cast<std::uint64_t>(text[p] - '0');
      ++p;
    }
    if (stop == start) {
      start = end + 1;
      continue;
    }
    if (p == start || p + 1 >= stop || (text[p] != ' ' && text[p] != '\t'))
      throw run_error(where() + "expected \"<id> <name>\"");
    if (id > 0xFFFFFFFFull)
      throw run_error(where() + "item id " + text.substr(start, p - start) + " does not fit 32 bits");
    entries_.push_back({static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(stop - p - 1),
                        p + 1, line});
    start = end + 1;
  }
}

std::string_view item_names::find(std::uint32_t id) const {
  const entry* e = nullptr;
  if (!by_id_.empty()) {
    if (id < by_id_.size() && by_id_[id] != 0) e = &entries_[by_id_[id] - 1];
  } else {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const entry& a, std::uint32_t v) { return a.id < v; });
    if (it != entries_.end() && it->id == id) e = &*it;
  }
  return e == nullptr ? std::string_view() : std::string_view(text_.data() + e->offset, e->length);
}

void item_name_writer::translate(const char* bytes, std::size_t n, std::string& out) {
  const char* p = bytes;
  const char* const end = bytes + n;
  while (p < end) {
    if (in_support_) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      const char* stop = nl == nullptr ? end : nl + 1;
      out.append(p, static_cast<std::size_t>(stop - p));
      p = stop;
      if (nl != nullptr) in_support_ = false;
      continue;
    }
    const char c = *p++;
    if (c >= '0' && c <= '9') {
      id_ = id_ * 10 + static_cast<std::uint64_t>(c - '0');
    } else if (c == ' ') {
      const std::string_view name =
          id_ <= 0xFFFFFFFFull ? names_.find(static_cast<std::uint32_t>(id_)) : std::string_view();
      if (name.empty())
        throw run_error(names_.file() + ": item " + std::to_string(id_) + " has no name");
      out.append(name.data(), name.size());
      out.push_back(' ');
      id_ = 0;
    } else {
      // "(": the support follows, as it is.
      out.push_back(c);
      in_support_ = true;
    }
  }
}
