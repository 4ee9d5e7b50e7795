#include "cli/timeline_report.h"

#include <cstdint>
#include <cstdio>

namespace tsmerge {
namespace {

// PTS, DTS and PCR base count the 90 kHz clock (ISO/IEC 13818-1, 2.4.2.2).
double seconds(std::int64_t ticks) { return static_cast<double>(ticks) / 90'000.0; }

}  // namespace

std::string formatTimelineReport(const TimelineSummary& summary) {
  std::string text;
  for (const TimelineBoundary& b : summary.boundaries) {
    if (!b.jumped() && b.shift == 0) continue;
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, ": clock jumped %+.3f s, shifted %+.3f s\n",
                  seconds(b.jump), seconds(b.shift));
    text += "timeline: " + b.file + numbers;
  }
  char line[64];
  std::snprintf(line, sizeof line, "timeline: total duration %.3f s\n",
                seconds(summary.duration()));
  text += line;
  return text;
}

}  // namespace tsmerge
