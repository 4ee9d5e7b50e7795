#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tsmerge {

// What the --fix-timeline corrector carries from packet to packet, file to file and merge to
// merge. Clock references are held as bits 32..1 of the 33-bit PCR base (units of two 90 kHz
// ticks), as bytes 6..9 of a packet carry them; timestamps as bits 29..0 (90 kHz ticks). Every
// value is a signed 32-bit pattern that wraps modulo 2^32.
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

}  // namespace tsmerge
