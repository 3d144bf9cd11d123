// Shared pieces of the fuzz targets: the three endings a run may take, the
// parsing of a target list written in the input itself, and a private folder.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "textio/stop.hpp"
#include "textio/textio.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace egffuzz {

// Runs `body` and accepts exactly the program's three expected endings; any
// other exception escapes and is reported by the fuzzing engine (or ends the
// replay with a non-zero status).
template <class Body>
void withExpectedEndings(Body&& body) {
  try {
    body();
  } catch (const textio::IoError& e) {
    (void)e.report();  // the report itself must be formable for every error
  } catch (const textio::InputRejected& e) {
    // One line, never empty: the message names the file or parameter.
    if (e.message.empty() || e.message.find('\n') != std::string::npos) std::abort();
  }
}

// Removes the first line (up to and without its newline) from `data`.
inline std::string_view takeLine(std::string_view& data) {
  const std::size_t nl = data.find('\n');
  std::string_view line = data.substr(0, nl);
  data.remove_prefix(nl == std::string_view::npos ? data.size() : nl + 1);
  return line;
}

// The variables of one read statement, described in the input as letters:
// 'i' an integer, 'f' a real, 'a' followed by an optional length (0 to 200,
// default 8) a text. Anything else is ignored; at most 64 variables.
struct Variables {
  std::vector<int> ints;
  std::vector<float> reals;
  std::vector<std::string> texts;
  std::vector<textio::Target> targets;

  explicit Variables(std::string_view layout) {
    constexpr std::size_t kMaxVariables = 64;
    constexpr int kMaxLength = 200;
    std::vector<char> kinds;
    std::vector<int> lengths;
    for (std::size_t i = 0; i < layout.size() && kinds.size() < kMaxVariables; ++i) {
      const char c = layout[i];
      if (c == 'i' || c == 'f') {
        kinds.push_back(c);
        lengths.push_back(0);
      } else if (c == 'a') {
        int n = 0;
        bool any = false;
        while (i + 1 < layout.size() && layout[i + 1] >= '0' && layout[i + 1] <= '9') {
          n = n * 10 + (layout[++i] - '0');
          if (n > kMaxLength) n = kMaxLength;
          any = true;
        }
        kinds.push_back('a');
        lengths.push_back(any ? n : 8);
      }
    }
    // Reserve first: the targets point into the vectors.
    ints.reserve(kinds.size());
    reals.reserve(kinds.size());
    texts.reserve(kinds.size());
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      if (kinds[k] == 'i') {
        ints.push_back(-7);  // a previous value that a null item must keep
        targets.emplace_back(&ints.back());
      } else if (kinds[k] == 'f') {
        reals.push_back(-7.0f);
        targets.emplace_back(&reals.back());
      } else {
        texts.emplace_back(static_cast<std::size_t>(lengths[k]), '#');
        targets.emplace_back(&texts.back());
      }
    }
  }

  // The current contents as values to write, in target order.
  std::vector<textio::Value> values() const {
    std::vector<textio::Value> v;
    for (const textio::Target& t : targets) {
      if (auto* const* ip = std::get_if<int*>(&t)) {
        v.emplace_back(**ip);
      } else if (auto* const* fp = std::get_if<float*>(&t)) {
        v.emplace_back(**fp);
      } else {
        v.emplace_back(std::string_view(*std::get<std::string*>(t)));
      }
    }
    return v;
  }

  // A text keeps its declared length whatever it was given.
  void checkLengths(std::string_view layout) const {
    Variables fresh(layout);
    for (std::size_t k = 0; k < texts.size(); ++k) {
      if (texts[k].size() != fresh.texts[k].size()) std::abort();
    }
  }
};

// A folder private to this process, removed at its end; `enter` makes it
// the working folder.
struct ScratchFolder {
  std::filesystem::path path;
  explicit ScratchFolder(bool enter = false) {
    std::string name = (std::filesystem::temp_directory_path() / "egf_fuzz_XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) std::abort();
    path = name;
    if (enter) std::filesystem::current_path(path);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace egffuzz
