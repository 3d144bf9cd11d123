// The run's working arrays and the scalars that pass between its stages,
// allocated once at fixed capacity. Sample i of a series (counted from 1)
// is element i - 1.
#pragma once

#include <vector>

namespace run {

inline constexpr int kRecordCapacity = 20000;    // d, di, dii, spc, spcs
inline constexpr int kSeriesCapacity = 15000;    // the prepared and synthetic series
inline constexpr int kSpectrumCapacity = 10000;  // amp, fre

struct Workspace {
  std::vector<float> d, di, dii;     // record being prepared: acceleration and its two integrals
  std::vector<float> dm, dmm, dmmm;  // observed (target) acceleration, velocity, displacement
  std::vector<float> da, daa, daaa;  // element acceleration, velocity, displacement times cfac
  std::vector<float> ds, dss, dsss;  // synthetic acceleration, velocity, displacement
  std::vector<float> spc, spcs;      // observed and synthetic spectrum windows
  std::vector<float> amp, fre;       // amplitude spectrum and its frequencies

  float dt = 0;   // sample interval (s) of the record read last
  int nmain = 0;  // sample count of the target record
  int naft = 0;   // sample count of the element record

  Workspace()
      : d(kRecordCapacity), di(kRecordCapacity), dii(kRecordCapacity),
        dm(kSeriesCapacity), dmm(kSeriesCapacity), dmmm(kSeriesCapacity),
        da(kSeriesCapacity), daa(kSeriesCapacity), daaa(kSeriesCapacity),
        ds(kSeriesCapacity), dss(kSeriesCapacity), dsss(kSeriesCapacity),
        spc(kRecordCapacity), spcs(kRecordCapacity),
        amp(kSpectrumCapacity), fre(kSpectrumCapacity) {}
};

}  // namespace run
