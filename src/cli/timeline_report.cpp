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
    const bool gapped = b.gap > b.frame;
    if (!b.jumped() && b.shift == 0 && !gapped) continue;
    char numbers[128];
    if (b.jumped() || b.shift != 0) {
      std::snprintf(numbers, sizeof numbers, ": clock jumped %+.3f s, shifted %+.3f s",
                    seconds(b.jump), seconds(b.shift));
    } else {
      std::snprintf(numbers, sizeof numbers, ": clock ran on");
    }
    text += "timeline: " + b.file + numbers;
    if (b.gap > 0) {
      std::snprintf(numbers, sizeof numbers, ", gap left %.3f s on PID 0x%04X", seconds(b.gap),
                    static_cast<unsigned>(b.gapPid));
      text += numbers;
    }
    text += "\n";
  }
  char line[64];
  std::snprintf(line, sizeof line, "timeline: total duration %.3f s\n",
                seconds(summary.duration()));
  text += line;
  return text;
}

}  // namespace tsmerge
