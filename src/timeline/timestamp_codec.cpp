#include "timeline/timestamp_codec.h"

#include <algorithm>

namespace tsmerge {

namespace {

bool fieldInside(std::span<const std::uint8_t> buffer, std::size_t fieldAt) {
  return fieldAt <= buffer.size() && buffer.size() - fieldAt >= kTimestampBytes;
}

std::int32_t decodeAt(std::span<const std::uint8_t> buffer, std::size_t fieldAt) {
  return decodeTimestamp(buffer[fieldAt], buffer[fieldAt + 1], buffer[fieldAt + 2],
                         buffer[fieldAt + 3]);
}

void encodeAt(TimelineState& state, std::span<std::uint8_t> buffer, std::size_t fieldAt,
              std::int32_t value) {
  encodeTimestamp(state, value);
  std::copy(state.fieldBytes.begin(), state.fieldBytes.end(),
            buffer.begin() + static_cast<std::ptrdiff_t>(fieldAt));
}

}  // namespace

std::int32_t decodeTimestamp(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) {
  // Twice the sum is an integer; halving it with integer division truncates toward zero, which
  // drops the marker bit of byte 4 and turns -16383.5 (bytes 00 00 00 01) into -16383.
  const std::int64_t twiceSum =
      2 * (std::int64_t{b1} * 4194304 + (std::int64_t{b2} - 1) * 16384 + std::int64_t{b3} * 128) +
      b4;
  return static_cast<std::int32_t>(twiceSum / 2);
}

void encodeTimestamp(TimelineState& state, std::int32_t value) {
  // Bits of the two's-complement pattern: for 0..2^31-1 these are exactly value div 2^k mod 2^n.
  const auto bits = static_cast<std::uint32_t>(value);
  state.fieldBytes = {
      static_cast<std::uint8_t>(bits >> 22),                        // bits 29..22
      static_cast<std::uint8_t>((((bits >> 15) & 0x7F) << 1) | 1),  // bits 21..15, marker
      static_cast<std::uint8_t>(bits >> 7),                         // bits 14..7
      static_cast<std::uint8_t>(((bits & 0x7F) << 1) | 1),          // bits 6..0, marker
  };
}

std::optional<std::int32_t> rewriteTimestamp(TimelineState& state, std::span<std::uint8_t> buffer,
                                             std::size_t fieldAt, std::int32_t newValue,
                                             TimestampMode mode) {
  if (!fieldInside(buffer, fieldAt)) return std::nullopt;
  const std::int32_t old = decodeAt(buffer, fieldAt);
  if (mode == TimestampMode::Relative) {
    newValue = wrap32(std::int64_t{newValue} + old - state.lastTimestamp);
  }
  state.lastTimestamp = old;
  encodeAt(state, buffer, fieldAt, newValue);
  return old;
}

void rewritePtsKeepingOffset(TimelineState& state, std::span<std::uint8_t> buffer,
                             std::size_t fieldAt, std::int32_t dtsOld, std::int32_t newBase) {
  if (!fieldInside(buffer, fieldAt)) return;
  const std::int32_t oldPts = decodeAt(buffer, fieldAt);
  encodeAt(state, buffer, fieldAt, wrap32(std::int64_t{newBase} + oldPts - dtsOld));
}

}  // namespace tsmerge
