#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "timeline/timeline_state.h"
#include "ts/clock.h"

namespace tsmerge {

// A PTS or DTS field is the five-byte timestamp field of a PES header (ISO/IEC 13818-1, 2.4.3.7).
// The codec handles field bytes 1 to 4 only, which carry timestamp bits 29..0; field byte 0 (the
// prefix, bits 32..30 and a marker) is never read or written, so the three top bits of a
// rewritten timestamp stay as the source had them. Fields are addressed by the 0-based offset of
// their byte 1 in the buffer.

// Bytes a timestamp occupies in the codec's hands: field bytes 1 to 4.
inline constexpr std::size_t kTimestampBytes = 4;

enum class TimestampMode {
  Absolute,  // the field gets the new value
  Relative,  // the field gets the new value plus its distance from state.lastTimestamp
};

// The value of field bytes 1 to 4, exactly b1*2^22 + (b2-1)*2^14 + b3*2^7 + b4/2 truncated toward
// zero: bits 29..0 for a well-formed field (markers set), -16384..1073741823 for any bytes.
std::int32_t decodeTimestamp(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4);

// Leaves in state.fieldBytes the field bytes 1 to 4 of bits 29..0 of value, marker bits set.
// A value below zero gives the bits of its 32-bit two's complement (the value modulo 2^30).
void encodeTimestamp(TimelineState& state, std::int32_t value);

// Rewrites the four bytes at fieldAt with newValue (Relative: newValue + old - lastTimestamp,
// wrapped to 32 bits), sets state.lastTimestamp to the old value and returns it. A field that
// does not lie wholly inside buffer is left alone with the state: the result is then empty.
std::optional<std::int32_t> rewriteTimestamp(TimelineState& state, std::span<std::uint8_t> buffer,
                                             std::size_t fieldAt, std::int32_t newValue,
                                             TimestampMode mode);

// Rewrites the PTS whose byte 1 is at fieldAt to newBase + (old PTS - dtsOld), wrapped to 32 bits,
// so that it keeps its signed distance from its DTS. state.lastTimestamp is neither read nor
// changed. A field that does not lie wholly inside buffer is left alone.
void rewritePtsKeepingOffset(TimelineState& state, std::span<std::uint8_t> buffer,
                             std::size_t fieldAt, std::int32_t dtsOld, std::int32_t newBase);

}  // namespace tsmerge
