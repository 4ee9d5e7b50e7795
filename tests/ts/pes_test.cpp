#include "ts/pes.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "support/ts_stream.h"

namespace tsmerge {
namespace {

using testing::Bytes;

TEST(PesTest, TimestampFieldMatchesTheStandardLayout) {
  // 126000 = 1.4 s: bits 32..30 = 0, 29..15 = 3, 14..0 = 0x3D30 → 21 00 07 D8 61 with prefix
  // 0010, worked out by hand from the field's layout in 2.4.3.7.
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

TEST(PesTest, LayoutPlacesTheFieldsBehindTheStartCode) {
  // A header at byte 12 (behind an adaptation field of length 7): the offsets the corrector
  // addresses as PES_header_data_length A + 13, PTS byte 1 A + 15, DTS byte 1 A + 20.
  const PesHeaderLayout pes{12};
  EXPECT_EQ(pes.streamIdAt(), 15u);
  EXPECT_EQ(pes.markerFlagsAt(), 18u);
  EXPECT_EQ(pes.ptsDtsFlagsAt(), 19u);
  EXPECT_EQ(pes.headerDataLengthAt(), 20u);
  EXPECT_EQ(pes.ptsAt() + 1, 7u + 15);
  EXPECT_EQ(pes.dtsAt() + 1, 7u + 20);
  // The builder puts the fields where the layout says they are.
  Bytes packet = testing::pcrPesPacket(1, {0xC0, 10, 133200, 126000});
  EXPECT_EQ(packet[pes.ptsDtsFlagsAt()], 0xC0);
  EXPECT_EQ(packet[pes.headerDataLengthAt()], 10);
  EXPECT_EQ(PesTimestampField(packet.data() + pes.ptsAt()).value(), 133200);
  EXPECT_EQ(PesTimestampField(packet.data() + pes.dtsAt()).value(), 126000);
}

TEST(PesTest, FindsTimestampsOnlyInWellFormedHeaders) {
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
      {"DTS past the packet's end", video, 188 - 4 - 1 - 18, kNone},
      {"DTS ends on the packet's last byte", video, 188 - 4 - 1 - 19, kPtsAndDts},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const Bytes af = testing::adaptationField(c.adaptationLength, false);
    Bytes raw = testing::packet(0x101, true, 0, c.adaptationLength ? &af : nullptr, c.pes);
    const PacketView p{std::span<std::uint8_t>(raw)};
    ASSERT_TRUE(p.parses());
    const PesTimestamps found = findPesTimestamps(p);
    EXPECT_EQ(found.hasPts(), c.expect != kNone);
    EXPECT_EQ(found.hasDts(), c.expect == kPtsAndDts);
    if (c.expect == kNone) continue;
    EXPECT_EQ(found.streamId, c.pes[3]);
    const std::size_t headerAt = p.payloadOffset();
    EXPECT_EQ(found.ptsOffset, headerAt + 9);
    EXPECT_EQ(PesTimestampField(raw.data() + found.ptsOffset).value(),
              c.expect == kPtsAndDts ? 133200 : 124560);
    if (c.expect == kPtsAndDts) {
      EXPECT_EQ(found.dtsOffset, headerAt + 14);
      EXPECT_EQ(PesTimestampField(raw.data() + found.dtsOffset).value(), 126000);
    }
  }
}

}  // namespace
}  // namespace tsmerge
