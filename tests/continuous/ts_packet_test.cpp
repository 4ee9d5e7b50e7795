#include "continuous/ts_packet.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "synthetic_ts.h"

namespace tsmerge {
namespace {

using testing::Bytes;

struct Packet188 {
  std::array<std::uint8_t, kTsPacketBytes> bytes{};
  explicit Packet188(const Bytes& b) { std::memcpy(bytes.data(), b.data(), kTsPacketBytes); }
  TsPacket view() { return TsPacket(std::span<std::uint8_t, kTsPacketBytes>(bytes)); }
};

TEST(TsPacketTest, ReadsTheHeaderFields) {
  const Bytes af = testing::adaptationField(7, true, 1, 0);
  const struct {
    std::uint16_t pid;
    bool pusi;
    unsigned cc;
    bool withAdaptation;
    bool withPayload;
  } kCases[] = {
      {0x0000, true, 0, false, true},
      {0x1FFE, false, 15, false, true},
      {0x0100, true, 7, true, true},
      {0x0A5A, false, 9, true, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pid);
    Bytes raw = testing::packet(c.pid, c.pusi, c.cc, c.withAdaptation ? &af : nullptr, {},
                                c.withPayload);
    if (!c.withPayload) raw[4] = 183;  // an adaptation field alone fills the packet
    Packet188 p(raw);
    EXPECT_TRUE(p.view().parses());
    EXPECT_EQ(p.view().pid(), c.pid);
    EXPECT_EQ(p.view().payloadUnitStartIndicator(), c.pusi);
    EXPECT_EQ(p.view().continuityCounter(), c.cc);
    EXPECT_EQ(p.view().hasAdaptationField(), c.withAdaptation);
    EXPECT_EQ(p.view().hasPayload(), c.withPayload);
    EXPECT_EQ(p.view().payloadOffset(), c.withAdaptation ? 4u + 1 + raw[4] : 4u);
  }
}

TEST(TsPacketTest, RefusesPacketsThatDoNotParse) {
  const Bytes af = testing::adaptationField(7, true, 1, 0);
  const Bytes good = testing::packet(0x100, true, 0, &af, {});
  const struct {
    const char* what;
    std::size_t at;
    std::uint8_t value;
    bool parses;
  } kCases[] = {
      {"as built", 0, 0x47, true},
      {"sync byte lost", 0, 0x46, false},
      {"transport_error_indicator", 1, 0x81, false},
      {"adaptation_field_control 00", 3, 0x00, false},
      {"payload and adaptation field of 183", 4, 183, false},
      {"payload and adaptation field of 182", 4, 182, true},
      {"adaptation field only, length 7", 3, 0x20, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Bytes raw = good;
    raw[c.at] = c.value;
    Packet188 p(raw);
    EXPECT_EQ(p.view().parses(), c.parses);
  }
}

TEST(TsPacketTest, ReadsAndWritesThePcrKeepingReservedBits) {
  const struct {
    std::int64_t base;
    unsigned extension;
  } kCases[] = {
      {0, 0}, {1, 299}, {(std::int64_t{1} << 33) - 1, 511}, {0x123456789, 0x1AB}, {63000, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.base);
    const Bytes af = testing::adaptationField(7, true, c.base, c.extension);
    Packet188 p(testing::packet(0x100, false, 0, &af, {}));
    ASSERT_TRUE(p.view().hasPcr());
    EXPECT_EQ(p.view().pcrBase(), c.base);
    EXPECT_EQ(p.view().pcrExtension(), c.extension);

    // Writing another value and then the first one back restores the bytes, reserved bits too.
    const Packet188 before = p;
    p.view().setPcr(c.base ^ 0x155555555, c.extension ^ 0x155);
    EXPECT_EQ(p.view().pcrBase(), c.base ^ 0x155555555);
    EXPECT_EQ(p.view().pcrExtension(), c.extension ^ 0x155);
    EXPECT_EQ(p.bytes[10] & 0x7E, 0x7E);
    p.view().setPcr(c.base, c.extension);
    EXPECT_EQ(p.bytes, before.bytes);
  }
}

TEST(TsPacketTest, PcrNeedsItsFlagAndRoom) {
  const Bytes noFlag = testing::adaptationField(7, false);
  Packet188 a(testing::packet(0x100, false, 0, &noFlag, {}));
  EXPECT_FALSE(a.view().hasPcr());
  // PCR_flag set, but adaptation_field_length 6 leaves no room for the six PCR bytes.
  Bytes shortAf = testing::adaptationField(6, false);
  shortAf[0] = 0x10;
  Packet188 b(testing::packet(0x100, false, 0, &shortAf, {}));
  EXPECT_FALSE(b.view().hasPcr());
  // No adaptation field at all: byte 5 is payload, whatever its value.
  Bytes raw = testing::packet(0x100, false, 0, nullptr, {});
  raw[4] = 7;
  raw[5] = 0x10;
  Packet188 c(raw);
  EXPECT_FALSE(c.view().hasPcr());
}

TEST(TsPacketTest, TimestampFieldMatchesTheStandardLayout) {
  // 126000 = 1.4 s: bits 32..30 = 0, 29..15 = 3, 14..0 = 0x3D30 → 21 00 07 D8 61 with prefix 0010.
  const Bytes expected = {0x21, 0x00, 0x07, 0xD8, 0x61};
  EXPECT_EQ(testing::timestampField(0x2, 126000), expected);
  const std::int64_t kValues[] = {0, 1, 126000, 0x100000000, (std::int64_t{1} << 33) - 1,
                                  0x155555555, 0x0AAAAAAAA};
  for (const unsigned prefix : {0x1u, 0x2u, 0x3u}) {
    for (const std::int64_t v : kValues) {
      SCOPED_TRACE(::testing::Message() << prefix << " " << v);
      Bytes field = testing::timestampField(prefix, v);
      PesTimestampField f(field.data());
      EXPECT_TRUE(f.markersValid());
      EXPECT_EQ(f.value(), v);
      // Rewriting keeps prefix and markers: the bytes equal a field built for the new value.
      const std::int64_t other = (v + 0x123456789) % (std::int64_t{1} << 33);
      f.setValue(other);
      EXPECT_EQ(field, testing::timestampField(prefix, other));
    }
  }
}

TEST(TsPacketTest, FindsPesTimestampsOnlyInWellFormedHeaders) {
  enum Expect { kNone, kPtsOnly, kPtsAndDts };
  struct Case {
    const char* what;
    Bytes pes;
    std::size_t adaptationLength;
    Expect expect;
  };
  const Bytes video = testing::pesHeader(0xE0, 133200, 126000);
  const Bytes audio = testing::pesHeader(0xC0, 124560);
  auto with = [](Bytes b, std::size_t at, std::uint8_t v) {
    b[at] = v;
    return b;
  };
  const Case kCases[] = {
      {"video, PTS and DTS", video, 0, kPtsAndDts},
      {"audio, PTS, behind an adaptation field", audio, 20, kPtsOnly},
      {"private_stream_1 carries the header", with(audio, 3, 0xBD), 0, kPtsOnly},
      {"padding stream has no header", with(audio, 3, 0xBE), 0, kNone},
      {"private_stream_2 has no header", with(audio, 3, 0xBF), 0, kNone},
      {"start code missing", with(audio, 2, 0x02), 0, kNone},
      {"'10' bits missing", with(audio, 6, 0x40), 0, kNone},
      {"PTS_DTS_flags 01 is forbidden", with(audio, 7, 0x40), 0, kNone},
      {"PTS_DTS_flags 00", with(audio, 7, 0x00), 0, kNone},
      {"header_data_length too short for PTS", with(audio, 8, 4), 0, kNone},
      {"header_data_length too short for DTS", with(video, 8, 9), 0, kNone},
      {"PTS marker bit 0", with(audio, 13, 0x60), 0, kNone},
      {"DTS marker bit 0", with(video, 16, 0x06), 0, kNone},
      // Header begins 10 bytes before the packet's end: flags fit, the PTS does not.
      {"PTS past the packet's end", audio, 188 - 4 - 1 - 10, kNone},
      {"PTS ends on the packet's last byte", audio, 188 - 4 - 1 - 14, kPtsOnly},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const Bytes af = testing::adaptationField(c.adaptationLength, false);
    Bytes raw = testing::packet(0x101, true, 0, c.adaptationLength ? &af : nullptr, c.pes);
    Packet188 p(raw);
    ASSERT_TRUE(p.view().parses());
    const PesTimestamps found = findPesTimestamps(p.view());
    EXPECT_EQ(found.hasPts(), c.expect != kNone);
    EXPECT_EQ(found.hasDts(), c.expect == kPtsAndDts);
    if (c.expect == kNone) continue;
    EXPECT_EQ(found.streamId, c.pes[3]);
    const std::size_t headerAt = p.view().payloadOffset();
    EXPECT_EQ(found.ptsOffset, headerAt + 9);
    EXPECT_EQ(PesTimestampField(p.bytes.data() + found.ptsOffset).value(),
              c.expect == kPtsAndDts ? 133200 : 124560);
    if (c.expect == kPtsAndDts) {
      EXPECT_EQ(PesTimestampField(p.bytes.data() + found.dtsOffset).value(), 126000);
    }
  }
}

}  // namespace
}  // namespace tsmerge
