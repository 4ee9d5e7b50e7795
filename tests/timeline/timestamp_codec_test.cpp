#include "timeline/timestamp_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "timeline/timeline_state.h"

namespace tsmerge {
namespace {

using Field = std::array<std::uint8_t, 4>;  // field bytes 1 to 4

std::string hex(const Field& f) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", f[0], f[1], f[2], f[3]);
  return text;
}

Field encoded(std::int32_t value) {
  TimelineState state;
  state.fieldBytes = {0xAA, 0xAA, 0xAA, 0xAA};  // earlier contents do not matter
  encodeTimestamp(state, value);
  return state.fieldBytes;
}

// The field bytes 1 to 4 of bits 29..0 of a value, laid out as ISO/IEC 13818-1 has them: bits
// 29..22, bits 21..15 and a marker, bits 14..7, bits 6..0 and a marker.
TEST(TimestampCodec, EncodeTable) {
  const struct {
    std::int32_t value;
    Field bytes;
  } kCases[] = {
      {0, {0x00, 0x01, 0x00, 0x01}},
      {1, {0x00, 0x01, 0x00, 0x03}},
      {127, {0x00, 0x01, 0x00, 0xFF}},
      {128, {0x00, 0x01, 0x01, 0x01}},
      {16383, {0x00, 0x01, 0x7F, 0xFF}},
      {16384, {0x00, 0x01, 0x80, 0x01}},
      {32768, {0x00, 0x03, 0x00, 0x01}},
      {90000, {0x00, 0x05, 0xBF, 0x21}},
      {2097152, {0x00, 0x81, 0x00, 0x01}},
      {4194304, {0x01, 0x01, 0x00, 0x01}},
      {1073741823, {0xFF, 0xFF, 0xFF, 0xFF}},
      {1073741824, {0x00, 0x01, 0x00, 0x01}},  // bits 30 and 31 are dropped
      {1073750824, {0x00, 0x01, 0x46, 0x51}},  // as 9000
      {2147483647, {0xFF, 0xFF, 0xFF, 0xFF}},
      // Below zero: bits 29..0 of the two's complement, that is the value modulo 2^30.
      {-1, {0xFF, 0xFF, 0xFF, 0xFF}},
      {-9000, {0xFF, 0xFF, 0xB9, 0xB1}},  // 1073732824
      {-2147483647 - 1, {0x00, 0x01, 0x00, 0x01}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(hex(encoded(c.value)), hex(c.bytes));
  }
}

TEST(TimestampCodec, DecodeTable) {
  const struct {
    Field bytes;
    std::int32_t value;
  } kCases[] = {
      {{0x00, 0x01, 0x00, 0x01}, 0},
      {{0x00, 0x05, 0xBF, 0x21}, 90000},
      {{0x01, 0x01, 0x00, 0x01}, 4194304},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 1073741823},
      {{0x00, 0x02, 0x00, 0x01}, 16384},  // byte 2's marker missing: worth 16384 less
      {{0x00, 0x00, 0x00, 0x00}, -16384},
      {{0x00, 0x00, 0x00, 0x01}, -16383},  // -16383.5 truncated toward zero
      {{0x00, 0x00, 0x7F, 0xFF}, 0},       // -0.5 truncated toward zero
      {{0x00, 0x01, 0x00, 0x00}, 0},       // byte 4's marker is halved away
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(hex(c.bytes));
    EXPECT_EQ(decodeTimestamp(c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]), c.value);
  }
}

TEST(TimestampCodec, DecodingAnEncodedValueGivesItsLow30Bits) {
  const std::int32_t kValues[] = {
      0,  1,     9000,   90000,       1073741823,      1073741824, 1073750824, 2147483647,
      -1, -9000, -16384, -1073741824, -2147483647 - 1, 123456789,  987654321};
  for (const std::int32_t v : kValues) {
    SCOPED_TRACE(v);
    const Field f = encoded(v);
    EXPECT_EQ(decodeTimestamp(f[0], f[1], f[2], f[3]),
              static_cast<std::int32_t>(static_cast<std::uint32_t>(v) & 0x3FFFFFFF));
  }
}

// A buffer of 0xAA bytes with field bytes 1 to 4 at offset 3.
constexpr std::size_t kAt = 3;
std::vector<std::uint8_t> bufferWithField(const Field& f) {
  std::vector<std::uint8_t> b(10, 0xAA);
  std::copy(f.begin(), f.end(), b.begin() + kAt);
  return b;
}

Field fieldIn(const std::vector<std::uint8_t>& b) {
  return {b[kAt], b[kAt + 1], b[kAt + 2], b[kAt + 3]};
}

void expectOnlyFieldChanged(const std::vector<std::uint8_t>& b) {
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (i < kAt || i >= kAt + 4) {
      EXPECT_EQ(b[i], 0xAA) << "byte " << i;
    }
  }
}

TEST(TimestampCodec, RewriteTimestampTable) {
  const struct {
    const char* name;
    Field field;
    std::int32_t lastTimestamp;
    std::int32_t newValue;
    TimestampMode mode;
    Field written;
    std::int32_t old;  // returned, and lastTimestamp afterwards
  } kCases[] = {
      {"absolute",
       {0x00, 0x05, 0xBF, 0x21},
       0,
       9000,
       TimestampMode::Absolute,
       {0x00, 0x01, 0x46, 0x51},
       90000},
      {"relative: 9000 + 93600 - 90000 = 12600",
       {0x00, 0x05, 0xDB, 0x41},
       90000,
       9000,
       TimestampMode::Relative,
       {0x00, 0x01, 0x62, 0x71},
       93600},
      {"absolute ignores lastTimestamp",
       {0x00, 0x05, 0xDB, 0x41},
       90000,
       9000,
       TimestampMode::Absolute,
       {0x00, 0x01, 0x46, 0x51},
       93600},
      // -2147483000 + 93600 - 94600 = -2147484000, wrapped 2147483296, bits 29..0 1073741472.
      {"relative sum wraps",
       {0x00, 0x05, 0xDB, 0x41},
       94600,
       -2147483000,
       TimestampMode::Relative,
       {0xFF, 0xFF, 0xFD, 0x41},
       93600},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TimelineState state;
    state.lastTimestamp = c.lastTimestamp;
    std::vector<std::uint8_t> b = bufferWithField(c.field);
    const std::optional<std::int32_t> old = rewriteTimestamp(state, b, kAt, c.newValue, c.mode);
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(*old, c.old);
    EXPECT_EQ(state.lastTimestamp, c.old);
    EXPECT_EQ(hex(fieldIn(b)), hex(c.written));
    EXPECT_EQ(hex(state.fieldBytes), hex(c.written));
    expectOnlyFieldChanged(b);
  }
}

TEST(TimestampCodec, RewritePtsKeepingOffsetTable) {
  const struct {
    const char* name;
    Field pts;
    std::int32_t dtsOld;
    std::int32_t newBase;
    Field written;
  } kCases[] = {
      {"93600 lay 3600 after 90000",
       {0x00, 0x05, 0xDB, 0x41},
       90000,
       9000,
       {0x00, 0x01, 0x62, 0x71}},  // 12600
      {"87000 lay 3000 before 90000",
       {0x00, 0x05, 0xA7, 0xB1},
       90000,
       9000,
       {0x00, 0x01, 0x2E, 0xE1}},  // 6000
      {"equal values", {0x00, 0x05, 0xBF, 0x21}, 90000, 9000, {0x00, 0x01, 0x46, 0x51}},
      {"distance across field byte 1",
       {0x01, 0x01, 0x07, 0xD1},
       4192304,
       9000,
       {0x00, 0x01, 0x5D, 0xC1}},  // 4195304 - 4192304 + 9000 = 12000
      {"below zero: value modulo 2^30",
       {0x00, 0x01, 0x00, 0x01},
       9000,
       0,
       {0xFF, 0xFF, 0xB9, 0xB1}},  // -9000
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TimelineState state;
    state.lastTimestamp = 4711;
    std::vector<std::uint8_t> b = bufferWithField(c.pts);
    rewritePtsKeepingOffset(state, b, kAt, c.dtsOld, c.newBase);
    EXPECT_EQ(hex(fieldIn(b)), hex(c.written));
    EXPECT_EQ(state.lastTimestamp, 4711);
    expectOnlyFieldChanged(b);
  }
}

TEST(TimestampCodec, RelativeRewritesChainThroughLastTimestamp) {
  // Fields 90000, 93600, 97200 at offsets 0, 4, 8; a DTS/PTS pair at 12 (DTS 100800) and 16.
  std::vector<std::uint8_t> b;
  for (const std::int32_t v : {90000, 93600, 97200, 100800, 104400}) {
    const Field f = encoded(v);
    b.insert(b.end(), f.begin(), f.end());
  }
  auto at = [&](std::size_t i) { return decodeTimestamp(b[i], b[i + 1], b[i + 2], b[i + 3]); };
  TimelineState state;

  EXPECT_EQ(rewriteTimestamp(state, b, 0, 1000, TimestampMode::Absolute), 90000);
  EXPECT_EQ(at(0), 1000);
  // Measured against 90000, then against 93600: each keeps its distance from the one before.
  EXPECT_EQ(rewriteTimestamp(state, b, 4, 1000, TimestampMode::Relative), 93600);
  EXPECT_EQ(at(4), 1000 + 3600);
  EXPECT_EQ(rewriteTimestamp(state, b, 8, 2000, TimestampMode::Relative), 97200);
  EXPECT_EQ(at(8), 2000 + 3600);

  // A DTS rewritten absolutely, then its PTS: lastTimestamp holds the old DTS, not the old PTS.
  const std::optional<std::int32_t> dtsOld =
      rewriteTimestamp(state, b, 12, 5000, TimestampMode::Absolute);
  ASSERT_EQ(dtsOld, 100800);
  rewritePtsKeepingOffset(state, b, 16, *dtsOld, 5000);
  EXPECT_EQ(at(16), 5000 + 3600);
  EXPECT_EQ(state.lastTimestamp, 100800);
}

TEST(TimestampCodec, FieldNotWhollyInsideIsLeftAlone) {
  const std::vector<std::uint8_t> original = {0x00, 0x05, 0xBF, 0x21, 0x00, 0x05};
  for (const std::size_t fieldAt :
       {std::size_t{3}, std::size_t{5}, std::size_t{6}, std::size_t{7}, SIZE_MAX - 1, SIZE_MAX}) {
    SCOPED_TRACE(fieldAt);
    TimelineState state;
    state.lastTimestamp = 77;
    state.fieldBytes = {1, 2, 3, 4};
    std::vector<std::uint8_t> b = original;
    EXPECT_EQ(rewriteTimestamp(state, b, fieldAt, 9000, TimestampMode::Relative), std::nullopt);
    rewritePtsKeepingOffset(state, b, fieldAt, 0, 9000);
    EXPECT_EQ(b, original);
    EXPECT_EQ(state.lastTimestamp, 77);
    EXPECT_EQ(hex(state.fieldBytes), "01 02 03 04");
  }
  // The last four bytes are wholly inside.
  TimelineState state;
  std::vector<std::uint8_t> b = original;
  EXPECT_EQ(rewriteTimestamp(state, b, 2, 0, TimestampMode::Absolute),
            decodeTimestamp(0xBF, 0x21, 0x00, 0x05));
}

}  // namespace
}  // namespace tsmerge
