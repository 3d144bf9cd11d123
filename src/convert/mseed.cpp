// miniSEED records (read with libmseed) and the overall sensitivity that
// turns their counts into acceleration, given on the command line or read
// from a StationXML file (with pugixml).
//
// One channel a conversion. Its records must join without gaps or overlaps
// (within half a sample) at one sample rate. No instrument response is
// removed: the counts are divided by the overall sensitivity only, which is
// right for an accelerometer within its flat band. A sensitivity to
// velocity is refused: turning velocity into acceleration needs a
// differentiation or the full response, done elsewhere. A velocity
// sensor's channel converts only when the options say its samples are
// acceleration (floats written after a response removal).
#include <libmseed.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::refuse;

// libmseed reports through a print hook; the last message explains a
// failure in the refusal instead of reaching standard error on its own.
std::string lastLibraryMessage;
// The library ends its messages with a newline, which is not part of the text.
void keepMessage(char* message) {
  std::string_view m = message ? message : "";
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.remove_suffix(1);
  lastLibraryMessage = detail::printable(m);
}

struct MsRecordOwner {
  MSRecord* msr = nullptr;
  ~MsRecordOwner() { msr_free(&msr); }
};

// The contiguous pieces of one channel, in file order.
struct Piece {
  std::int64_t offset;  // byte offset of the record
  hptime_t start;
  double rate;
  std::vector<double> samples;
};

std::string idOf(const MSRecord* m) {
  return std::string(m->network) + "." + m->station + "." + m->location + "." + m->channel;
}

// libmseed's times are microseconds since 1970 (HPTMODULUS 1000000), as
// model::UtcTime.
static_assert(HPTMODULUS == 1000000);

std::string timeText(hptime_t t) { return recinfo::isoText(model::UtcTime{static_cast<std::int64_t>(t)}); }

// The records of a file by channel; a last record cut short is dropped
// when `allowTruncated`, and `dropped` says so.
struct Records {
  std::map<std::string, std::vector<Piece>> channels;
  std::map<std::string, std::string> encodings;
  std::optional<std::string> dropped;  // what was left out, for the comment lines
};

Records readRecords(std::string_view bytes, std::string_view source, bool allowTruncated) {
  ms_loginit(keepMessage, nullptr, keepMessage, nullptr);
  std::string buffer(bytes);  // libmseed takes a writable buffer
  Records out;
  auto& channels = out.channels;
  std::size_t offset = 0, count = 0;
  while (offset < buffer.size()) {
    MsRecordOwner r;
    lastLibraryMessage.clear();
    const auto left = static_cast<int>(std::min<std::size_t>(buffer.size() - offset, 1 << 30));
    const int rc = msr_parse(buffer.data() + offset, left, &r.msr, 0, 1, 0);
    ++count;
    const std::string at = "miniSEED record at byte " + std::to_string(offset);
    if (rc > 0) {
      // More bytes are needed than the file holds: only the last record can
      // be cut short, and every record before it was read whole.
      const std::string cut = "the last record (" + std::to_string(count) + ", at byte " +
                              std::to_string(offset) + ") is cut short: " + std::to_string(rc) +
                              " more bytes are needed";
      if (allowTruncated && count > 1) {
        out.dropped = cut + "; the " + std::to_string(count - 1) +
                      " complete records before it were converted (--allow-truncated)";
        break;
      }
      refuse(source, cut + " (a truncated file)" +
                         (count > 1 ? "; the " + std::to_string(count - 1) +
                                          " records before it are complete, and "
                                          "--allow-truncated converts those"
                                    : ""));
    }
    if (rc < 0 || !r.msr || r.msr->reclen <= 0)
      refuse(source, at + " cannot be read: " + std::string(ms_errorstr(rc)) +
                         (lastLibraryMessage.empty() ? "" : " (" + lastLibraryMessage + ")"));
    // A failed Steim integrity check is only reported, not returned.
    if (lastLibraryMessage.find("integrity") != std::string::npos)
      refuse(source, at + " cannot be read: " + lastLibraryMessage);
    const MSRecord* m = r.msr;
    offset += static_cast<std::size_t>(m->reclen);
    if (m->samplecnt == 0 || m->samprate <= 0.0) continue;  // log or event records hold no samples
    if (m->numsamples != m->samplecnt)
      refuse(source, at + " holds " + std::to_string(m->numsamples) +
                         " samples but its header says " + std::to_string(m->samplecnt));
    Piece p{static_cast<std::int64_t>(offset - m->reclen), m->starttime, m->samprate, {}};
    p.samples.resize(static_cast<std::size_t>(m->numsamples));
    for (std::size_t k = 0; k < p.samples.size(); ++k) {
      switch (m->sampletype) {
        case 'i': p.samples[k] = static_cast<const std::int32_t*>(m->datasamples)[k]; break;
        case 'f': p.samples[k] = static_cast<const float*>(m->datasamples)[k]; break;
        case 'd': p.samples[k] = static_cast<const double*>(m->datasamples)[k]; break;
        default: refuse(source, at + " holds text, not samples");
      }
    }
    out.encodings[idOf(m)] = ms_encodingstr(m->encoding);
    channels[idOf(m)].push_back(std::move(p));
  }
  if (channels.empty()) refuse(source, "the miniSEED file holds no samples");
  return out;
}

// Joins a channel's pieces in time order; refuses a gap, an overlap or a
// change of rate.
std::vector<double> join(std::vector<Piece>& pieces, const std::string& id,
                         std::string_view source) {
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const Piece& a, const Piece& b) { return a.start < b.start; });
  std::vector<double> x = pieces[0].samples;
  for (std::size_t k = 1; k < pieces.size(); ++k) {
    const Piece& a = pieces[k - 1];
    const Piece& b = pieces[k];
    if (std::fabs(b.rate - a.rate) > 1e-6 * a.rate)
      refuse(source, id + " changes rate from " + detail::numberText(a.rate) + " to " +
                         detail::numberText(b.rate) + " samples/s at " + timeText(b.start));
    // Time of the sample after the last one of `a`, in microseconds.
    const double next =
        static_cast<double>(a.start) + static_cast<double>(a.samples.size()) * 1e6 / a.rate;
    const double off = (static_cast<double>(b.start) - next) / 1e6;  // seconds
    if (std::fabs(off) > 0.5 / a.rate)
      refuse(source,
             id + (off > 0 ? " has a gap of " : " overlaps itself by ") +
                 detail::numberText(std::fabs(off)) + " s at " +
                 timeText(static_cast<hptime_t>(off > 0 ? next : static_cast<double>(b.start))) +
                 " (record at byte " + std::to_string(b.offset) +
                 "); kibconv needs one unbroken series");
    x.insert(x.end(), b.samples.begin(), b.samples.end());
  }
  return x;
}

std::string upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

struct Sensitivity {
  double value = 0;  // counts per unit
  Unit unit = Unit::Unknown;
  std::string origin;
  std::string note;  // a choice between disagreeing values, for the comment lines
  model::Recording where;  // station and component as a StationXML file gives them
};

// A number of a StationXML element, when present and within its range.
std::optional<double> xmlNumber(const pugi::xml_node& parent, const char* name, double low,
                                double high) {
  const auto v = detail::parseNumber(detail::trim(parent.child_value(name)));
  if (!v || *v < low || *v > high) return std::nullopt;
  return v;
}

// The channel's coordinates (the station's where the channel has none),
// its sensor's depth below the ground, azimuth and dip.
void describeChannel(const pugi::xml_node& sta, const pugi::xml_node& ch, model::Recording& r) {
  auto either = [&](const char* name, double low, double high) {
    auto v = xmlNumber(ch, name, low, high);
    return v ? v : xmlNumber(sta, name, low, high);
  };
  r.station.latitude = either("Latitude", -90, 90);
  r.station.longitude = either("Longitude", -180, 360);
  r.station.elevation = either("Elevation", -12000, 9000);
  r.station.sensorDepth = xmlNumber(ch, "Depth", 0, 12000);
  r.station.name = detail::printable(sta.child("Site").child_value("Name"));
  r.component.dip = xmlNumber(ch, "Dip", -90, 90);
  if (!r.component.vertical()) {
    r.component.azimuth = xmlNumber(ch, "Azimuth", 0, 360);
    if (r.component.azimuth && *r.component.azimuth == 360.0) r.component.azimuth = 0.0;
  }
}

// The unit of StationXML InputUnits: M/S**2 and its kin are acceleration;
// M/S and M are refused as velocity and displacement.
Unit stationXmlUnit(const std::string& name, const std::string& id, std::string_view xml) {
  std::string u = upper(name);
  if (const auto p = u.find("**"); p != std::string::npos) u.replace(p, 2, "^");
  if (u == "M/SEC**2" || u == "M/SEC^2") u = "M/S^2";
  if (const auto unit = parseUnit(u)) return *unit;
  const bool velocity = u == "M/S" || u == "M/SEC" || u == "CM/S" || u == "NM/S" || u == "MM/S";
  const bool displacement = u == "M" || u == "CM" || u == "MM" || u == "NM";
  const std::string instead =
      ": this sensitivity does not give acceleration; if the samples are acceleration (written "
      "after a response removal), give their sensitivity with --counts-per-unit VALUE --unit U "
      "instead of --stationxml";
  refuse(xml, id + " InputUnits '" + detail::printable(name) + "' " +
                  (velocity       ? "are velocity" + instead
                   : displacement ? "are displacement" + instead
                                  : "are not an acceleration unit (m/s**2, cm/s**2, nm/s**2, g)"));
}

// The product of the gains of the response stages, when every stage has one.
std::optional<double> stageGainProduct(const pugi::xml_node& response) {
  double product = 1.0;
  int stages = 0;
  for (auto stage : response.children("Stage")) {
    const auto gain = detail::parseNumber(detail::trim(stage.child("StageGain").child_value("Value")));
    if (!gain) return std::nullopt;
    product *= *gain;
    ++stages;
  }
  if (stages == 0) return std::nullopt;
  return product;
}

// NET.STA.LOC.CHA taken apart.
struct ChannelId {
  std::string net, sta, loc, cha;
};

ChannelId splitId(const std::string& id) {
  ChannelId c;
  std::string* part[] = {&c.net, &c.sta, &c.loc, &c.cha};
  std::size_t k = 0;
  for (char ch : id) {
    if (ch == '.' && k < 3)
      ++k;
    else
      *part[k] += ch;
  }
  return c;
}

// The channel's overall sensitivity, checked against the product of its
// stage gains: a file whose two disagree by more than 1 % is refused unless
// `choice` says which to believe.
Sensitivity sensitivityOf(const pugi::xml_node& ch, const std::string& id, const std::string& path,
                          SensitivityChoice choice) {
  const auto response = ch.child("Response");
  const auto sens = response.child("InstrumentSensitivity");
  const auto value = detail::parseNumber(detail::trim(sens.child_value("Value")));
  const std::string units = detail::printable(sens.child("InputUnits").child_value("Name"));
  if (!value || !(*value != 0.0))
    refuse(path, id + " has no InstrumentSensitivity Value that is a non-zero number");
  Sensitivity s;
  s.value = *value;
  s.unit = stationXmlUnit(units, id, path);
  s.origin = "StationXML " + std::filesystem::path(path).filename().string();
  const auto stages = stageGainProduct(response);
  const bool differ = stages && std::fabs(*stages - *value) > 0.01 * std::fabs(*value);
  if (choice == SensitivityChoice::Stages) {
    if (!stages) refuse("--sensitivity", "stages: " + id + " in " + path + " has no stage gains to multiply");
    s.value = *stages;
    s.origin += " stage gains";
    s.note = "the product of the stage gains, " + detail::numberText(*stages) +
             ", was used (--sensitivity stages); the overall sensitivity says " +
             detail::numberText(*value);
  } else if (differ && choice == SensitivityChoice::Check) {
    refuse(path, id + " InstrumentSensitivity Value " + detail::numberText(*value) +
                     " disagrees with the product of its stage gains, " +
                     detail::numberText(*stages) +
                     "; choose one with --sensitivity overall or --sensitivity stages");
  } else if (differ) {
    s.note = "the overall sensitivity was used (--sensitivity overall); the stage gains multiply "
             "to " + detail::numberText(*stages);
  }
  return s;
}

Sensitivity fromStationXml(const std::string& path, const std::string& id, hptime_t start,
                           SensitivityChoice choice) {
  std::ifstream in(path, std::ios::binary);
  if (!in) refuse(path, "cannot be opened");
  std::ostringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  pugi::xml_document doc;
  const auto ok = doc.load_buffer(text.data(), text.size());
  if (!ok) {
    const auto line =
        1 + std::count(text.begin(),
                       text.begin() + std::min<std::ptrdiff_t>(
                                          ok.offset, static_cast<std::ptrdiff_t>(text.size())),
                       '\n');
    refuse(path, "line " + std::to_string(line) + ": not readable XML: " + ok.description());
  }
  const model::UtcTime first{static_cast<std::int64_t>(start)};
  // The channel epoch that holds the first sample.
  auto covers = [&](const pugi::xml_node& ch) {
    const auto from = recinfo::parseUtc(ch.attribute("startDate").value());
    const auto to = recinfo::parseUtc(ch.attribute("endDate").value());
    return (!from || *from <= first) && (!to || first < *to);
  };
  std::set<std::string> held;       // every channel of the file
  std::vector<std::string> epochs;  // the epochs of the channel asked for
  for (auto net : doc.child("FDSNStationXML").children("Network")) {
    for (auto sta : net.children("Station")) {
      for (auto ch : sta.children("Channel")) {
        const std::string chId = std::string(net.attribute("code").value()) + "." +
                                 sta.attribute("code").value() + "." +
                                 ch.attribute("locationCode").value() + "." +
                                 ch.attribute("code").value();
        held.insert(detail::printable(chId));
        if (chId != id) continue;
        if (!covers(ch)) {
          epochs.push_back(std::string(ch.attribute("startDate").value()) + " to " +
                           (*ch.attribute("endDate").value() ? ch.attribute("endDate").value()
                                                              : "open"));
          continue;
        }
        Sensitivity s = sensitivityOf(ch, id, path, choice);
        describeChannel(sta, ch, s.where);
        return s;
      }
    }
  }
  if (!epochs.empty()) {
    std::string list;
    for (const auto& e : epochs) list += (list.empty() ? "" : ", ") + detail::printable(e);
    refuse(path, "holds " + id + " but not in service at " + timeText(start) + " (its epochs: " +
                     list + ")");
  }
  std::string list;
  for (const auto& h : held) list += (list.empty() ? "" : ", ") + h;
  refuse(path, "holds no channel " + id +
                   (held.empty() ? std::string("; it holds no channels at all")
                                 : "; it holds " + list));
}

// The sensitivity is given once: a value with its unit, or a StationXML file.
void checkSensitivityOptions(const ReadOptions& ro) {
  if (ro.sensitivity != SensitivityChoice::Check && !ro.stationXml)
    refuse("--sensitivity", "chooses between the values of a StationXML file; give --stationxml");
  if (ro.countsPerUnit && ro.stationXml)
    refuse("--counts-per-unit", "cannot be combined with --stationxml; give the sensitivity once");
  if (ro.countsPerUnit && !ro.unit)
    refuse("--counts-per-unit", "needs --unit to say which unit the counts are counted in");
  if (ro.stationXml && ro.unit)
    refuse("--unit", "the StationXML file gives the unit; --unit goes with --counts-per-unit");
}

// The channel the options name, or the only one.
std::string chooseChannel(const std::map<std::string, std::vector<Piece>>& channels,
                          const std::optional<std::string>& channel, std::string_view source) {
  std::string listing;
  for (const auto& entry : channels) listing += (listing.empty() ? "" : ", ") + entry.first;
  if (channel) {
    if (!channels.count(*channel))
      refuse("--channel", "'" + *channel + "' is not in the miniSEED file, which holds " + listing);
    return *channel;
  }
  if (channels.size() > 1)
    refuse(source, "the miniSEED file holds " + std::to_string(channels.size()) + " channels (" +
                       listing + "); choose one with --channel NET.STA.LOC.CHA");
  return channels.begin()->first;
}

}  // namespace

Trace readMiniSeed(std::string_view bytes, std::string_view source, const ReadOptions& ro) {
  checkSensitivityOptions(ro);

  Records records = readRecords(bytes, source, ro.allowTruncated);
  const std::string id = chooseChannel(records.channels, ro.channel, source);
  auto& pieces = records.channels[id];
  const std::vector<double> counts = join(pieces, id, source);

  const ChannelId code = splitId(id);
  const auto sensor = detail::velocitySensor(code.cha);
  if (!ro.countsPerUnit && !ro.stationXml)
    refuse(source, sensor ? id + " is a velocity channel (" + *sensor +
                                "), and nothing says its samples are acceleration: if they are "
                                "(written after a response removal), give --counts-per-unit 1 "
                                "--unit U"
                          : std::string("miniSEED holds counts; give the overall sensitivity with "
                                        "--counts-per-unit VALUE --unit U or --stationxml FILE"));

  Sensitivity s;
  if (ro.countsPerUnit) {
    s.value = *ro.countsPerUnit;
    s.unit = *ro.unit;
    s.origin = "--counts-per-unit";
  } else {
    s = fromStationXml(*ro.stationXml, id, pieces[0].start, ro.sensitivity);
  }

  Trace t;
  t.formatText = "miniSEED, " + records.encodings[id];
  t.info = s.where;
  t.info.station.network = code.net;
  t.info.station.code = code.sta;
  t.info.station.location = code.loc;
  t.info.component.code = code.cha;
  t.dt = 1.0 / pieces[0].rate;
  t.info.firstSample = model::UtcTime{static_cast<std::int64_t>(pieces[0].start)};
  t.unit = s.unit;
  t.unitOrigin = s.origin + (ro.stationXml ? " InputUnits" : "");
  // Each sample formed in double and rounded once to float.
  for (double c : counts) t.samples.push_back(static_cast<float>(c / s.value));
  t.notes.push_back("channel " + id + ", " + std::to_string(pieces.size()) +
                    " records joined without gaps");
  if (records.dropped) t.notes.push_back(*records.dropped);
  t.notes.push_back("counts divided by " + detail::numberText(s.value) + " counts per " +
                    std::string(unitName(s.unit)) + " (" + s.origin + ")");
  if (!s.note.empty()) t.notes.push_back(s.note);
  t.notes.push_back("only the overall sensitivity was applied: no instrument response removed");
  return t;
}

}  // namespace convert
