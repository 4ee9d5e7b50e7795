#pragma once

#include <cstdint>

#include "ts/constants.h"

namespace tsmerge {

// The clocks of ISO/IEC 13818-1 in 33 bits: PTS, DTS and the PCR base in 90 kHz ticks; the PCR as
// base × 300 + extension in 27 MHz ticks. Every value here is held in a 64-bit integer already
// reduced to its field's range.
inline constexpr std::int64_t kSystemTicksPerTick = kSystemClockHz / kClockHz;  // 300
inline constexpr std::int64_t kClockModulus = std::int64_t{1} << 33;
inline constexpr std::int64_t kPcrModulus = kClockModulus * kSystemTicksPerTick;

// All 33-bit clock arithmetic goes through these few functions. A 33-bit clock wraps to zero about
// every 26.5 hours, and a stream that passes the wrap is still one continuous stream: so a
// difference between two clock values is taken modulo 2^33 and read as the shorter way round,
// which makes 0x1FFFFFFFF → 0 a step of +1 and never a jump of −(2^33 − 1).

// value reduced to [0, 2^33).
constexpr std::int64_t wrapTicks(std::int64_t value) {
  const std::int64_t r = value % kClockModulus;
  return r < 0 ? r + kClockModulus : r;
}

// clock + delta, modulo 2^33.
constexpr std::int64_t addTicks(std::int64_t clock, std::int64_t delta) {
  return wrapTicks(clock + wrapTicks(delta));
}

// later − earlier as the signed difference of smallest magnitude, in [−2^32, 2^32).
constexpr std::int64_t tickDelta(std::int64_t later, std::int64_t earlier) {
  const std::int64_t d = wrapTicks(later - earlier);
  return d >= kClockModulus / 2 ? d - kClockModulus : d;
}

// PCR (base × 300 + extension) + delta in 90 kHz ticks, modulo 2^33 × 300.
constexpr std::int64_t addPcrTicks(std::int64_t pcr, std::int64_t deltaTicks) {
  return (pcr + wrapTicks(deltaTicks) * kSystemTicksPerTick) % kPcrModulus;
}

// Seconds of a tick count, for reports.
constexpr double tickSeconds(std::int64_t ticks) {
  return static_cast<double>(ticks) / static_cast<double>(kClockHz);
}

// The low 32 bits of value, read back as signed. The --fix-timeline corrector holds its clocks as
// 32-bit patterns (PCR bits 32..1, timestamp bits 29..0) and every one of its sums wraps this way,
// not at 2^33.
constexpr std::int32_t wrap32(std::int64_t value) {
  // Conversion to a signed type is modulo 2^N since C++20; no overflow is involved.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace tsmerge
