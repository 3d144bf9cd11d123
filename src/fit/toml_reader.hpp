// Reading the configuration's TOML: every fault is a ConfigError naming the
// file, line and column. Shared by the functions that read its sections.
#pragma once

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "fit/config.hpp"

namespace fit {

class Reader {
 public:
  explicit Reader(std::filesystem::path file) : file_(std::move(file)) {}

  [[noreturn]] void fail(const toml::source_region& where, const std::string& problem) const {
    throw ConfigError(file_.string() + ":" + std::to_string(where.begin.line) + ":" +
                      std::to_string(where.begin.column) + ": " + problem);
  }

  // Refuses every key of `table` not in `known`, at the key's position.
  void onlyKeys(const toml::table& table, std::initializer_list<std::string_view> known,
                const std::string& where) const {
    for (auto&& [key, node] : table) {
      if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
        std::string list;
        for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        fail(key.source(), "unknown key '" + std::string(key.str()) + "'" + where + " (known: " + list + ")");
      }
    }
  }

  double number(const toml::node& node, const std::string& what) const {
    if (auto i = node.as_integer()) return static_cast<double>(i->get());
    if (auto f = node.as_floating_point()) {
      if (!std::isfinite(f->get())) fail(node.source(), what + " must be a finite number");
      return f->get();
    }
    fail(node.source(), what + " must be a number");
  }

  long long integer(const toml::node& node, const std::string& what) const {
    if (auto i = node.as_integer()) return i->get();
    fail(node.source(), what + " must be an integer");
  }

  const toml::table& table(const toml::node& node, const std::string& what) const {
    if (auto t = node.as_table()) return *t;
    fail(node.source(), what + " must be a table");
  }

  std::string string(const toml::node& node, const std::string& what) const {
    if (auto s = node.as_string()) return s->get();
    fail(node.source(), what + " must be a string");
  }

  bool boolean(const toml::node& node, const std::string& what) const {
    if (auto b = node.as_boolean()) return b->get();
    fail(node.source(), what + " must be true or false");
  }

  // A number given as an integer or a string naming it (`names`, in order of
  // their codes from `first`); `what` names the key.
  int code(const toml::node& node, const std::string& what, std::initializer_list<std::string_view> names,
           int first) const {
    std::string list;
    for (std::string_view n : names) list += (list.empty() ? "\"" : ", \"") + std::string(n) + "\"";
    if (auto s = node.as_string()) {
      int c = first;
      for (std::string_view n : names) {
        if (s->get() == n) return c;
        ++c;
      }
      fail(node.source(), what + " must be one of " + list + ", not \"" + s->get() + "\"");
    }
    fail(node.source(), what + " must be one of " + list);
  }

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

}  // namespace fit
