#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "merge/timestamp_rewriter.h"

namespace tsmerge {

inline constexpr std::uint16_t kNullPid = 0x1FFF;
inline constexpr std::size_t kPidCount = 0x2000;

// A view of one 188-byte transport packet inside a larger buffer (ISO/IEC 13818-1, 2.4.3.2).
// Accessors read and write the packet's own bytes only; a field that does not fit in the packet
// is reported absent, never followed into the next one.
class TsPacket {
 public:
  explicit TsPacket(std::span<std::uint8_t, kTsPacketBytes> bytes) : b_(bytes.data()) {}

  bool hasSyncByte() const { return b_[0] == kTsSyncByte; }
  bool transportErrorIndicator() const { return (b_[1] & 0x80) != 0; }
  bool payloadUnitStartIndicator() const { return (b_[1] & 0x40) != 0; }
  std::uint16_t pid() const { return static_cast<std::uint16_t>((b_[1] & 0x1F) << 8 | b_[2]); }
  // 2 bits: 01 payload only, 10 adaptation field only, 11 both, 00 reserved.
  unsigned adaptationFieldControl() const { return (b_[3] >> 4) & 0x3; }
  bool hasAdaptationField() const { return (adaptationFieldControl() & 0x2) != 0; }
  bool hasPayload() const { return (adaptationFieldControl() & 0x1) != 0; }
  // 4 bits; counts the packets with payload of one PID.
  unsigned continuityCounter() const { return b_[3] & 0x0F; }
  void setContinuityCounter(unsigned cc) {
    b_[3] = static_cast<std::uint8_t>((b_[3] & 0xF0) | (cc & 0x0F));
  }

  // True when the header and adaptation field are well formed: sync byte, no transport error,
  // a defined adaptation_field_control, and an adaptation_field_length that fits (183 with no
  // payload, at most 182 with one; 2.4.3.5).
  bool parses() const {
    if (!hasSyncByte() || transportErrorIndicator()) return false;
    const unsigned afc = adaptationFieldControl();
    if (afc == 0) return false;
    if (afc == 2) return b_[4] == 183;
    if (afc == 3) return b_[4] <= 182;
    return true;
  }

  std::size_t adaptationFieldLength() const { return hasAdaptationField() ? b_[4] : 0; }
  // PCR_flag, with room for the 6 PCR bytes behind the flags byte.
  bool hasPcr() const { return adaptationFieldLength() >= 7 && (b_[5] & 0x10) != 0; }
  // program_clock_reference_base, 33 bits, and _extension, 9 bits (2.4.3.5).
  std::int64_t pcrBase() const {
    return std::int64_t{b_[6]} << 25 | std::int64_t{b_[7]} << 17 | std::int64_t{b_[8]} << 9 |
           std::int64_t{b_[9]} << 1 | std::int64_t{b_[10]} >> 7;
  }
  unsigned pcrExtension() const { return (b_[10] & 0x01u) << 8 | b_[11]; }
  // Writes base and extension, keeping the six reserved bits between them.
  void setPcr(std::int64_t base, unsigned extension) {
    b_[6] = static_cast<std::uint8_t>(base >> 25);
    b_[7] = static_cast<std::uint8_t>(base >> 17);
    b_[8] = static_cast<std::uint8_t>(base >> 9);
    b_[9] = static_cast<std::uint8_t>(base >> 1);
    b_[10] = static_cast<std::uint8_t>((base & 1) << 7 | (b_[10] & 0x7E) | (extension >> 8 & 1));
    b_[11] = static_cast<std::uint8_t>(extension);
  }

  // Offset of the first payload byte: behind the 4-byte header and the adaptation field.
  std::size_t payloadOffset() const {
    return 4 + (hasAdaptationField() ? 1 + adaptationFieldLength() : 0);
  }
  std::uint8_t* data() const { return b_; }

 private:
  std::uint8_t* b_;
};

// A 5-byte PTS or DTS field (2.4.3.7): 4 prefix bits, then the 33-bit value in pieces of 3, 15
// and 15 bits, each piece followed by a marker bit that is 1.
class PesTimestampField {
 public:
  explicit PesTimestampField(std::uint8_t* bytes) : f_(bytes) {}

  bool markersValid() const { return (f_[0] & 1) && (f_[2] & 1) && (f_[4] & 1); }
  std::int64_t value() const {
    return std::int64_t{(f_[0] >> 1) & 0x7} << 30 | std::int64_t{f_[1]} << 22 |
           std::int64_t{f_[2] >> 1} << 15 | std::int64_t{f_[3]} << 7 | std::int64_t{f_[4] >> 1};
  }
  // Writes a value in [0, 2^33), keeping the prefix and marker bits as they are.
  void setValue(std::int64_t v) {
    f_[0] = static_cast<std::uint8_t>((f_[0] & 0xF1) | ((v >> 30) & 0x7) << 1);
    f_[1] = static_cast<std::uint8_t>(v >> 22);
    f_[2] = static_cast<std::uint8_t>((f_[2] & 0x01) | ((v >> 15) & 0x7F) << 1);
    f_[3] = static_cast<std::uint8_t>(v >> 7);
    f_[4] = static_cast<std::uint8_t>((f_[4] & 0x01) | (v & 0x7F) << 1);
  }

 private:
  std::uint8_t* f_;
};

// Where the PTS and DTS of a PES header beginning in a packet lie, as offsets in the packet
// (0 for a field that is absent).
struct PesTimestamps {
  std::uint8_t streamId = 0;
  std::size_t ptsOffset = 0;
  std::size_t dtsOffset = 0;
  bool hasPts() const { return ptsOffset != 0; }
  bool hasDts() const { return dtsOffset != 0; }
};

// stream_id values whose PES packets carry the optional header with PTS_DTS_flags (2.4.3.7,
// Table 2-22): all but program_stream_map, padding, private_stream_2, ECM, EMM,
// program_stream_directory, DSMCC and ITU-T H.222.1 type E.
constexpr bool streamIdHasOptionalHeader(std::uint8_t id) {
  return id != 0xBC && id != 0xBE && id != 0xBF && id != 0xF0 && id != 0xF1 && id != 0xFF &&
         id != 0xF2 && id != 0xF8;
}

// Video streams by stream_id: 110x xxxx is audio, 1110 xxxx video.
constexpr bool streamIdIsVideo(std::uint8_t id) { return (id & 0xF0) == 0xE0; }

// Finds the timestamps of the PES header that begins in packet, which must parse and have
// payload_unit_start_indicator set. Returns streamId 0 when no header with a well-formed optional
// part begins there: a start code missing, the '10' bits missing, PTS_DTS_flags 01, a
// PES_header_data_length too short for the fields, a field reaching past the packet, or a marker
// bit that is 0. A header that does not parse has no timestamps.
inline PesTimestamps findPesTimestamps(const TsPacket& packet) {
  PesTimestamps found;
  const std::uint8_t* b = packet.data();
  const std::size_t p = packet.payloadOffset();
  // start code (3), stream_id, PES_packet_length (2), flags (2), PES_header_data_length.
  if (p + 9 > kTsPacketBytes) return found;
  if (b[p] != 0x00 || b[p + 1] != 0x00 || b[p + 2] != 0x01) return found;
  const std::uint8_t id = b[p + 3];
  if (!streamIdHasOptionalHeader(id) || (b[p + 6] & 0xC0) != 0x80) return found;
  const unsigned ptsDtsFlags = b[p + 7] >> 6;
  const std::size_t headerDataLength = b[p + 8];
  const std::size_t fields = ptsDtsFlags == 3 ? 10 : ptsDtsFlags == 2 ? 5 : 0;
  if (ptsDtsFlags == 1 || headerDataLength < fields || p + 9 + fields > kTsPacketBytes) {
    return found;
  }
  const std::size_t pts = p + 9;
  const std::size_t dts = p + 14;
  if (fields >= 5 && !PesTimestampField(packet.data() + pts).markersValid()) return found;
  if (fields == 10 && !PesTimestampField(packet.data() + dts).markersValid()) return found;
  found.streamId = id;
  if (fields >= 5) found.ptsOffset = pts;
  if (fields == 10) found.dtsOffset = dts;
  return found;
}

}  // namespace tsmerge
