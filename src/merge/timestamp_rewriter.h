#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tsmerge {

// A transport packet (ISO/IEC 13818-1, 2.4.3.2) and the sync byte it begins with.
inline constexpr std::size_t kTsPacketBytes = 188;
inline constexpr std::uint8_t kTsSyncByte = 0x47;

// Rewrites the timestamps of transport-stream sources in place while they pass through a merge.
// The merge job calls it only for sources whose first byte is the sync byte 0x47; each such
// source arrives as consecutive pieces, every piece but the last a multiple of 188 bytes.
class TimestampRewriter {
 public:
  virtual ~TimestampRewriter() = default;
  // A merge with rewriting on is about to ask for its output path.
  virtual void resetTimelineState() = 0;
  // A new source begins; name is as listed in the folder.
  virtual void beginFile(const std::string& name) { (void)name; }
  // Rewrites one piece in place; startsFile is true for the first piece of a source.
  virtual void correctBuffer(std::span<std::uint8_t> piece, bool startsFile) = 0;
  // Every source has been appended (called only when the join ran to its end).
  virtual void finishMerge() {}
};

}  // namespace tsmerge
