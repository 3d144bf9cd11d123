// A study set up from records that carry their times and coordinates: the
// windows put the element's S, where the summation places its hypocentral
// copy, on the target's S (checked against the summation plan's own shifts
// and against egfsim's comparison, whose best lag must be 0); every refusal
// names the record and what supplies the missing or conflicting value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/simulation.hpp"
#include "example/kibtrace.hpp"
#include "geo/geo.hpp"
#include "paramfile/paramfile.hpp"
#include "recinfo/recinfo.hpp"
#include "study/study.hpp"
#include "support/files.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace {

namespace fs = std::filesystem;
constexpr float kDt = 0.01f;
constexpr double kDeg = 3.14159265358979323846 / 180.0;

// A fault of two subfaults along strike, the hypocentre on the first, the
// station ahead of the second: with a rupture far faster than S the second
// copy's delay is negative and lagmin < 0.
model::Params twoSubfaults(float vr) {
  model::Params p;
  p.dip = static_cast<float>(90 * kDeg);
  p.z = 28.0f, p.rm = 21.0f;  // r0 = 35 km
  p.ra = 10.5f, p.za = 14.0f;
  p.dx = 7.0f, p.dw = 1.0f, p.tra = kDt;
  p.nx = 2, p.nw = 1, p.nt = 1, p.nsx = 1, p.nsw = 1;
  p.vs = 3.5f, p.vr = vr;
  p.ird = model::Rupture::AlongStrike;
  p.imdl = model::TimeFunction{1};
  p.cfac = 1.0f;
  return p;
}

TEST(Align, TheElementsSArrivesWhereTheSummationPutsTheHypocentresCopy) {
  struct Row {
    const char* what;
    float vr;
    double targetFirst, elementOrigin, elementFirst, from;
  };
  // Target S at 35/3.5 = 10 s after its origin; element S 17.5/3.5 = 5 s
  // after its own.
  const Row rows[] = {
      {"whole-sample arrivals, lagmin 0", 2.5f, -2.0, 100.0, 101.5, -1.0},
      {"whole-sample arrivals, lagmin < 0", 100.0f, -2.0, 100.0, 101.5, -1.0},
      {"arrivals between samples, lagmin < 0", 100.0f, -2.003, 100.0042, 101.5, 0.5},
      {"element record long before its event", 2.5f, 3.0, -170.0, -340.27, -2.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const model::Params p = twoSubfaults(r.vr);
    const synthesis::SubfaultModel m = synthesis::sourceModel(p, kDt);
    const synthesis::SummationPlan plan(p, m, kDt);
    study::AlignmentInput in;
    in.targetOrigin = 0, in.targetFirst = r.targetFirst, in.targetDistance = 35.0;
    in.elementOrigin = r.elementOrigin, in.elementFirst = r.elementFirst, in.elementDistance = 17.5;
    in.vs = 3.5, in.dt = kDt, in.lagmin = plan.lagmin(), in.from = r.from, in.to = r.from + 8.0;
    const study::Alignment a = study::align(in);
    EXPECT_EQ(a.kem - a.ksm, 800);
    // The target's S sample from the window's start, as written.
    EXPECT_NEAR(a.targetS - a.ksm, -r.from / kDt, 0.5);
    // The first copy of the hypocentre's subfault (delay 0) carries element
    // sample n to synthetic sample n + shift.
    const int shift = plan.shift(plan.areas()[0], 1, 1, 1);
    EXPECT_EQ(shift, -plan.lagmin());
    const double synthetic = a.elementS + shift - a.ksa;
    const double observed = a.targetS - a.ksm;
    EXPECT_NEAR(synthetic, observed, 0.5);
    EXPECT_NEAR(synthetic - observed, a.residual, 1e-9);
    if (r.targetFirst == std::round(r.targetFirst)) {
      EXPECT_NEAR(synthetic, observed, 1e-3);  // dt is the float nearest 0.01
    }
    if (r.vr > 3.5f) {
      EXPECT_LT(plan.lagmin(), 0);
    }
  }
}

// ------------------------------------------------------------ set up from files

const model::UtcTime kTargetOrigin = recinfo::utcFromCivil(2020, 1, 1, 0, 0, 0);
const model::UtcTime kElementOrigin = recinfo::utcFromCivil(2020, 1, 2, 3, 4, 5, 250000);
constexpr int kTargetS = 1001, kElementS = 501;  // the samples the S waves fall on
constexpr int kTargetSamples = 4000, kElementSamples = 2000;

model::EventInfo event(double lat, double lon, double depth, model::UtcTime origin) {
  model::EventInfo e;
  e.latitude = lat, e.longitude = lon, e.depth = depth, e.origin = origin;
  e.magnitude = 5.0, e.magnitudeType = "Mw";
  return e;
}

// A smooth pulse (a Ricker wavelet of 2 Hz) centred on sample `at`.
std::vector<double> pulse(int samples, int at) {
  std::vector<double> v(static_cast<std::size_t>(samples));
  for (int n = 1; n <= samples; ++n) {
    const double t = (n - at) * kDt * 2.0 * 3.14159265358979323846;
    v[static_cast<std::size_t>(n - 1)] = 50.0 * (1 - t * t / 2) * std::exp(-t * t / 4);
  }
  return v;
}

// A pair of records at one station, each saying what kibconv would have
// written of it; a case may change either before the files are written.
struct Case {
  model::Recording target, element;
  study::Study study;
  std::function<void(Case&)> change;

  Case() {
    model::StationInfo s;
    s.network = "XX", s.code = "TSTA", s.latitude = 35.0, s.longitude = 139.0, s.elevation = 250.0;
    model::ComponentInfo c;
    c.code = "NS", c.azimuth = 0.0, c.dip = 0.0;
    target.station = element.station = s;
    target.component = element.component = c;
    target.event = event(35.1, 139.05, 10.0, kTargetOrigin);
    element.event = event(35.08, 139.02, 8.0, kElementOrigin);
    study.target.info = target.event;
    study.target.mechanism = study::Mechanism{30, 80, 10};
    study.element.info = element.event;
    study.processing.filter = false;
    study::Station st;
    study::RecordPair pair;
    pair.label = "NS";
    pair.where = "study.toml:9:1";
    st.records.push_back(pair);
    study.stations.push_back(st);
  }

  // First samples that put each S wave on its sample at 3.5 km/s.
  void placeArrivals() {
    for (auto [r, n] : {std::pair{&target, kTargetS}, {&element, kElementS}}) {
      const double R = geo::geometryOf(r->event, r->station).geometry->hypocentralKm;
      r->firstSample = recinfo::plusSeconds(*r->event.origin, R / 3.5 - (n - 1) * kDt);
    }
  }

  void write(const fs::path& dir) {
    placeArrivals();
    if (change) change(*this);
    for (auto [r, name, samples, at] : {std::tuple{&target, "target.kib", kTargetSamples, kTargetS},
                                        {&element, "element.kib", kElementSamples, kElementS}}) {
      example::KibHeader h;
      h.head3 = "NS", h.rcode = "TSTA", h.rname = "TEST", h.dunit = "gal";
      h.comments = recinfo::describe(*r);
      testsupport::writeFile(dir / name, example::writeFloatRecord(h, pulse(samples, at)).text);
    }
    for (study::Station& st : study.stations)
      for (study::RecordPair& p : st.records) {
        p.target = dir / "target.kib";
        p.element = dir / "element.kib";
      }
  }
};

model::Params oneSubfault() {
  model::Params p;
  p.dx = 1.0f, p.dw = 1.0f, p.tra = kDt;
  p.nx = p.nw = p.nt = p.nsx = p.nsw = 1;
  p.cfac = 1.0f, p.vs = 3.5f, p.vr = 2.5f;
  p.ird = model::Rupture::Radial;
  p.imdl = model::TimeFunction{1};
  return p;
}

TEST(SetUp, EgfsimsComparisonFindsTheTwoSWavesAtLagZero) {
  testsupport::TempFolder dir;
  Case c;
  // The element record says nothing of its start: the study gives it.
  c.change = [](Case& k) {
    for (study::RecordPair& p : k.study.stations[0].records) p.elementStart = k.element.firstSample;
    k.element.firstSample.reset();
  };
  c.write(dir.path());
  const std::vector<study::SetupRecord> out = study::setUp(c.study, oneSubfault(), dir.path());
  ASSERT_EQ(out.size(), 1u);
  dir.write("params.txt", paramfile::compose(out[0].values));

  textio::Channels io;
  io.open(paramfile::kUnit, dir.file("params.txt"));
  model::Params p = paramfile::readParams(io, paramfile::kUnit);
  paramfile::check(p, "params.txt");
  // Depths below the sensor, 250 m above sea level.
  EXPECT_FLOAT_EQ(p.z, 10.25f);
  EXPECT_FLOAT_EQ(p.za, 8.25f);
  EXPECT_EQ(p.ksm, kTargetS - 100);
  EXPECT_EQ(p.kem, kTargetS + 700);
  EXPECT_EQ(p.ksa - p.ksm, kElementS - kTargetS);
  for (float q : p.q) EXPECT_EQ(q, 0.0f);  // line 5, echoed only
  fs::current_path(dir.path());  // the record names are relative to the parameter file
  records::RecordHeader h;
  const auto target = records::readRecordFile(io, 10, p.fmain, h);
  const auto element = records::readRecordFile(io, 20, p.faft, h);
  const core::Simulation s = core::simulate(p, core::prepareRecords(p, target, element).target,
                                            core::prepareRecords(p, target, element).element);
  // The same pulse in both: at lag 0 the acceleration is the same shape;
  // the displacement differs a little by the two records' lengths, over
  // which the integrations' means are removed.
  for (const synthesis::Fit& f : s.fits) EXPECT_EQ(f.lag, 0);
  EXPECT_GT(s.fits[0].cor, 0.999f);
  EXPECT_GT(s.fits[2].cor, 0.95f);
}

TEST(SetUp, EachRefusalNamesTheRecordAndWhatSuppliesTheValue) {
  struct Row {
    const char* what;
    std::function<void(Case&)> change;
    std::vector<std::string> says;
  };
  const Row rows[] = {
      {"no first sample anywhere", [](Case& k) { k.target.firstSample.reset(); },
       {"TSTA NS (study.toml:9:1)", "target.kib", "target_start"}},
      {"no station position anywhere",
       [](Case& k) { k.target.station.latitude.reset(), k.element.station.latitude.reset(); },
       {"TSTA NS", "latitude", "[[station]]"}},
      {"no element origin anywhere",
       [](Case& k) { k.element.event.origin.reset(), k.study.element.info.origin.reset(); },
       {"element event has no origin", "[element]", "--origin-time"}},
      {"no component azimuth", [](Case& k) { k.target.component.azimuth.reset(), k.element.component.azimuth.reset(); },
       {"azimuth", "vertical = true"}},
      {"no station code anywhere", [](Case& k) { k.target.station.code.clear(), k.element.station.code.clear(); },
       {"no code", "[[station]]"}},
      {"two station codes", [](Case& k) { k.element.station.code = "TSTB"; },
       {"target.kib", "element.kib", "TSTA", "TSTB"}},
      {"two places 150 m apart", [](Case& k) { k.element.station.latitude = 35.00135; },
       {"target.kib", "element.kib", "m apart"}},
      {"two component azimuths", [](Case& k) { k.element.component.azimuth = 90.0; },
       {"target.kib", "element.kib", "0.0", "90.0"}},
      {"a vertical element of a horizontal target", [](Case& k) { k.element.component.dip = -90.0; },
       {"horizontal", "vertical"}},
      {"a station off the Earth",
       [](Case& k) {
         k.target.station.latitude.reset(), k.element.station.latitude.reset();
         k.study.stations[0].info.latitude = 95.0;
       },
       {"not a place on the Earth"}},
      {"a hypocentre deeper than any", [](Case& k) { k.study.target.info.depth = 900.0; },
       {"target event's depth", "900.00"}},
      {"an element hypocentre deeper than any",
       [](Case& k) { k.element.event.depth = 900.0, k.study.element.info.depth = 900.0; },
       {"element event's depth", "900.00"}},
      {"a window past the record's end", [](Case& k) { k.study.processing.to = 40.0; },
       {"does not fit in the target record", "4000 samples (40.00 s)"}},
      {"a window before the record's start", [](Case& k) { k.study.processing.from = -11.0; },
       {"does not fit in the target record", "4000 samples"}},
      {"an element record after its S", [](Case& k) { k.element.firstSample = recinfo::plusSeconds(*k.element.firstSample, 6.0); },
       {"element's predicted S arrival", "outside the element record", "2000 samples"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    testsupport::TempFolder dir;
    Case c;
    c.change = r.change;
    c.write(dir.path());
    try {
      study::setUp(c.study, oneSubfault(), dir.path());
      ADD_FAILURE() << "not refused";
    } catch (const textio::InputRejected& e) {
      EXPECT_EQ(e.message.find('\n'), std::string::npos) << e.message;
      for (const std::string& s : r.says) EXPECT_NE(e.message.find(s), std::string::npos) << e.message;
    }
  }
}

TEST(SetUp, DisagreementsAreReportedAndTheRecordsWin) {
  testsupport::TempFolder dir;
  Case c;
  c.change = [](Case& k) {
    k.study.stations[0].info.latitude = 35.01;  // 1.1 km from the records' position
    k.study.stations[0].info.longitude = 139.0;
    k.study.stations[0].hand.rm = 30.0;         // far from the coordinates' distance
    k.study.stations[0].hand.pa = 10.0;
    k.study.target.info.origin = recinfo::plusSeconds(kTargetOrigin, 0.0);
    k.target.event.origin = recinfo::plusSeconds(kTargetOrigin, 7.0);  // a header's rounded time
  };
  c.write(dir.path());
  // The element record's name, relative to the setup folder, fills line 13's
  // 80 columns; one more and neither it nor its absolute path fits.
  const std::string name = std::string(76, 'e') + ".kib";
  fs::path& element = c.study.stations[0].records[0].element;
  fs::rename(element, dir.path() / ("x" + name));
  element = dir.path() / ("x" + name);
  EXPECT_THROW(study::setUp(c.study, oneSubfault(), dir.path()), textio::InputRejected);
  fs::rename(element, dir.path() / name);
  element = dir.path() / name;
  const study::SetupRecord r = study::setUp(c.study, oneSubfault(), dir.path()).at(0);
  EXPECT_EQ(std::get<std::string>(r.values.at("faft")), name);
  std::string notes;
  for (const std::string& n : r.notes) notes += n + "\n";
  for (const char* s : {"the records' position is used", "rm 30.00 given by hand", "pa 10.00 given by hand",
                        "target event's origin"})
    EXPECT_NE(notes.find(s), std::string::npos) << notes;
  EXPECT_EQ(std::get<double>(r.values.at("rm")), 30.0);
  const std::string report = study::report(c.study, {r});
  EXPECT_NE(report.find("geodesic distance on WGS84 from the target epicentre"), std::string::npos) << report;
  EXPECT_NE(report.find(" to the station at 35.00000 "), std::string::npos) << report;
  EXPECT_NE(report.find("note: rm 30.00"), std::string::npos);
  EXPECT_NE(report.find("the target's mechanism (the element's not given)"), std::string::npos) << report;
}

}  // namespace
