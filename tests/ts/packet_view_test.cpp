#include "ts/packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/ts_stream.h"

namespace tsmerge {
namespace {

using testing::Bytes;

PacketView viewOf(Bytes& bytes) { return PacketView(std::span<std::uint8_t>(bytes)); }

TEST(PacketViewTest, ReadsTheHeaderFields) {
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
    const PacketView p = viewOf(raw);
    EXPECT_TRUE(p.parses());
    EXPECT_EQ(p.pid(), c.pid);
    EXPECT_EQ(p.payloadUnitStartIndicator(), c.pusi);
    EXPECT_EQ(p.continuityCounter(), c.cc);
    EXPECT_EQ(p.hasAdaptationField(), c.withAdaptation);
    EXPECT_EQ(p.hasPayload(), c.withPayload);
    EXPECT_EQ(p.payloadOffset(), c.withAdaptation ? 4u + 1 + raw[4] : 4u);
  }
}

TEST(PacketViewTest, RefusesPacketsThatDoNotParse) {
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
    EXPECT_EQ(viewOf(raw).parses(), c.parses);
  }
}

// A buffer that ends inside a packet: the view stops at the buffer's end and says so.
TEST(PacketViewTest, HoldsOnlyTheBytesOfAShortLastPacket) {
  const Bytes af = testing::adaptationField(7, true, 1, 0);
  Bytes two = testing::packet(0x100, true, 3, &af, {});
  const Bytes second = testing::packet(0x101, true, 4, &af, {});
  two.insert(two.end(), second.begin(), second.end());
  const std::span<std::uint8_t> buffer(two);
  const struct {
    std::size_t bufferBytes;
    std::size_t offset;
    std::size_t size;
  } kCases[] = {
      {376, 0, 188}, {376, 188, 188}, {200, 188, 12}, {189, 188, 1}, {188, 188, 0}, {100, 188, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.bufferBytes << " @ " << c.offset);
    const PacketView p = PacketView::at(buffer.first(c.bufferBytes), c.offset);
    EXPECT_EQ(p.size(), c.size);
    EXPECT_EQ(p.whole(), c.size == 188);
    EXPECT_EQ(p.holds(c.size - 1), c.size != 0);
    EXPECT_FALSE(p.holds(c.size));
    // A packet cut short never parses; its PCR counts when bytes 6..11 are there.
    EXPECT_EQ(p.parses(), c.size == 188);
    EXPECT_EQ(p.hasPcr(), c.size >= 12);
  }
  EXPECT_EQ(PacketView::at(buffer.first(200), 188).pid(), 0x101);
}

TEST(PacketViewTest, ReadsAndWritesThePcrKeepingReservedBits) {
  const struct {
    std::int64_t base;
    unsigned extension;
  } kCases[] = {
      {0, 0}, {1, 299}, {(std::int64_t{1} << 33) - 1, 511}, {0x123456789, 0x1AB}, {63000, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.base);
    const Bytes af = testing::adaptationField(7, true, c.base, c.extension);
    Bytes raw = testing::packet(0x100, false, 0, &af, {});
    PacketView p = viewOf(raw);
    ASSERT_TRUE(p.hasPcr());
    EXPECT_EQ(p.pcrBase(), c.base);
    EXPECT_EQ(p.pcrExtension(), c.extension);
    EXPECT_EQ(p.pcrBaseHigh32(), static_cast<std::uint32_t>(c.base >> 1));

    // Writing another value and then the first one back restores the bytes, reserved bits too.
    const Bytes before = raw;
    p.setPcr(c.base ^ 0x155555555, c.extension ^ 0x155);
    EXPECT_EQ(p.pcrBase(), c.base ^ 0x155555555);
    EXPECT_EQ(p.pcrExtension(), c.extension ^ 0x155);
    EXPECT_EQ(raw[10] & 0x7E, 0x7E);
    p.setPcr(c.base, c.extension);
    EXPECT_EQ(raw, before);
  }
}

// The --fix-timeline corrector writes bits 32..1 of the base alone: bytes 6..9 change, base bit
// 0, the reserved bits and the extension in bytes 10 and 11 stay.
TEST(PacketViewTest, WritesTheUpper32BitsOfThePcrBaseAlone) {
  const Bytes af = testing::adaptationField(7, true, 0x0AAAAAAAB, 0x155);
  Bytes raw = testing::packet(0x100, true, 0, &af, {});
  const Bytes before = raw;
  viewOf(raw).setPcrBaseHigh32(0x89ABCDEF);
  Bytes expected = before;
  expected[6] = 0x89;
  expected[7] = 0xAB;
  expected[8] = 0xCD;
  expected[9] = 0xEF;
  EXPECT_EQ(raw, expected);
  EXPECT_EQ(viewOf(raw).pcrBase(), std::int64_t{0x89ABCDEF} << 1 | 1);
  EXPECT_EQ(viewOf(raw).pcrExtension(), 0x155u);
}

TEST(PacketViewTest, PcrNeedsItsFlagAndRoom) {
  const Bytes noFlag = testing::adaptationField(7, false);
  Bytes a = testing::packet(0x100, false, 0, &noFlag, {});
  EXPECT_FALSE(viewOf(a).hasPcr());
  // PCR_flag set, but adaptation_field_length 6 leaves no room for the six PCR bytes; the raw
  // flag still reads set.
  Bytes shortAf = testing::adaptationField(6, false);
  shortAf[0] = 0x10;
  Bytes b = testing::packet(0x100, false, 0, &shortAf, {});
  EXPECT_FALSE(viewOf(b).hasPcr());
  EXPECT_TRUE(viewOf(b).pcrFlag());
  // No adaptation field at all: byte 5 is payload, whatever its value.
  Bytes c = testing::packet(0x100, false, 0, nullptr, {});
  c[4] = 7;
  c[5] = 0x10;
  EXPECT_FALSE(viewOf(c).hasPcr());
  EXPECT_TRUE(viewOf(c).pcrFlag());
  EXPECT_EQ(viewOf(c).adaptationFieldLength(), 7);
}

TEST(PacketViewTest, ContinuityCounterKeepsTheOtherBitsOfItsByte) {
  const Bytes af = testing::adaptationField(7, false);
  Bytes raw = testing::packet(0x1FFE, true, 9, &af, {});
  Bytes expected = testing::packet(0x1FFE, true, 6, &af, {});
  PacketView p = viewOf(raw);
  p.setContinuityCounter(0x16);  // only the low 4 bits count
  EXPECT_EQ(p.continuityCounter(), 6u);
  EXPECT_EQ(raw, expected);
}

}  // namespace
}  // namespace tsmerge
