// A drawing compared as a picture: an SVG written by cairo, with the
// surface's own ids numbered in order of appearance and the glyph outlines
// (the font's, not ours) dropped, so that every line, curve, label position
// and glyph sequence is compared and nothing else.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "support/files.hpp"

namespace testsupport {

inline bool idChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; }

// Glyph outlines replaced by their ids; ids and references renumbered.
inline std::string normalisedSvg(std::string svg) {
  std::string out;
  for (std::size_t at = 0;;) {
    const std::size_t open = svg.find("<symbol", at);
    if (open == std::string::npos) {
      out += svg.substr(at);
      break;
    }
    const std::size_t close = svg.find("</symbol>", open);
    const std::size_t id = svg.find("id=\"", open);
    out += svg.substr(at, open - at) + "<symbol " + svg.substr(id, svg.find('"', id + 4) + 1 - id) + "/>";
    at = close + 9;
  }
  std::map<std::string, std::string> ids;
  for (std::size_t at = 0; (at = out.find(" id=\"", at)) != std::string::npos; at += 5) {
    const std::size_t end = out.find('"', at + 5);
    ids.emplace(out.substr(at + 5, end - at - 5), "id" + std::to_string(ids.size() + 1));
  }
  std::string result;
  for (std::size_t k = 0; k < out.size();) {
    const bool definition = out.compare(k, 4, "id=\"") == 0 && (k == 0 || out[k - 1] == ' ');
    const std::size_t start = definition ? k + 4 : out[k] == '#' ? k + 1 : std::string::npos;
    if (start != std::string::npos) {
      std::size_t end = start;
      while (end < out.size() && idChar(out[end])) ++end;
      const auto it = ids.find(out.substr(start, end - start));
      if (it != ids.end()) {
        result += out.substr(k, start - k) + it->second;
        k = end;
        continue;
      }
    }
    result += out[k++];
  }
  return result;
}

// The drawing `svg` (as cairo wrote it) against the stored `golden`;
// its glyph positions assume the DejaVu Sans font of fonts-dejavu-core.
inline void expectStoredDrawing(const std::filesystem::path& golden, const std::string& svg) {
  expectStoredText(golden, normalisedSvg(svg));
}

}  // namespace testsupport
