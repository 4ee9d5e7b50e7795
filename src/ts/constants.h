#pragma once

#include <cstddef>
#include <cstdint>

namespace tsmerge {

// A transport packet (ISO/IEC 13818-1, 2.4.3.2) and the sync byte it begins with.
inline constexpr std::size_t kTsPacketBytes = 188;
inline constexpr std::uint8_t kTsSyncByte = 0x47;

// PIDs are 13 bits; 0x1FFF marks null packets (2.4.3.3, Table 2-3).
inline constexpr std::size_t kPidCount = 0x2000;
inline constexpr std::uint16_t kNullPid = 0x1FFF;

// PTS, DTS and the PCR base count a 90 kHz clock; the PCR as base × 300 + extension counts the
// 27 MHz system clock (2.4.2.1, 2.4.3.5).
inline constexpr std::int64_t kClockHz = 90'000;
inline constexpr std::int64_t kSystemClockHz = 27'000'000;

}  // namespace tsmerge
