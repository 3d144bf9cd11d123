#include "sacio/sacio.hpp"

#include <bit>
#include <cstring>

namespace sacio {

Header::Header() {
  f.fill(kUndefFloat);
  i.fill(kUndefInt);
  names.assign(kNameBytes, ' ');
  setName(kKstnm, "-12345");
  setName(kKevnm, "-12345");
  for (std::size_t at = 24; at < kNameBytes; at += 8) setName({at, 8}, "-12345");
}

std::string_view Header::name(NameField field) const {
  return std::string_view(names).substr(field.offset, field.width);
}

void Header::setName(NameField field, std::string_view text) {
  std::string s(text.substr(0, field.width));
  s.resize(field.width, ' ');
  names.replace(field.offset, field.width, s);
}

bool knownVersion(std::int32_t nvhdr) { return nvhdr == 6 || nvhdr == 7; }

std::uint32_t word(std::string_view bytes, std::size_t offset, bool swap) {
  std::uint32_t w;
  std::memcpy(&w, bytes.data() + offset, 4);
  return swap ? __builtin_bswap32(w) : w;
}

std::optional<bool> needsSwap(std::string_view bytes) {
  const std::size_t at = 4 * (kFloatWords + kNvhdr);
  if (knownVersion(static_cast<std::int32_t>(word(bytes, at, false)))) return false;
  if (knownVersion(static_cast<std::int32_t>(word(bytes, at, true)))) return true;
  return std::nullopt;
}

Header decodeHeader(std::string_view bytes, bool swap) {
  Header h;
  for (int k = 0; k < kFloatWords; ++k)
    h.f[k] = std::bit_cast<float>(word(bytes, 4 * static_cast<std::size_t>(k), swap));
  for (int k = 0; k < kIntWords; ++k)
    h.i[k] = static_cast<std::int32_t>(word(bytes, 4 * static_cast<std::size_t>(kFloatWords + k), swap));
  h.names = std::string(bytes.substr(4 * (kFloatWords + kIntWords), kNameBytes));
  return h;
}

float sample(std::string_view bytes, std::size_t k, bool swap) {
  return std::bit_cast<float>(word(bytes, kHeaderBytes + 4 * k, swap));
}

std::string encodeLittleEndian(Header header, std::span<const float> samples) {
  header.i[kNpts] = static_cast<std::int32_t>(samples.size());
  std::string out;
  out.reserve(kHeaderBytes + 4 * samples.size());
  auto put = [&](std::uint32_t w) {
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    char b[4];
    std::memcpy(b, &w, 4);
    out.append(b, 4);
  };
  for (float v : header.f) put(std::bit_cast<std::uint32_t>(v));
  for (std::int32_t v : header.i) put(static_cast<std::uint32_t>(v));
  header.names.resize(kNameBytes, ' ');
  out += header.names;
  for (float v : samples) put(std::bit_cast<std::uint32_t>(v));
  return out;
}

}  // namespace sacio
