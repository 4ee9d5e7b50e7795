#include "timeline/timeline_corrector.h"

#include "timeline/timestamp_codec.h"
#include "ts/clock.h"
#include "ts/packet.h"
#include "ts/pes.h"

namespace tsmerge {

namespace {

// adaptation_field_control 11: adaptation field followed by payload (2.4.3.2).
constexpr unsigned kAdaptationAndPayload = 0x3;
// PES flags bytes the corrector rewrites (2.4.3.7): PTS_DTS_flags 10 or 11 and no other flag.
constexpr std::int32_t kPtsOnly = 0x80;
constexpr std::int32_t kPtsAndDts = 0xC0;
constexpr std::uint8_t kPtsOnlyHeaderLength = 5;
// A PTS is set 4500 PCR units (0.1 s) after the PCR it follows.
constexpr std::int64_t kPtsLead = 4500;

// The codec addresses a field by its byte 1, behind the prefix byte.
std::size_t codecAt(std::size_t fieldAt) { return fieldAt + 1; }

// True when the packet holds bytes 1..4 of the timestamp field whose byte 0 is at fieldAt.
bool holdsField(const PacketView& packet, std::size_t fieldAt) {
  return packet.holds(codecAt(fieldAt) + kTimestampBytes - 1);
}

bool syncProbe(std::span<const std::uint8_t> buffer) {
  return buffer.size() > 2 * kTsPacketBytes && buffer[0] == kTsSyncByte &&
         buffer[kTsPacketBytes] == kTsSyncByte && buffer[2 * kTsPacketBytes] == kTsSyncByte;
}

// Sets flagsOffset for the PES header laid out as pes and reads the flags byte before it; false
// when that byte lies outside the packet.
bool readPesFlags(TimelineState& state, const PacketView& packet, const PesHeaderLayout& pes) {
  state.flagsOffset = pes.headerDataLengthAt();
  if (!packet.holds(pes.ptsDtsFlagsAt())) return false;
  state.ptsDtsFlags = packet.data()[pes.ptsDtsFlagsAt()];
  return true;
}

// True when the PES header read by readPesFlags has flags 0x80, header length 5 and its PTS
// field inside the packet.
bool rewritablePtsOnly(const TimelineState& state, const PacketView& packet,
                       const PesHeaderLayout& pes) {
  return state.ptsDtsFlags == kPtsOnly && packet.holds(pes.headerDataLengthAt()) &&
         packet.data()[pes.headerDataLengthAt()] == kPtsOnlyHeaderLength &&
         holdsField(packet, pes.ptsAt());
}

// While rebasing, a PES header right after the packet header with flags 0x80 and header length 5
// gets its PTS placed from the old value of the field decoded before it.
void rebasePesOnly(TimelineState& state, std::span<std::uint8_t> buffer, const PacketView& packet) {
  const PesHeaderLayout pes{PacketView::kHeaderBytes};
  const std::uint8_t* b = packet.data();
  if (!packet.holds(pes.start + 2) || b[pes.start] != 0 || b[pes.start + 1] != 0 ||
      b[pes.start + 2] != 1) {
    return;
  }
  if (readPesFlags(state, packet, pes) && rewritablePtsOnly(state, packet, pes)) {
    rewriteTimestamp(state, buffer, state.packetOffset + codecAt(pes.ptsAt()), state.ptsBase,
                     TimestampMode::Relative);
  }
}

void correctPacket(TimelineState& state, std::span<std::uint8_t> buffer) {
  const PacketView packet = PacketView::at(buffer, state.packetOffset);
  if (!packet.holds(1) || !packet.payloadUnitStartIndicator()) return;
  if (!packet.holds(3)) return;
  if (packet.adaptationFieldControl() != kAdaptationAndPayload) {
    if (state.rebasing) rebasePesOnly(state, buffer, packet);
    return;
  }
  // PCR_flag is read whatever adaptation_field_length says.
  if (!packet.holds(PacketView::kAdaptationFlagsAt) || !packet.pcrFlag()) return;
  if (!packet.holds(PacketView::kPcrAt + 3)) return;
  state.sourcePcr = static_cast<std::int32_t>(packet.pcrBaseHigh32());
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
  PacketView packet = PacketView::at(buffer, state.packetOffset);
  if (!packet.holds(PacketView::kPcrAt + 3)) return;

  state.outputPcr = wrap32(std::int64_t{state.outputPcr} + state.pcrStep);
  // Bytes 10 and 11 (base bit 0, reserved bits, extension) keep their source values.
  const auto pcr = static_cast<std::uint32_t>(state.outputPcr);
  state.fieldBytes = {static_cast<std::uint8_t>(pcr), static_cast<std::uint8_t>(pcr >> 8),
                      static_cast<std::uint8_t>(pcr >> 16), static_cast<std::uint8_t>(pcr >> 24)};
  packet.setPcrBaseHigh32(pcr);
  state.ptsBase = wrap32((std::int64_t{state.outputPcr} + kPtsLead) * 2);

  // The PES header is taken to begin right behind the adaptation field, without a look at its
  // start code; its fields are used only where they lie inside this packet.
  const PesHeaderLayout pes{PacketView::kAdaptationFieldLengthAt + 1 +
                            std::size_t{packet.adaptationFieldLength()}};
  if (!readPesFlags(state, packet, pes)) return;
  const std::size_t ptsAt = state.packetOffset + codecAt(pes.ptsAt());
  const std::size_t dtsAt = state.packetOffset + codecAt(pes.dtsAt());
  if (rewritablePtsOnly(state, packet, pes)) {
    rewriteTimestamp(state, buffer, ptsAt, state.ptsBase, TimestampMode::Absolute);
  } else if (state.ptsDtsFlags == kPtsAndDts && holdsField(packet, pes.dtsAt())) {
    // The DTS first, then the PTS at its old distance from it; the header length is not
    // consulted. When the DTS does not fit in the packet, neither field is touched.
    const std::int32_t dtsOld =
        *rewriteTimestamp(state, buffer, dtsAt, state.ptsBase, TimestampMode::Absolute);
    rewritePtsKeepingOffset(state, buffer, ptsAt, dtsOld, state.ptsBase);
  }
}

}  // namespace tsmerge
