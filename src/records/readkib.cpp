// The KIBTRACE record reader.
//
// Layout of a record, one field per line unless noted:
//    1 A15     "KIBTRACE FORMAT" or "kibtrace format"; text after column 15 ignored
//    2 A3      head3          9 F10.3   hreal
//    3 A16     head16        10 A10,A5  sfmt (scale-line format), dunit
//    4 A5,A12  rcode, rname  11 sfmt    rscale
//    5 I10     isps          12 A10     dfmt (sample-line format)
//    6 I10     npts          13 3A10    head10a, head10b, head10c
//    7 A24     head24a       14 A20     head20
//    8 A24     head24b       15 A11     head11
//   16 free    nskip, then nskip lines of A80 text, then npts samples per dfmt.
// A number format with "*" in column 1 is read in free format; otherwise it is
// a descriptor list without parentheses, ending at the first blank.
// An end of file inside a free-format scale factor or sample list ends the
// run with the I/O layer's fatal end-of-file report; inside a fixed-format
// one it refuses the record. A partial record is never handed on.
//
// The reader writes nothing: RecordHeader::progress tells how far it got,
// from which egfsim's transcript shows the reader's lines.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "records/records.hpp"

namespace records {
namespace {

// A number-format field of a record, resolved.
struct NumberFormat {
  bool free = false;     // column 1 is "*"
  bool integer = false;  // the descriptor holds an I or i
  std::string text;      // the descriptor wrapped in parentheses, e.g. "(8F10.3)"
  bool empty = false;    // column 1 is blank: no descriptor at all
};

NumberFormat resolveFormat(const std::string& field) {
  NumberFormat f;
  if (!field.empty() && field[0] == '*') {
    f.free = true;
    return f;
  }
  const std::string descriptor = field.substr(0, field.find(' '));
  f.empty = descriptor.empty();
  f.integer = descriptor.find_first_of("Ii") != std::string::npos;
  f.text = "(" + descriptor + ")";
  return f;
}

std::string trimmed(std::string_view s) {
  const auto end = s.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1));
}

// One read of a record: its unit, the name its refusals give, the header
// it fills.
struct Reader {
  textio::Channels& io;
  int unit;
  std::string_view source;
  RecordHeader& h;

  // Rejections name the record file (or the unit when no name was given).
  [[noreturn]] void reject(const std::string& problem) const {
    std::string where = trimmed(source);
    if (where.empty()) where = "unit " + std::to_string(unit);
    throw textio::InputRejected("record file " + where + ": " + problem);
  }

  // Line 1: the header line.
  void headerLine() const {
    if (!io.readFormatted(unit, "(a15)", {&h.line1}, true)) reject("empty record file");
    h.progress.headerLine = true;
    h.progress.kibtrace = isKibtraceHeader(h.line1);
    if (!h.progress.kibtrace)
      reject("first line is not \"KIBTRACE FORMAT\" but \"" + trimmed(h.line1) + "\"");
  }

  // Lines 2 to 10; returns line 10's format of the scale factor.
  std::string headerFields(int& npts, int& isps) const {
    io.readFormatted(unit, "(a3)", {&h.head3});
    io.readFormatted(unit, "(a16)", {&h.head16});
    io.readFormatted(unit, "(a5,a12)", {&h.rcode, &h.rname});
    io.readFormatted(unit, "(i10)", {&isps});
    h.isps = isps;
    io.readFormatted(unit, "(i10)", {&npts});
    h.npts = npts;
    io.readFormatted(unit, "(a24)", {&h.head24a});
    io.readFormatted(unit, "(a24)", {&h.head24b});
    io.readFormatted(unit, "(f10.3)", {&h.hreal});
    std::string sfmt(10, ' ');
    io.readFormatted(unit, "(a10,a5)", {&sfmt, &h.dunit});
    return sfmt;
  }

  // Line 11. A free-format read that meets a null value or a slash leaves
  // its variable untouched; no number read can give a NaN, so a NaN left
  // behind means the line held no value.
  float scaleFactor(const NumberFormat& format) const {
    float rscale = std::numeric_limits<float>::quiet_NaN();
    if (format.free) {
      io.readList(unit, {&rscale});  // an end of file is the fatal report
      if (std::isnan(rscale)) reject("no scale factor on line 11");
    } else if (format.empty) {
      reject("no number format for the scale factor (line 10 column 1 is blank)");
    } else if (format.integer) {
      int iscale = 0;
      if (!io.readFormatted(unit, format.text, {&iscale}, true)) reject("end of file at the scale factor line");
      rscale = static_cast<float>(iscale);
    } else {
      if (!io.readFormatted(unit, format.text, {&rscale}, true)) reject("end of file at the scale factor line");
    }
    return rscale;
  }

  // Lines 12 to 16 and the free text lines. The same null-value rule as the
  // scale factor, with INT_MIN as the mark (a count read as INT_MIN would
  // be rejected as negative in any case).
  void descriptionAndText() const {
    io.readFormatted(unit, "(a10)", {&h.dfmt});
    io.readFormatted(unit, "(3a10)", {&h.head10a, &h.head10b, &h.head10c});
    io.readFormatted(unit, "(a20)", {&h.head20});
    io.readFormatted(unit, "(a11)", {&h.head11});
    int nskip = std::numeric_limits<int>::min();
    io.readList(unit, {&nskip});
    if (nskip == std::numeric_limits<int>::min()) reject("no nskip value on line 16");
    h.nskip = nskip;
    h.progress.skipCount = true;
    if (nskip < 0 || nskip > kMaxSkipLines)
      reject("nskip " + std::to_string(nskip) + " is outside 0.." + std::to_string(kMaxSkipLines));
    h.skipl.assign(static_cast<std::size_t>(nskip), std::string(80, ' '));
    for (auto& line : h.skipl) io.readFormatted(unit, "(a80)", {&line});
  }

  // The counts, checked once the sample format is known (the transcript
  // shows it before any of these refusals).
  void checkCounts(int npts, int isps, std::size_t room, const NumberFormat& format) const {
    const int capacity = static_cast<int>(std::min<std::size_t>(room, model::kMaxSamples));
    if (npts <= 0) reject("npts " + std::to_string(npts) + " is not positive");
    if (npts > capacity)
      reject("npts " + std::to_string(npts) + " exceeds the " + std::to_string(capacity) +
             " samples a record may hold");
    if (isps <= 0) reject("isps " + std::to_string(isps) + " is not positive");
    if (format.empty) reject("no number format for the samples (line 12 column 1 is blank)");
  }

  // The npts samples, each times the scale factor.
  void samples(std::span<float> out, const NumberFormat& format, float rscale) const {
    const std::size_t n = out.size();
    std::vector<textio::Target> targets(n);
    if (format.integer && !format.free) {
      std::vector<int> counts(n, 0);
      for (std::size_t i = 0; i < n; ++i) targets[i] = &counts[i];
      if (!io.readFormatted(unit, format.text, targets, true))
        reject("end of file before all " + std::to_string(n) + " samples were read");
      // Each count is rounded to single precision first, then multiplied once.
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(counts[i]) * rscale;
      return;
    }
    for (std::size_t i = 0; i < n; ++i) targets[i] = &out[i];
    if (format.free) {
      io.readList(unit, targets);  // an end of file is the fatal report
    } else if (!io.readFormatted(unit, format.text, targets, true)) {
      reject("end of file before all " + std::to_string(n) + " samples were read");
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = out[i] * rscale;
  }

  // A scale factor or sample beyond single precision (1e39 in the file, or a
  // product that overflows) would carry inf or nan into every mean, integral
  // and figure coordinate of the run: the record is refused instead.
  void requireFinite(std::span<const float> samples, float rscale) const {
    if (!std::isfinite(rscale)) reject("scale factor on line 11 is not a finite single-precision number");
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (!std::isfinite(samples[i]))
        reject("sample " + std::to_string(i + 1) + " times the scale factor is not a finite " +
               "single-precision number");
    }
  }
};

}  // namespace

bool isKibtraceHeader(std::string_view line1) {
  return line1 == "KIBTRACE FORMAT" || line1 == "kibtrace format";
}

void readkib(textio::Channels& io, int unit, std::span<float> samples, int& npts, int& isps,
             RecordHeader& h, std::string_view source) {
  h.progress = {};
  const Reader r{io, unit, source, h};
  r.headerLine();
  const NumberFormat scaleFormat = resolveFormat(r.headerFields(npts, isps));
  const float rscale = r.scaleFactor(scaleFormat);
  r.descriptionAndText();
  const NumberFormat dataFormat = resolveFormat(h.dfmt);
  h.progress.sampleFormat = true;
  h.progress.fixedFormat = !dataFormat.free;
  h.progress.integerSamples = dataFormat.integer;
  r.checkCounts(npts, isps, samples.size(), dataFormat);
  const std::span<float> read = samples.first(static_cast<std::size_t>(npts));
  r.samples(read, dataFormat, rscale);
  r.requireFinite(read, rscale);
}

}  // namespace records
