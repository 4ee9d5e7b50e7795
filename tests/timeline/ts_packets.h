#pragma once

// Small transport-stream packets for the timeline tests, laid out as ISO/IEC 13818-1 has them
// (2.4.3.2 packet header, 2.4.3.4 adaptation field, 2.4.3.7 PES header), written and read here
// independently of the code under test.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tsmerge::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kPacket = 188;

// adaptation_field_control values (byte 3, bits 5..4).
enum class Afc : std::uint8_t { Reserved = 0, PayloadOnly = 1, AdaptationOnly = 2, Both = 3 };

// A 188-byte packet of PID 0x100: sync byte, the given payload_unit_start_indicator and
// adaptation_field_control, every other byte 0xFF.
inline Bytes tsPacket(bool pusi, Afc afc = Afc::PayloadOnly) {
  Bytes p(kPacket, 0xFF);
  p[0] = 0x47;
  p[1] = static_cast<std::uint8_t>((pusi ? 0x40 : 0x00) | 0x01);
  p[2] = 0x00;
  p[3] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(afc) << 4);
  return p;
}

// A packet that starts nothing: payload_unit_start_indicator 0, payload only.
inline Bytes fillerPacket() { return tsPacket(false); }

// Bytes 6..9 of a PCR, the base's bits 32..1, as an unsigned number.
inline std::uint32_t pcrBits(std::span<const std::uint8_t> packet) {
  return std::uint32_t{packet[6]} << 24 | std::uint32_t{packet[7]} << 16 |
         std::uint32_t{packet[8]} << 8 | packet[9];
}

// A packet with PUSI 1 and an adaptation field of adaptationLength bytes that carries a PCR whose
// base has bits 32..1 = pcr and bit 0 set, extension 0x055, so that bytes 10 and 11 are not all
// ones.
inline Bytes pcrPacket(std::uint32_t pcr, std::uint8_t adaptationLength = 7) {
  Bytes p = tsPacket(true, Afc::Both);
  p[4] = adaptationLength;
  p[5] = 0x10;  // PCR_flag
  for (int i = 0; i < 4; ++i) p[6 + i] = static_cast<std::uint8_t>(pcr >> (24 - 8 * i));
  p[10] = 0x80 | 0x7E;  // base bit 0, six reserved bits, extension bit 8 clear
  p[11] = 0x55;
  return p;
}

// Writes the five bytes of a PTS or DTS field at `at`: prefix in bits 7..4, the 33-bit value
// split 3 / 15 / 15 bits with a marker bit after each part.
inline void putTimestampField(Bytes& p, std::size_t at, std::uint8_t prefix, std::uint64_t ts) {
  p[at] = static_cast<std::uint8_t>(prefix << 4 | ((ts >> 29) & 0x0E) | 1);
  p[at + 1] = static_cast<std::uint8_t>(ts >> 22);
  p[at + 2] = static_cast<std::uint8_t>(((ts >> 14) & 0xFE) | 1);
  p[at + 3] = static_cast<std::uint8_t>(ts >> 7);
  p[at + 4] = static_cast<std::uint8_t>(((ts << 1) & 0xFE) | 1);
}

// The 33-bit value of the PTS or DTS field at `at`.
inline std::uint64_t timestampField(std::span<const std::uint8_t> p, std::size_t at) {
  return (std::uint64_t{p[at]} & 0x0E) << 29 | std::uint64_t{p[at + 1]} << 22 |
         (std::uint64_t{p[at + 2]} >> 1) << 15 | std::uint64_t{p[at + 3]} << 7 | p[at + 4] >> 1;
}

// A PES header at `at` (its start code): stream_id 0xE0, flags byte 0x80 (marker bits '10'),
// then `flags` (PTS_DTS_flags and the others), PES_header_data_length `headerLength`, and a PTS
// and a DTS field when given.
struct PesHeader {
  std::uint8_t flags = 0x80;
  std::uint8_t headerLength = 5;
  std::optional<std::uint64_t> pts;
  std::optional<std::uint64_t> dts;
};

inline void putPesHeader(Bytes& p, std::size_t at, const PesHeader& h) {
  const std::uint8_t start[] = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80};
  for (std::size_t i = 0; i < sizeof start; ++i) p[at + i] = start[i];
  p[at + 7] = h.flags;
  p[at + 8] = h.headerLength;
  if (h.pts) putTimestampField(p, at + 9, h.dts ? 0x3 : 0x2, *h.pts);
  if (h.dts) putTimestampField(p, at + 14, 0x1, *h.dts);
}

// Offsets of the PTS and DTS fields of the PES header behind an adaptation field of length a.
inline std::size_t ptsAfterAdaptation(std::uint8_t a) { return std::size_t{a} + 14; }
inline std::size_t dtsAfterAdaptation(std::uint8_t a) { return std::size_t{a} + 19; }
// ... and of the PES header right after the packet header.
inline constexpr std::size_t kPesOnlyPts = 13;

// A PCR packet with a PES header right behind its adaptation field.
inline Bytes pcrPesPacket(std::uint32_t pcr, const PesHeader& h,
                          std::uint8_t adaptationLength = 7) {
  Bytes p = pcrPacket(pcr, adaptationLength);
  putPesHeader(p, std::size_t{adaptationLength} + 5, h);
  return p;
}

// A packet with PUSI 1, no adaptation field, and a PES header at byte 4.
inline Bytes pesPacket(const PesHeader& h, Afc afc = Afc::PayloadOnly) {
  Bytes p = tsPacket(true, afc);
  putPesHeader(p, 4, h);
  return p;
}

// The packets back to back, padded with filler packets to at least three, so that bytes 188 and
// 376 hold sync bytes.
inline Bytes tsFile(std::initializer_list<Bytes> packets) {
  Bytes out;
  for (const Bytes& p : packets) out.insert(out.end(), p.begin(), p.end());
  while (out.size() < 3 * kPacket) {
    const Bytes f = fillerPacket();
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

inline std::span<const std::uint8_t> packetOf(const Bytes& file, std::size_t index) {
  return std::span<const std::uint8_t>(file).subspan(index * kPacket, kPacket);
}

}  // namespace tsmerge::testing
