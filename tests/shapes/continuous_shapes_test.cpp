// tsmerge --continuous-timeline on every segment shape, judged by every reader there is.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "shape_folders.h"
#include "stream_judges.h"
#include "support/test_files.h"

namespace tsmerge::testing {
namespace {

namespace fs = std::filesystem;

int runTsmerge(const std::string& options, const fs::path& output, const fs::path& folder) {
  const std::string command = std::string(TSMERGE_BINARY) + " " + options + " -o '" +
                              output.string() + "' '" + folder.string() + "' >/dev/null 2>&1";
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string withoutCounters(std::string ts) {
  for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) ts[at + 3] &= '\xF0';
  return ts;
}

class ContinuousShapes : public ::testing::TestWithParam<const char*> {};

TEST_P(ContinuousShapes, SeamlessToEveryReader) {
  const ShapeFolders shapes = ShapeFolders::load();
  if (!shapes.made()) GTEST_SKIP() << "no segment shapes (ffmpeg missing)";
  const Shape* shape = shapes.find(GetParam());
  if (shape == nullptr) GTEST_SKIP() << GetParam() << " was not made (its tool is missing)";
  TempDir temp("tsmerge-shapes");
  const fs::path plain = temp.path() / "plain.ts", joined = temp.path() / "continuous.ts";
  ASSERT_EQ(runTsmerge("", plain, shape->folder), 0);
  ASSERT_EQ(runTsmerge("--continuous-timeline", joined, shape->folder), 0);

  std::vector<SourceRange> sources;
  std::int64_t at = 0;
  for (const fs::path& f : shape->files) {
    const auto size = static_cast<std::int64_t>(fs::file_size(f));
    sources.push_back({f, at, at + size});
    at += size;
  }
  const Judgement out = judgeStream(joined, sources);
  ASSERT_FALSE(out.streams.empty());
  const StreamJudgement* reference = out.stream("video");
  if (reference == nullptr) reference = &out.streams.front();
  const std::int64_t frame = reference->frame;
  ASSERT_GT(frame, 0);

  EXPECT_EQ(out.counterBreaks, 0);
  EXPECT_EQ(out.pcrStepsBack, 0);
  EXPECT_EQ(out.dtsStepsBack(), 0);
  EXPECT_LE(out.offsetError.value_or(0), frame);
  EXPECT_EQ(out.ffmpegMessages.value_or(""), "");
  EXPECT_EQ(out.gstResets.value_or(0), 0);
  EXPECT_EQ(out.gstDiscontinuities.value_or(0), 0);
  if (out.mkvDuration) {
    EXPECT_NEAR(*out.mkvDuration, out.spanSeconds(), frame / 90000.0);
  }

  if (shape->runsOn) {
    // Only counter bits change where the clock already runs on.
    EXPECT_TRUE(withoutCounters(readFile(plain)) == withoutCounters(readFile(joined)));
    return;
  }
  // Each stream may be left without data at a boundary for as long as the sources leave it:
  // the time it starts after the segment's first stream, plus the time it ends before the
  // segment's last (its decode times); anything more is a gap the join made.
  std::int64_t sum = 0;
  std::vector<Judgement> in;
  for (const fs::path& f : shape->files) {
    in.push_back(probeStreams(f));
    sum += in.back().referenceSpan();
  }
  std::int64_t referenceGaps = 0;
  for (const StreamJudgement& s : out.streams) {
    SCOPED_TRACE(s.type);
    std::int64_t allowed = 0;
    for (std::size_t k = 1; k < in.size(); ++k) {
      const StreamJudgement* before = in[k - 1].stream(s.type);
      const StreamJudgement* after = in[k].stream(s.type);
      if (before == nullptr || after == nullptr) continue;
      std::int64_t lastEnd = INT64_MIN, firstStart = INT64_MAX;
      for (const StreamJudgement& o : in[k - 1].streams) lastEnd = std::max(lastEnd, o.decodeEnd);
      for (const StreamJudgement& o : in[k].streams) firstStart = std::min(firstStart, o.decodeStart);
      const std::int64_t real = (lastEnd - before->decodeEnd) + (after->decodeStart - firstStart);
      allowed = std::max(allowed, real);
      if (&s == reference) referenceGaps += real;
    }
    EXPECT_LE(s.largestGap, allowed + s.frame) << "allowed " << allowed;
  }
  const std::int64_t span = out.referenceSpan();
  EXPECT_GE(span, sum - frame);
  EXPECT_LE(span, sum + referenceGaps + frame) << "sum " << sum << " gaps " << referenceGaps;
}

INSTANTIATE_TEST_SUITE_P(Shapes, ContinuousShapes,
                         ::testing::Values("restart", "continuous", "wrap", "aac", "mpeg2-cbr",
                                           "audio-early", "fps-change", "hls", "hls-gst",
                                           "missing"),
                         [](const ::testing::TestParamInfo<const char*>& shape) {
                           std::string name = shape.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tsmerge::testing
