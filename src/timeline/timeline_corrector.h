#pragma once

#include <cstdint>
#include <span>

#include "merge/timestamp_rewriter.h"
#include "timeline/timeline_state.h"

namespace tsmerge {

// Starts a merge with correction on: rebasing and outputPcr become 0 and fieldBytes four zero
// bytes. pcrStep, ptsBase and lastTimestamp carry over from the previous merge.
void resetTimelineState(TimelineState& state);

// Corrects, in place and in one forward pass, one piece of a source that begins with the sync
// byte. startsFile marks the first piece, which must hold bytes 0..376 when the file has them:
// a file whose bytes 0, 188 and 376 are not all 0x47 passes unchanged, all its pieces. Otherwise
// the piece is walked as 188-byte packets from its offset 0, so every piece but the last must be
// a multiple of 188 bytes; joined that way, the pieces come out exactly as the whole file would.
// While the examined PCRs (payload_unit_start_indicator 1, adaptation field with PCR) rise,
// nothing changes; from the first that does not, every examined PCR advances by the last
// interval and the PES timestamps of its packet, and of later PES-only packets, follow it.
// Nothing outside the buffer is read or written, nor anything of one packet on behalf of another.
void correctBuffer(TimelineState& state, std::span<std::uint8_t> buffer, bool startsFile);

// Rebases the PCR packet at state.packetOffset, whose PCR correctBuffer has read into
// state.sourcePcr: writes outputPcr + pcrStep into bytes 6..9 and sets the PTS (and DTS) of the
// PES header right behind the adaptation field from it. A packet too short to hold bytes 6..9 is
// left alone with the state.
void rebasePacket(TimelineState& state, std::span<std::uint8_t> buffer);

// The merge job's rewriter: corrects with a state that its owner keeps (the window one for the
// whole program run, the command line a fresh one).
class TimelineCorrector final : public TimestampRewriter {
 public:
  explicit TimelineCorrector(TimelineState& state) : state_(state) {}

  void resetTimelineState() override { tsmerge::resetTimelineState(state_); }
  void correctBuffer(std::span<std::uint8_t> piece, bool startsFile) override {
    tsmerge::correctBuffer(state_, piece, startsFile);
  }

  const TimelineState& state() const { return state_; }

 private:
  TimelineState& state_;
};

}  // namespace tsmerge
