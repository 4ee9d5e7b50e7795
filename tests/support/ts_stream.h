#pragma once

// Small transport streams built by hand for the tests, field by field after ISO/IEC 13818-1
// (2.4.3.2 packet header, 2.4.3.4 adaptation field, 2.4.3.6/2.4.3.7 PES header), written and read
// here independently of src/ts and of the code under test.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

namespace tsmerge::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kPacket = 188;

// adaptation_field_control values (byte 3, bits 5..4).
enum class Afc : std::uint8_t { Reserved = 0, PayloadOnly = 1, AdaptationOnly = 2, Both = 3 };

// Bytes 0..3 of a packet: sync byte, payload_unit_start_indicator, PID, adaptation_field_control
// and continuity_counter (transport_error_indicator, priority and scrambling control 0).
inline Bytes packetHeader(std::uint16_t pid, bool pusi, Afc afc, unsigned cc) {
  return {0x47, static_cast<std::uint8_t>((pusi ? 0x40 : 0) | (pid >> 8 & 0x1F)),
          static_cast<std::uint8_t>(pid & 0xFF),
          static_cast<std::uint8_t>(static_cast<unsigned>(afc) << 4 | (cc & 0xF))};
}

// The six bytes of a PCR: 33 bits of base, 6 reserved bits (all 1), 9 bits of extension.
inline Bytes pcrField(std::int64_t base, unsigned extension) {
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(base) & 0x1FFFFFFFF) << 15 | 0x3Fu << 9 | (extension & 0x1FF);
  Bytes out;
  for (int i = 5; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  return out;
}

// The five bytes of a PTS or DTS field: prefix (4 bits), value bits 32..30, marker, 29..15,
// marker, 14..0, marker; built bit by bit, most significant first.
inline Bytes timestampField(unsigned prefix, std::int64_t value) {
  std::vector<int> bits;
  for (int i = 3; i >= 0; --i) bits.push_back((prefix >> i) & 1);
  for (int i = 32; i >= 30; --i) bits.push_back(static_cast<int>((value >> i) & 1));
  bits.push_back(1);
  for (int i = 29; i >= 15; --i) bits.push_back(static_cast<int>((value >> i) & 1));
  bits.push_back(1);
  for (int i = 14; i >= 0; --i) bits.push_back(static_cast<int>((value >> i) & 1));
  bits.push_back(1);
  Bytes out(5, 0);
  for (std::size_t i = 0; i < 40; ++i) {
    out[i / 8] |= static_cast<std::uint8_t>(bits[i] << (7 - i % 8));
  }
  return out;
}

inline void putBytes(Bytes& p, std::size_t at, const Bytes& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) p[at + i] = bytes[i];
}

inline void putTimestampField(Bytes& p, std::size_t at, unsigned prefix, std::int64_t value) {
  putBytes(p, at, timestampField(prefix, value));
}

// The 33-bit value of the PTS or DTS field at `at`.
inline std::uint64_t timestampAt(std::span<const std::uint8_t> p, std::size_t at) {
  return (std::uint64_t{p[at]} & 0x0E) << 29 | std::uint64_t{p[at + 1]} << 22 |
         (std::uint64_t{p[at + 2]} >> 1) << 15 | std::uint64_t{p[at + 3]} << 7 | p[at + 4] >> 1;
}

// ---- Packets as the --fix-timeline corrector's tests lay them out: PID 0x100, every byte not
// ---- set otherwise 0xFF.

// A 188-byte packet with the given payload_unit_start_indicator and adaptation_field_control.
inline Bytes tsPacket(bool pusi, Afc afc = Afc::PayloadOnly) {
  Bytes p = packetHeader(0x100, pusi, afc, 0);
  p.resize(kPacket, 0xFF);
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
  putBytes(p, 6, pcrField(std::int64_t{pcr} << 1 | 1, 0x055));
  return p;
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
  putBytes(p, at, {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80});
  p[at + 7] = h.flags;
  p[at + 8] = h.headerLength;
  if (h.pts) putTimestampField(p, at + 9, h.dts ? 0x3 : 0x2, static_cast<std::int64_t>(*h.pts));
  if (h.dts) putTimestampField(p, at + 14, 0x1, static_cast<std::int64_t>(*h.dts));
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

// ---- Packets of any PID, as muxers write them, for the packet view and the continuous timeline.

// The adaptation field's bytes after adaptation_field_length: flags, then a PCR when given,
// then stuffing up to length bytes.
inline Bytes adaptationField(std::size_t length, bool withPcr, std::int64_t pcrBase = 0,
                             unsigned pcrExtension = 0) {
  Bytes af;
  if (length == 0) return af;
  af.push_back(withPcr ? 0x10 : 0x00);
  if (withPcr) {
    const Bytes pcr = pcrField(pcrBase, pcrExtension);
    af.insert(af.end(), pcr.begin(), pcr.end());
  }
  while (af.size() < length) af.push_back(0xFF);
  return af;
}

// A PES header with PTS (and DTS when dts >= 0).
inline Bytes pesHeader(std::uint8_t streamId, std::int64_t pts, std::int64_t dts = -1) {
  Bytes h = {0x00, 0x00, 0x01, streamId, 0x00, 0x00, 0x80};
  const bool both = dts >= 0;
  h.push_back(both ? 0xC0 : 0x80);
  h.push_back(both ? 10 : 5);
  const Bytes p = timestampField(both ? 0x3 : 0x2, pts);
  h.insert(h.end(), p.begin(), p.end());
  if (both) {
    const Bytes d = timestampField(0x1, dts);
    h.insert(h.end(), d.begin(), d.end());
  }
  return h;
}

// One packet; adaptation is the field's content (without its length byte), or absent. The
// payload is filled up to the packet's end with 0xAB.
inline Bytes packet(std::uint16_t pid, bool pusi, unsigned cc, const Bytes* adaptation,
                    const Bytes& payload, bool withPayload = true) {
  const Afc afc = adaptation ? (withPayload ? Afc::Both : Afc::AdaptationOnly)
                             : (withPayload ? Afc::PayloadOnly : Afc::Reserved);
  Bytes p = packetHeader(pid, pusi, afc, cc);
  if (adaptation) {
    p.push_back(static_cast<std::uint8_t>(adaptation->size()));
    p.insert(p.end(), adaptation->begin(), adaptation->end());
  }
  p.insert(p.end(), payload.begin(), payload.end());
  p.resize(kPacket, 0xAB);
  return p;
}

inline constexpr std::uint16_t kVideoPid = 0x100;
inline constexpr std::uint16_t kAudioPid = 0x101;

// A segment such as a segmenting muxer writes: a PAT, then per video frame a packet with PCR
// and the PES header (PTS = DTS + two frames, as with B-frames) and two more payload packets,
// and an audio PES (PTS only, behind an adaptation field without PCR) every audio frame.
// Continuity counters start from 0 in every segment.
struct SegmentShape {
  std::int64_t videoDts = 126000;  // first DTS
  int frames = 25;
  std::int64_t frameTicks = 3600;
  std::int64_t audioLead = -1440;  // first audio PTS − first video DTS
  std::int64_t audioTicks = 1800;  // 50 audio frames per 25 video frames
  std::int64_t pcrLead = 63000;    // DTS − PCR
};

inline std::int64_t wrap33(std::int64_t v) {
  const std::int64_t m = std::int64_t{1} << 33;
  return ((v % m) + m) % m;
}

inline Bytes segment(const SegmentShape& s) {
  Bytes out;
  unsigned ccPat = 0, ccV = 0, ccA = 0;
  auto append = [&](const Bytes& p) { out.insert(out.end(), p.begin(), p.end()); };
  append(packet(0x0000, true, ccPat++, nullptr, {0x00, 0x00, 0xB0, 0x0D}));
  const std::int64_t end = s.frames * s.frameTicks;
  std::int64_t audio = s.audioLead;
  for (int f = 0; f < s.frames; ++f) {
    const std::int64_t t = f * s.frameTicks;
    while (audio < t + s.frameTicks && audio < end + s.audioLead) {
      const Bytes af = adaptationField(20, false);
      append(packet(kAudioPid, true, ccA++, &af, pesHeader(0xC0, wrap33(s.videoDts + audio))));
      audio += s.audioTicks;
    }
    const std::int64_t dts = wrap33(s.videoDts + t);
    const Bytes af = adaptationField(7, true, wrap33(dts - s.pcrLead), 0);
    append(packet(kVideoPid, true, ccV++, &af,
                  pesHeader(0xE0, wrap33(dts + 2 * s.frameTicks), dts)));
    append(packet(kVideoPid, false, ccV++, nullptr, {}));
    append(packet(kVideoPid, false, ccV++, nullptr, {}));
  }
  return out;
}

}  // namespace tsmerge::testing
