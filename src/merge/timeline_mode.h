#pragma once

namespace tsmerge {

// What a merge does to the timestamps of the transport-stream sources.
enum class TimelineMode {
  Plain,        // nothing: the join is byte for byte
  FixTimeline,  // the timeline corrector (one clock; the window's check box)
  Continuous,   // the continuous timeline (every stream)
};

}  // namespace tsmerge
