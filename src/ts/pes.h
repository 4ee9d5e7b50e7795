#pragma once

#include <cstddef>
#include <cstdint>

#include "ts/packet.h"

namespace tsmerge {

// The fixed-position fields of a PES header (ISO/IEC 13818-1, 2.4.3.6) that begins at `start` in
// a packet, as offsets in the packet: packet_start_code_prefix (3 bytes), stream_id,
// PES_packet_length (2), a flags byte with the marker bits '10', a flags byte with PTS_DTS_flags
// in bits 7..6, PES_header_data_length, then the PTS field and, behind it, the DTS field.
// Positions only: nothing here says that a header is there or that the packet holds them.
struct PesHeaderLayout {
  std::size_t start = 0;

  std::size_t streamIdAt() const { return start + 3; }
  std::size_t markerFlagsAt() const { return start + 6; }
  std::size_t ptsDtsFlagsAt() const { return start + 7; }
  std::size_t headerDataLengthAt() const { return start + 8; }
  // Byte 0 of the 5-byte PTS field, and of the DTS field that follows it when both are present.
  std::size_t ptsAt() const { return start + 9; }
  std::size_t dtsAt() const { return start + 14; }
};

// PTS_DTS_flags (2.4.3.7): 10 PTS only, 11 PTS and DTS; 01 is forbidden.
inline constexpr unsigned kPtsOnlyFlags = 0x2;
inline constexpr unsigned kPtsAndDtsFlags = 0x3;
// Bytes of one PTS or DTS field.
inline constexpr std::size_t kPesTimestampFieldBytes = 5;

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

// stream_id values whose PES packets carry the optional header with PTS_DTS_flags (2.4.3.7,
// Table 2-22): all but program_stream_map, padding, private_stream_2, ECM, EMM,
// program_stream_directory, DSMCC and ITU-T H.222.1 type E.
constexpr bool streamIdHasOptionalHeader(std::uint8_t id) {
  return id != 0xBC && id != 0xBE && id != 0xBF && id != 0xF0 && id != 0xF1 && id != 0xFF &&
         id != 0xF2 && id != 0xF8;
}

// Video streams by stream_id: 110x xxxx is audio, 1110 xxxx video.
constexpr bool streamIdIsVideo(std::uint8_t id) { return (id & 0xF0) == 0xE0; }

// Where the PTS and DTS of a PES header beginning in a packet lie: offsets in the packet of byte
// 0 of each field, 0 for a field that is absent.
struct PesTimestamps {
  std::uint8_t streamId = 0;
  std::size_t ptsOffset = 0;
  std::size_t dtsOffset = 0;
  bool hasPts() const { return ptsOffset != 0; }
  bool hasDts() const { return dtsOffset != 0; }
};

// Finds the timestamps of the PES header that begins at the payload of packet, which must parse
// and have payload_unit_start_indicator set. Returns streamId 0 and no fields when no header with
// a well-formed optional part begins there: a start code missing, the '10' bits missing,
// PTS_DTS_flags 01, a PES_header_data_length too short for the fields, a field reaching past the
// packet, or a marker bit that is 0. A header that does not parse has no timestamps.
inline PesTimestamps findPesTimestamps(const PacketView& packet) {
  PesTimestamps found;
  const std::uint8_t* b = packet.data();
  const PesHeaderLayout pes{packet.payloadOffset()};
  if (!packet.holds(pes.headerDataLengthAt())) return found;
  if (b[pes.start] != 0x00 || b[pes.start + 1] != 0x00 || b[pes.start + 2] != 0x01) return found;
  const std::uint8_t id = b[pes.streamIdAt()];
  if (!streamIdHasOptionalHeader(id) || (b[pes.markerFlagsAt()] & 0xC0) != 0x80) return found;
  const unsigned ptsDtsFlags = b[pes.ptsDtsFlagsAt()] >> 6;
  if (ptsDtsFlags == 0x1) return found;
  const std::size_t fieldBytes = ptsDtsFlags == kPtsAndDtsFlags ? 2 * kPesTimestampFieldBytes
                                 : ptsDtsFlags == kPtsOnlyFlags ? kPesTimestampFieldBytes
                                                                : 0;
  if (b[pes.headerDataLengthAt()] < fieldBytes || !packet.holds(pes.ptsAt() + fieldBytes - 1)) {
    return found;
  }
  const bool withPts = fieldBytes >= kPesTimestampFieldBytes;
  const bool withDts = fieldBytes == 2 * kPesTimestampFieldBytes;
  if (withPts && !PesTimestampField(packet.data() + pes.ptsAt()).markersValid()) return found;
  if (withDts && !PesTimestampField(packet.data() + pes.dtsAt()).markersValid()) return found;
  found.streamId = id;
  if (withPts) found.ptsOffset = pes.ptsAt();
  if (withDts) found.dtsOffset = pes.dtsAt();
  return found;
}

}  // namespace tsmerge
