// --continuous-timeline and --report on the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "cli/timeline_report.h"
#include "platform/posix_file_access.h"
#include "support/test_files.h"

namespace tsmerge {
namespace {

namespace fs = std::filesystem;

using testing::readFile;

struct CliRun {
  int status;
  std::string out, err;
};

CliRun runWith(const std::vector<std::string>& args) {
  const CliOptions options = parseCliOptions(args);
  if (!options.usageError.empty()) return {kExitUsage, "", options.usageError};
  PosixFileAccess files;
  std::ostringstream out, err;
  const int status = runCli(options, files, out, err, CliEnvironment{});
  return {status, out.str(), err.str()};
}

class CliContinuousTest : public ::testing::Test {
 protected:
  std::string out(const std::string& name) const { return temp_ / name; }
  testing::TempDir temp_{"tsmerge-cli-continuous"};
  const fs::path& dir_ = temp_.path();
};

// The twelve bundled segments restart their clocks at every boundary: 1.6 s each.
constexpr int kSamples = 12;

TEST(CliContinuousOptions, ParsesAndRefusesTheTwoTimelinesTogether) {
  const struct {
    std::vector<std::string> args;
    TimelineMode timeline;
    bool report, usageError;
  } kCases[] = {
      {{"--continuous-timeline", "-o", "/o.ts", "/in"}, TimelineMode::Continuous, false, false},
      {{"/in", "--report", "-o", "/o.ts"}, TimelineMode::Plain, true, false},
      {{"--report", "--continuous-timeline", "-o", "/o.ts", "/in"}, TimelineMode::Continuous, true,
       false},
      {{"--fix-timeline", "--report", "-o", "/o.ts", "/in"}, TimelineMode::FixTimeline, true,
       false},
      {{"--fix-timeline", "--fix-timeline", "-o", "/o.ts", "/in"}, TimelineMode::FixTimeline,
       false, false},
      {{"--fix-timeline", "--continuous-timeline", "-o", "/o.ts", "/in"}, {}, false, true},
      {{"--continuous-timeline", "/in", "--fix-timeline", "-o", "/o.ts"}, {}, false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const CliOptions o = parseCliOptions(c.args);
    EXPECT_EQ(!o.usageError.empty(), c.usageError);
    if (!c.usageError) {
      EXPECT_EQ(o.timeline, c.timeline);
      EXPECT_EQ(o.report, c.report);
    } else {
      EXPECT_NE(o.usageError.find("--continuous-timeline"), std::string::npos);
    }
  }
}

TEST(CliContinuousOptions, HelpNamesTheOptions) {
  const std::string help = cliHelpText();
  EXPECT_NE(help.find("--continuous-timeline"), std::string::npos);
  EXPECT_NE(help.find("--report"), std::string::npos);
}

TEST_F(CliContinuousTest, ContinuousTimelineReportsEveryStitchedBoundary) {
  const CliRun r = runWith({"--continuous-timeline", "--report", "-o", out("c.ts"), TSMERGE_SAMPLES});
  ASSERT_EQ(r.status, kExitJoined) << r.err;
  int lines = 0;
  std::istringstream text(r.out);
  for (std::string line; std::getline(text, line);) {
    if (line.find("clock jumped -1.600 s, shifted +1.600 s") != std::string::npos) ++lines;
  }
  EXPECT_EQ(lines, kSamples - 1);
  EXPECT_NE(r.out.find("timeline: 2.ts: "), std::string::npos);
  EXPECT_NE(r.out.find("timeline: total duration 19.200 s\n"), std::string::npos);
  // Same size as the plain join, different bytes.
  const std::string plain = testing::concatenatedSegments(TSMERGE_SAMPLES, kSamples);
  const std::string joined = readFile(out("c.ts"));
  EXPECT_EQ(joined.size(), plain.size());
  EXPECT_NE(joined, plain);
}

TEST_F(CliContinuousTest, ReportAloneObservesAPlainJoin) {
  const CliRun r = runWith({"--report", "-o", out("p.ts"), TSMERGE_SAMPLES});
  ASSERT_EQ(r.status, kExitJoined) << r.err;
  EXPECT_EQ(readFile(out("p.ts")), testing::concatenatedSegments(TSMERGE_SAMPLES, kSamples));
  EXPECT_NE(r.out.find("timeline: 12.ts: clock jumped -1.600 s, shifted +0.000 s"),
            std::string::npos);
  // A plain join lasts as long as its segments together, 12 × 1.6 s, however its clock jumps.
  EXPECT_NE(r.out.find("timeline: total duration 19.200 s\n"), std::string::npos);
}

TEST_F(CliContinuousTest, ReportWithFixTimelineShowsItsShifts) {
  const CliRun r = runWith({"--fix-timeline", "--report", "-o", out("f.ts"), TSMERGE_SAMPLES});
  ASSERT_EQ(r.status, kExitJoined) << r.err;
  const CliRun fixed = runWith({"--fix-timeline", "-o", out("g.ts"), TSMERGE_SAMPLES});
  ASSERT_EQ(fixed.status, kExitJoined);
  // Observing changes nothing in what the corrector writes.
  EXPECT_EQ(readFile(out("f.ts")), readFile(out("g.ts")));
  EXPECT_NE(r.out.find("timeline: 2.ts: clock jumped -1.600 s, shifted "), std::string::npos);
  EXPECT_NE(r.out.find("timeline: total duration "), std::string::npos);
  EXPECT_EQ(fixed.out.find("timeline:"), std::string::npos);
}

TEST_F(CliContinuousTest, TheTwoTimelinesTogetherAreABadUsage) {
  const CliRun r = runWith({"--fix-timeline", "--continuous-timeline", "-o", out("x.ts"),
                            TSMERGE_SAMPLES});
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_FALSE(fs::exists(out("x.ts")));
}

TEST(TimelineReport, NamesJumpedBoundariesAndTheDuration) {
  TimelineSummary summary;
  summary.filesWithClock = 3;
  summary.start = (std::int64_t{1} << 33) - 90000;  // across the wrap: 3 s
  summary.end = 180000;
  TimelineBoundary kept;
  kept.file = "2.ts";
  kept.jump = 100;
  kept.frame = 3600;
  TimelineBoundary closed;
  closed.file = "3.ts";
  closed.jump = -144000;
  closed.shift = 144000;
  closed.frame = 3600;
  summary.boundaries = {kept, closed};
  EXPECT_EQ(formatTimelineReport(summary),
            "timeline: 3.ts: clock jumped -1.600 s, shifted +1.600 s\n"
            "timeline: total duration 3.000 s\n");
}

}  // namespace
}  // namespace tsmerge
