#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tsmerge {

// Rewrites the timestamps of transport-stream sources in place while they pass through a merge.
// The merge job calls it only for sources whose first byte is the sync byte 0x47; each such
// source arrives as consecutive pieces, every piece but the last a multiple of 188 bytes, the
// first holding at least the source's first three packets (or all of a shorter source).
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
