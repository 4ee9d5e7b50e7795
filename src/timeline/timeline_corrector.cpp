#include "timeline/timeline_corrector.h"

#include <algorithm>

#include "merge/merge_job.h"

namespace tsmerge {

// The merge hands over a file in pieces of kPieceBytes; the sync probe sees the first one only.
static_assert(kPieceBytes % kTsPacketBytes == 0 && kPieceBytes > 2 * kTsPacketBytes);

namespace {

// ISO/IEC 13818-1, 2.4.3.2 and 2.4.3.4.
constexpr std::uint8_t kPayloadUnitStart = 0x40;      // byte 1
constexpr std::uint8_t kAdaptationAndPayload = 0x30;  // byte 3, adaptation_field_control 11
constexpr std::uint8_t kPcrFlag = 0x10;               // byte 5
constexpr std::size_t kPcrAt = 6;                     // program_clock_reference_base bits 32..1
// PES header (2.4.3.7): flags byte with PTS_DTS_flags 10 or 11 and no other flag.
constexpr std::int32_t kPtsOnly = 0x80;
constexpr std::int32_t kPtsAndDts = 0xC0;
constexpr std::uint8_t kPtsOnlyHeaderLength = 5;
// PES_header_data_length follows the start code, stream_id, PES_packet_length and a flags byte.
constexpr std::size_t kLengthInPes = 8;
// From PES_header_data_length to byte 1 of the PTS and of the DTS field.
constexpr std::size_t kPtsFromLength = 2;
constexpr std::size_t kDtsFromLength = 7;
// Where the PES header is looked for: right behind the adaptation field (bytes 5..4+A) on the PCR
// path, right after the 4-byte packet header in a packet without both adaptation field and
// payload.
constexpr std::size_t kPesAfterAdaptation = 5;
constexpr std::size_t kPesOnlyStart = 4;
// A PTS is set 4500 PCR units (0.1 s) after the PCR it follows.
constexpr std::int64_t kPtsLead = 4500;

// The packet at offset, cut short at the end of the buffer.
std::span<std::uint8_t> packetAt(std::span<std::uint8_t> buffer, std::size_t offset) {
  if (offset >= buffer.size()) return {};
  return buffer.subspan(offset, std::min(kTsPacketBytes, buffer.size() - offset));
}

// True when the packet holds bytes 0..last.
bool holds(std::span<const std::uint8_t> packet, std::size_t last) { return last < packet.size(); }

// True when the packet holds bytes 1..4 of the timestamp field whose byte 1 is at `at`.
bool holdsField(std::span<const std::uint8_t> packet, std::size_t at) {
  return holds(packet, at + kTimestampBytes - 1);
}

bool syncProbe(std::span<const std::uint8_t> buffer) {
  return holds(buffer, 2 * kTsPacketBytes) && buffer[0] == kTsSyncByte &&
         buffer[kTsPacketBytes] == kTsSyncByte && buffer[2 * kTsPacketBytes] == kTsSyncByte;
}

std::int32_t readBigEndian32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::int32_t>(std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                   std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]});
}

// Sets flagsOffset for the PES header that starts at pesAt and reads the flags byte before it;
// false when that byte lies outside the packet.
bool readPesFlags(TimelineState& state, std::span<const std::uint8_t> packet, std::size_t pesAt) {
  state.flagsOffset = pesAt + kLengthInPes;
  if (!holds(packet, state.flagsOffset - 1)) return false;
  state.ptsDtsFlags = packet[state.flagsOffset - 1];
  return true;
}

// True when the PES header read by readPesFlags has flags 0x80, header length 5 and its PTS
// field inside the packet.
bool rewritablePtsOnly(const TimelineState& state, std::span<const std::uint8_t> packet) {
  return state.ptsDtsFlags == kPtsOnly && holds(packet, state.flagsOffset) &&
         packet[state.flagsOffset] == kPtsOnlyHeaderLength &&
         holdsField(packet, state.flagsOffset + kPtsFromLength);
}

// While rebasing, a PES header right after the packet header with flags 0x80 and header length 5
// gets its PTS placed from the old value of the field decoded before it.
void rebasePesOnly(TimelineState& state, std::span<std::uint8_t> buffer,
                   std::span<const std::uint8_t> packet) {
  const std::size_t s = kPesOnlyStart;
  if (!holds(packet, s + 2) || packet[s] != 0 || packet[s + 1] != 0 || packet[s + 2] != 1) return;
  if (readPesFlags(state, packet, s) && rewritablePtsOnly(state, packet)) {
    rewriteTimestamp(state, buffer, state.packetOffset + state.flagsOffset + kPtsFromLength,
                     state.ptsBase, TimestampMode::Relative);
  }
}

void correctPacket(TimelineState& state, std::span<std::uint8_t> buffer) {
  const std::span<std::uint8_t> packet = packetAt(buffer, state.packetOffset);
  if (!holds(packet, 1) || (packet[1] & kPayloadUnitStart) == 0) return;
  if (!holds(packet, 3)) return;
  if ((packet[3] & kAdaptationAndPayload) != kAdaptationAndPayload) {
    if (state.rebasing) rebasePesOnly(state, buffer, packet);
    return;
  }
  if (!holds(packet, 5) || (packet[5] & kPcrFlag) == 0) return;
  if (!holds(packet, kPcrAt + 3)) return;
  state.sourcePcr = readBigEndian32(packet.subspan(kPcrAt, 4));
  if (state.rebasing) {
    rebasePacket(state, buffer);
  } else if (static_cast<std::uint32_t>(state.outputPcr) <
             static_cast<std::uint32_t>(state.sourcePcr)) {
    // Unsigned: a PCR base of 2^32 or more (bytes 6..9 from 80 00 00 00) still rises.
    state.pcrStep = wrap32(std::int64_t{state.sourcePcr} - state.outputPcr);
    state.outputPcr = state.sourcePcr;
  } else {
    state.rebasing = true;
    rebasePacket(state, buffer);
  }
}

}  // namespace

void resetTimelineState(TimelineState& state) {
  state.fieldBytes = {};
  state.rebasing = false;
  state.outputPcr = 0;
}

void correctBuffer(TimelineState& state, std::span<std::uint8_t> buffer, bool startsFile) {
  if (startsFile) state.walkingFile = syncProbe(buffer);
  if (!state.walkingFile) return;
  for (state.packetOffset = 0; state.packetOffset < buffer.size();
       state.packetOffset += kTsPacketBytes) {
    correctPacket(state, buffer);
  }
}

void rebasePacket(TimelineState& state, std::span<std::uint8_t> buffer) {
  const std::span<std::uint8_t> packet = packetAt(buffer, state.packetOffset);
  if (!holds(packet, kPcrAt + 3)) return;

  state.outputPcr = wrap32(std::int64_t{state.outputPcr} + state.pcrStep);
  // Bytes 10 and 11 (base bit 0, reserved bits, extension) keep their source values.
  const auto pcr = static_cast<std::uint32_t>(state.outputPcr);
  state.fieldBytes = {static_cast<std::uint8_t>(pcr), static_cast<std::uint8_t>(pcr >> 8),
                      static_cast<std::uint8_t>(pcr >> 16), static_cast<std::uint8_t>(pcr >> 24)};
  std::reverse_copy(state.fieldBytes.begin(), state.fieldBytes.end(), packet.begin() + kPcrAt);
  state.ptsBase = wrap32((std::int64_t{state.outputPcr} + kPtsLead) * 2);

  // The PES header is taken to begin right behind the adaptation field, without a look at its
  // start code; its fields are used only where they lie inside this packet.
  if (!readPesFlags(state, packet, std::size_t{packet[4]} + kPesAfterAdaptation)) return;
  const std::size_t ptsAt = state.packetOffset + state.flagsOffset + kPtsFromLength;
  const std::size_t dtsAt = state.packetOffset + state.flagsOffset + kDtsFromLength;
  if (rewritablePtsOnly(state, packet)) {
    rewriteTimestamp(state, buffer, ptsAt, state.ptsBase, TimestampMode::Absolute);
  } else if (state.ptsDtsFlags == kPtsAndDts &&
             holdsField(packet, state.flagsOffset + kDtsFromLength)) {
    // The DTS first, then the PTS at its old distance from it; the header length is not
    // consulted. When the DTS does not fit in the packet, neither field is touched.
    const std::int32_t dtsOld =
        *rewriteTimestamp(state, buffer, dtsAt, state.ptsBase, TimestampMode::Absolute);
    rewritePtsKeepingOffset(state, buffer, ptsAt, dtsOld, state.ptsBase);
  }
}

}  // namespace tsmerge
