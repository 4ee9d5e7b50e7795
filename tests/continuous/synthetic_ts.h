#pragma once

#include <cstdint>
#include <vector>

namespace tsmerge::testing {

// Builds small transport streams by hand, written out field by field after ISO/IEC 13818-1
// (2.4.3.2 packet header, 2.4.3.4 adaptation field, 2.4.3.6 PES header), independently of the
// accessors under test.

using Bytes = std::vector<std::uint8_t>;

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
  for (std::size_t i = 0; i < 40; ++i) out[i / 8] |= static_cast<std::uint8_t>(bits[i] << (7 - i % 8));
  return out;
}

// The adaptation field's bytes after adaptation_field_length: flags, then a PCR when given,
// then stuffing up to length bytes.
inline Bytes adaptationField(std::size_t length, bool withPcr, std::int64_t pcrBase = 0,
                             unsigned pcrExtension = 0) {
  Bytes af;
  if (length == 0) return af;
  af.push_back(withPcr ? 0x10 : 0x00);
  if (withPcr) {
    // 33 bits base, 6 reserved bits (all 1), 9 bits extension: 48 bits.
    const std::uint64_t bits = static_cast<std::uint64_t>(pcrBase) << 15 | 0x3Fu << 9 | pcrExtension;
    for (int i = 5; i >= 0; --i) af.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
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
  Bytes p = {0x47, static_cast<std::uint8_t>((pusi ? 0x40 : 0) | (pid >> 8)),
             static_cast<std::uint8_t>(pid & 0xFF),
             static_cast<std::uint8_t>((adaptation ? 0x20 : 0) | (withPayload ? 0x10 : 0) | (cc & 0xF))};
  if (adaptation) {
    p.push_back(static_cast<std::uint8_t>(adaptation->size()));
    p.insert(p.end(), adaptation->begin(), adaptation->end());
  }
  p.insert(p.end(), payload.begin(), payload.end());
  p.resize(188, 0xAB);
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
