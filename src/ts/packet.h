#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ts/constants.h"

namespace tsmerge {

// A view of one transport packet (ISO/IEC 13818-1, 2.4.3.2) inside a larger buffer, rewritten in
// place. It spans 188 bytes, or fewer for the last packet of a buffer that ends short; holds(n)
// says whether byte n (0-based from the sync byte) is inside.
//
// Raw accessors read or write the bits of one field at its fixed position, whatever the other
// fields say; the caller makes sure the packet holds the bytes named in their comment. Checked
// accessors (parses, hasAdaptationField, hasPayload, hasPcr) follow the packet's structure and
// never reach past its end. Setters change the bits of their field only.
class PacketView {
 public:
  // Fixed positions (2.4.3.2, 2.4.3.4): the 4-byte header, adaptation_field_length, the flags
  // byte that holds PCR_flag, and the 6 bytes of the PCR.
  static constexpr std::size_t kHeaderBytes = 4;
  static constexpr std::size_t kAdaptationFieldLengthAt = 4;
  static constexpr std::size_t kAdaptationFlagsAt = 5;
  static constexpr std::size_t kPcrAt = 6;
  static constexpr std::size_t kPcrBytes = 6;

  // The first 188 bytes of bytes, or all of them when there are fewer.
  explicit PacketView(std::span<std::uint8_t> bytes)
      : b_(bytes.data()), size_(std::min(bytes.size(), kTsPacketBytes)) {}

  // The packet that begins at offset in buffer, cut short at the buffer's end (empty past it).
  static PacketView at(std::span<std::uint8_t> buffer, std::size_t offset) {
    return PacketView(offset < buffer.size() ? buffer.subspan(offset) : std::span<std::uint8_t>());
  }

  std::size_t size() const { return size_; }
  bool holds(std::size_t n) const { return n < size_; }
  bool whole() const { return size_ == kTsPacketBytes; }
  std::uint8_t* data() const { return b_; }

  // Raw accessors of the packet header, bytes 0..3.
  std::uint8_t syncByte() const { return b_[0]; }
  bool transportErrorIndicator() const { return (b_[1] & 0x80) != 0; }
  bool payloadUnitStartIndicator() const { return (b_[1] & 0x40) != 0; }
  std::uint16_t pid() const { return static_cast<std::uint16_t>((b_[1] & 0x1F) << 8 | b_[2]); }
  // 2 bits: 01 payload only, 10 adaptation field only, 11 both, 00 reserved.
  unsigned adaptationFieldControl() const { return (b_[3] >> 4) & 0x3; }
  // 4 bits; counts the packets with payload of one PID (2.4.3.3).
  unsigned continuityCounter() const { return b_[3] & 0x0F; }
  void setContinuityCounter(unsigned cc) {
    b_[3] = static_cast<std::uint8_t>((b_[3] & 0xF0) | (cc & 0x0F));
  }

  // Raw accessors of the adaptation field (2.4.3.4), as if there was one: byte 4, byte 5.
  std::uint8_t adaptationFieldLength() const { return b_[kAdaptationFieldLengthAt]; }
  bool pcrFlag() const { return (b_[kAdaptationFlagsAt] & 0x10) != 0; }

  // Raw accessors of the PCR, bytes 6..11: program_clock_reference_base (33 bits), six reserved
  // bits, program_clock_reference_extension (9 bits).
  std::int64_t pcrBase() const {
    return std::int64_t{b_[6]} << 25 | std::int64_t{b_[7]} << 17 | std::int64_t{b_[8]} << 9 |
           std::int64_t{b_[9]} << 1 | std::int64_t{b_[10]} >> 7;
  }
  unsigned pcrExtension() const { return (b_[10] & 0x01u) << 8 | b_[11]; }
  // Writes base (bits 32..0) and extension (bits 8..0), keeping the six reserved bits.
  void setPcr(std::int64_t base, unsigned extension) {
    b_[6] = static_cast<std::uint8_t>(base >> 25);
    b_[7] = static_cast<std::uint8_t>(base >> 17);
    b_[8] = static_cast<std::uint8_t>(base >> 9);
    b_[9] = static_cast<std::uint8_t>(base >> 1);
    b_[10] = static_cast<std::uint8_t>((base & 1) << 7 | (b_[10] & 0x7E) | (extension >> 8 & 1));
    b_[11] = static_cast<std::uint8_t>(extension);
  }
  // Bits 32..1 of program_clock_reference_base, bytes 6..9 read big-endian; the setter leaves
  // base bit 0, the reserved bits and the extension (bytes 10, 11) as they are.
  std::uint32_t pcrBaseHigh32() const {
    return std::uint32_t{b_[6]} << 24 | std::uint32_t{b_[7]} << 16 | std::uint32_t{b_[8]} << 8 |
           std::uint32_t{b_[9]};
  }
  void setPcrBaseHigh32(std::uint32_t bits) {
    b_[6] = static_cast<std::uint8_t>(bits >> 24);
    b_[7] = static_cast<std::uint8_t>(bits >> 16);
    b_[8] = static_cast<std::uint8_t>(bits >> 8);
    b_[9] = static_cast<std::uint8_t>(bits);
  }

  // Checked: a whole packet whose header and adaptation field are well formed: sync byte, no
  // transport error, a defined adaptation_field_control, and an adaptation_field_length that
  // fits (183 with no payload, at most 182 with one; 2.4.3.5). A packet cut short never parses.
  bool parses() const {
    if (!whole() || syncByte() != kTsSyncByte || transportErrorIndicator()) return false;
    switch (adaptationFieldControl()) {
      case 0: return false;
      case 2: return adaptationFieldLength() == 183;
      case 3: return adaptationFieldLength() <= 182;
      default: return true;
    }
  }
  // Checked (they need byte 3 only).
  bool hasAdaptationField() const { return holds(3) && (adaptationFieldControl() & 0x2) != 0; }
  bool hasPayload() const { return holds(3) && (adaptationFieldControl() & 0x1) != 0; }
  // Checked: an adaptation field long enough for the flags byte and the PCR, with PCR_flag set,
  // and the PCR's bytes inside the packet.
  bool hasPcr() const {
    return hasAdaptationField() && holds(kPcrAt + kPcrBytes - 1) &&
           adaptationFieldLength() >= 1 + kPcrBytes && pcrFlag();
  }
  // The offset of the first payload byte, behind the header and the adaptation field (1 +
  // adaptation_field_length bytes when there is one); needs bytes 3 and 4. In a packet that does
  // not parse it may lie at or past the packet's end.
  std::size_t payloadOffset() const {
    return kHeaderBytes + (hasAdaptationField() ? 1 + std::size_t{adaptationFieldLength()} : 0);
  }

 private:
  std::uint8_t* b_;
  std::size_t size_;
};

}  // namespace tsmerge
