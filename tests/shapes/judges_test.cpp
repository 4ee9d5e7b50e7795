// The judges themselves: they must see the faults a plain join of restarting segments has, and
// not see them where the clock runs on.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shape_folders.h"
#include "stream_judges.h"

namespace tsmerge::testing {
namespace {

namespace fs = std::filesystem;

// One 188-byte packet: PID 0x100, the given counter, payload or adaptation field only, with the
// discontinuity_indicator and a PCR when asked (ISO/IEC 13818-1, 2.4.3.2 and 2.4.3.4).
std::string packet(int cc, bool payload = true, bool discontinuity = false,
                   std::int64_t pcrBase = -1) {
  std::string p(188, '\xFF');
  p[0] = 0x47;
  p[1] = 0x01;
  p[2] = 0x00;
  const bool adaptation = !payload || discontinuity || pcrBase >= 0;
  p[3] = static_cast<char>(((adaptation ? 2 : 0) | (payload ? 1 : 0)) << 4 | (cc & 0xF));
  if (adaptation) {
    p[4] = static_cast<char>(payload ? 7 : 183);
    p[5] = static_cast<char>((discontinuity ? 0x80 : 0) | (pcrBase >= 0 ? 0x10 : 0));
    if (pcrBase >= 0) {
      p[6] = static_cast<char>(pcrBase >> 25);
      p[7] = static_cast<char>(pcrBase >> 17);
      p[8] = static_cast<char>(pcrBase >> 9);
      p[9] = static_cast<char>(pcrBase >> 1);
      p[10] = static_cast<char>(((pcrBase & 1) << 7) | 0x7E);
      p[11] = 0;
    }
  }
  return p;
}

TEST(PacketJudge, CountsCounterBreaksAsTheStandardDefinesThem) {
  // 2.4.3.3: a payload packet counts one up, modulo 16; a packet without payload keeps the count;
  // one duplicate of a payload packet keeps it too; the discontinuity_indicator excuses a jump.
  const struct {
    const char* name;
    std::vector<std::string> packets;
    int breaks;
  } kCases[] = {
      {"runs on through the wrap", {packet(14), packet(15), packet(0), packet(1)}, 0},
      {"one lost", {packet(3), packet(5)}, 1},
      {"restarts at zero", {packet(7), packet(8), packet(0)}, 1},
      {"adaptation only keeps the count", {packet(3), packet(3, false), packet(4)}, 0},
      {"adaptation only that counts up", {packet(3), packet(4, false)}, 1},
      {"one duplicate", {packet(3), packet(3), packet(4)}, 0},
      {"two duplicates", {packet(3), packet(3), packet(3)}, 1},
      {"excused by discontinuity_indicator", {packet(3), packet(9, true, true), packet(10)}, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    for (const std::string& p : c.packets) bytes += p;
    Judgement j;
    judgePackets(bytes, j);
    EXPECT_EQ(j.packets, static_cast<int>(c.packets.size()));
    EXPECT_EQ(j.counterBreaks, c.breaks);
  }
}

TEST(PacketJudge, CountsPcrStepsBackTheShortWayRoundTheWrap) {
  const std::int64_t kTop = (std::int64_t{1} << 33) - 1;
  const struct {
    const char* name;
    std::vector<std::int64_t> bases;
    int back;
  } kCases[] = {
      {"rising", {100, 3700, 7300}, 0},
      {"restarting", {900000, 3700, 7300}, 1},
      {"through the 33-bit wrap", {kTop - 1800, 1800}, 0},
      {"back across the wrap", {1800, kTop - 1800}, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    int cc = 0;
    for (std::int64_t base : c.bases) bytes += packet(cc++, true, false, base);
    Judgement j;
    judgePackets(bytes, j);
    EXPECT_EQ(j.counterBreaks, 0);
    EXPECT_EQ(j.pcrStepsBack, c.back);
  }
}

TEST(ReaderJudges, SeeTheFaultsOfAPlainJoinOfRestartingSegmentsOnly) {
  const ShapeFolders shapes = ShapeFolders::load();
  if (!shapes.made()) GTEST_SKIP() << "no segment shapes (ffmpeg missing)";
  TempDir temp("tsmerge-judges");
  for (const char* name : {"restart", "continuous"}) {
    SCOPED_TRACE(name);
    const Shape* shape = shapes.find(name);
    ASSERT_NE(shape, nullptr);
    const fs::path joined = temp.path() / (std::string(name) + ".ts");
    std::string all;
    for (const fs::path& f : shape->files) all += readFile(f);
    writeFile(joined, all);
    const Judgement j = judgeStream(joined);
    const bool restarts = !shape->runsOn;
    // ffmpeg's segment muxer starts every file's counters again.
    EXPECT_GT(j.counterBreaks, 0);
    EXPECT_EQ(j.pcrStepsBack > 0, restarts);
    EXPECT_EQ(j.dtsStepsBack() > 0, restarts);
    EXPECT_EQ(j.gapsOverFrame(), 0);
    EXPECT_EQ(j.ffmpegMessages.value_or(""), "");
    if (j.gstResets) {
      EXPECT_EQ(*j.gstResets > 0, restarts);
      EXPECT_GT(*j.gstDiscontinuities, 0);  // the PAT's and PMT's counters restart
    }
    if (j.mkvDuration && !restarts) {
      EXPECT_NEAR(*j.mkvDuration, j.spanSeconds(), 0.04);
    }
  }
}

}  // namespace
}  // namespace tsmerge::testing
