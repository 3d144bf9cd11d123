// The SAC binary header (version 6, also read as version 7) in one place:
// its word layout, the codes of its enumerated words, and the encoding of a
// whole file in either byte order.
//
// A header is 158 words of 4 bytes: 70 floats, 40 integers (the last five
// of which are logicals), then 192 characters of names (kstnm 8, kevnm 16,
// then twenty-one names of 8). The samples follow as floats. Undefined
// words hold -12345, undefined names "-12345".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sacio {

inline constexpr int kFloatWords = 70;
inline constexpr int kIntWords = 40;
inline constexpr std::size_t kNameBytes = 192;
inline constexpr std::size_t kHeaderBytes = 4 * (kFloatWords + kIntWords) + kNameBytes;  // 632
inline constexpr std::size_t kFooterBytes = 22 * 8;  // version 7: 22 doubles after the samples

inline constexpr float kUndefFloat = -12345.0f;
inline constexpr std::int32_t kUndefInt = -12345;

// Float words.
inline constexpr int kDelta = 0, kDepmin = 1, kDepmax = 2, kB = 5, kE = 6, kO = 7, kDepmen = 56;
// Station (degrees, metres), event (degrees, km), magnitude, component
// azimuth and incidence (degrees; cmpinc 0 is up, 90 horizontal).
inline constexpr int kStla = 31, kStlo = 32, kStel = 33, kStdp = 34, kEvla = 35, kEvlo = 36,
                     kEvdp = 38, kMag = 39, kCmpaz = 57, kCmpinc = 58;
// Integer words, counted from the first integer word.
inline constexpr int kNzyear = 0, kNzjday = 1, kNzhour = 2, kNzmin = 3, kNzsec = 4, kNzmsec = 5;
inline constexpr int kNvhdr = 6, kNpts = 9, kIftype = 15, kIdep = 16, kImagtyp = 25, kLeven = 35,
                     kLovrok = 37;

// A name field of the name block: byte offset and width.
struct NameField {
  std::size_t offset, width;
};
inline constexpr NameField kKstnm{0, 8}, kKevnm{8, 16}, kKhole{24, 8}, kKuser0{136, 8}, kKuser1{144, 8},
    kKcmpnm{160, 8}, kKnetwk{168, 8};

// Codes of iftype and idep.
inline constexpr std::int32_t kItime = 1;
inline constexpr std::int32_t kIunkn = 5, kIdisp = 6, kIvel = 7, kIacc = 8, kIvolts = 50;
// Codes of imagtyp: body-wave, surface-wave, local, moment, duration magnitude.
inline constexpr std::int32_t kImb = 52, kIms = 53, kIml = 54, kImw = 55, kImd = 56;

struct Header {
  std::array<float, kFloatWords> f{};
  std::array<std::int32_t, kIntWords> i{};
  std::string names;  // kNameBytes characters

  // Every word and name undefined.
  Header();
  // The field as stored (blank padded, as many bytes as its width).
  std::string_view name(NameField field) const;
  // Writes `text` into the field, cut or blank padded to its width.
  void setName(NameField field, std::string_view text);
};

bool knownVersion(std::int32_t nvhdr);

// Whether the binary header in `bytes` (at least kHeaderBytes) must be
// byte-swapped to read on this machine: false or true when nvhdr is 6 or 7
// in that order, nothing when it is in neither.
std::optional<bool> needsSwap(std::string_view bytes);

// The 4-byte word at `offset`, swapped when asked.
std::uint32_t word(std::string_view bytes, std::size_t offset, bool swap);

// The header of a binary file (at least kHeaderBytes).
Header decodeHeader(std::string_view bytes, bool swap);

// Sample k (from 0) of a binary file.
float sample(std::string_view bytes, std::size_t k, bool swap);

// A whole little-endian binary file: the header with npts set to the
// sample count, then the samples.
std::string encodeLittleEndian(Header header, std::span<const float> samples);

}  // namespace sacio
