#pragma once

#include <string>

#include "continuous/continuous_timeline.h"

namespace tsmerge {

// The lines --report prints: one per boundary whose clock jumped, then the total duration.
std::string formatTimelineReport(const TimelineSummary& summary);

}  // namespace tsmerge
