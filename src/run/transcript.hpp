// egfsim's transcript of the stages, written from their results: the lines
// each stage reports, in the order and with the bytes of the console
// program, including those of a stage that was refused part-way.
#pragma once

#include <array>

#include "core/simulation.hpp"
#include "model/params.hpp"
#include "records/records.hpp"
#include "textio/stop.hpp"
#include "textio/textio.hpp"

namespace run {

// The record reader's lines, as far as its reading got: the header line
// (and the complaint when it is not KIBTRACE), nskip, and a fixed sample
// format with the kind of its numbers.
void reportRecordReading(textio::Channels& io, const records::RecordHeader& h);

// The means a record's preparation removed (the record's, then those of the
// copies named by `names`), and the filter's complaint once per series when
// its design was refused.
void reportPreparation(textio::Channels& io, const model::Params& p,
                       const records::PreparedRecord& r, const std::array<const char*, 3>& names);

// The transcript of the simulation's stages, as far as they got; `refusal`
// is the refusal that stopped them, if one did.
void reportSimulation(textio::Channels& io, const model::Params& p, const core::Simulation& sim,
                      const textio::InputRejected* refusal);

}  // namespace run
