// The program's fixed limits, in one place: the parameter checks, the record
// reader, the stages, the converter and the fuzz targets all use these.
#pragma once

namespace model {

inline constexpr int kMaxGrid = 30;            // subfaults along strike (nx) and down dip (nw)
inline constexpr int kMaxShifts = 500;         // time subdivisions of a subfault (ntt)
inline constexpr int kMaxSamples = 15000;      // samples of a record and of every prepared series
inline constexpr int kRecordCapacity = 20000;  // samples a record buffer holds
inline constexpr int kMaxTextLines = 100;      // free text lines of a record (nskip)
inline constexpr int kFftLength = 8192;  // transform (and longest window) of the spectrum figure
inline constexpr int kConsoleIn = 5;     // console channel the dialogue is read from
inline constexpr int kConsoleOut = 6;    // console channel the transcript is written to

}  // namespace model
