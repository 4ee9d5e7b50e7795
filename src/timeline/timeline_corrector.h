#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "merge/timestamp_rewriter.h"
#include "timeline/timestamp_codec.h"

namespace tsmerge {

// What the corrector carries from packet to packet, file to file and merge to merge. Clock
// references are held as bits 32..1 of the 33-bit PCR base (units of two 90 kHz ticks), as bytes
// 6..9 of a packet carry them; timestamps as bits 29..0 (90 kHz ticks). Every value is a signed
// 32-bit pattern that wraps modulo 2^32.
struct TimelineState {
  // Carried values.
  bool rebasing = false;           // a PCR that did not rise has been met in this merge
  std::int32_t outputPcr = 0;      // the PCR last passed through unchanged or last written
  std::int32_t pcrStep = 0;        // the last PCR interval; fixed once rebasing
  std::int32_t ptsBase = 0;        // (outputPcr + 4500) * 2 of the last rebased PCR packet
  std::int32_t lastTimestamp = 0;  // the old value of the field last read by rewriteTimestamp
  std::array<std::uint8_t, 4> fieldBytes{};  // scratch: the bytes last stored into a field

  // True while the pieces of the current file are walked: the file's first piece passed the
  // sync probe. Lets a file joined in pieces come out as if it was corrected whole.
  bool walkingFile = false;

  // Working values, written before they are read and meaningless between packets.
  std::size_t packetOffset = 0;  // offset of the current packet in the buffer
  std::int32_t sourcePcr = 0;    // bytes 6..9 of the current packet, big-endian
  std::size_t flagsOffset = 0;   // offset in the packet of PES_header_data_length
  std::int32_t ptsDtsFlags = 0;  // the PES flags byte before it (PTS_DTS_flags in bits 7..6)
};

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
