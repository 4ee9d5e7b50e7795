#include "continuous/continuous_timeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/ts_stream.h"
#include "ts/packet.h"
#include "ts/pes.h"

namespace tsmerge {
namespace {

using testing::Bytes;
using testing::SegmentShape;

constexpr std::int64_t kM = std::int64_t{1} << 33;

// Hands each file to the rewriter as the merge job does, in pieces of pieceBytes (a multiple of
// 188), and returns the joined output.
Bytes rewriteJoin(TimestampRewriter& rewriter, const std::vector<Bytes>& files,
                  std::size_t pieceBytes = 188 * 1000) {
  rewriter.resetTimelineState();
  Bytes out;
  for (std::size_t n = 0; n < files.size(); ++n) {
    Bytes file = files[n];
    rewriter.beginFile(std::to_string(n + 1) + ".ts");
    for (std::size_t at = 0; at < file.size(); at += pieceBytes) {
      const std::size_t len = std::min(pieceBytes, file.size() - at);
      rewriter.correctBuffer(std::span<std::uint8_t>(file).subspan(at, len), at == 0);
    }
    out.insert(out.end(), file.begin(), file.end());
  }
  rewriter.finishMerge();
  return out;
}

Bytes plainJoin(const std::vector<Bytes>& files) {
  Bytes out;
  for (const Bytes& f : files) out.insert(out.end(), f.begin(), f.end());
  return out;
}

// What the output holds per PID, read packet by packet.
struct Seen {
  std::vector<std::int64_t> decode;  // DTS, else PTS
  std::vector<std::int64_t> pts;
  std::vector<std::int64_t> pcr;     // base × 300 + extension
  std::vector<unsigned> cc;
};

// The bytes with every continuity_counter (the low 4 bits of byte 3 of each packet) cleared.
Bytes withoutCounters(Bytes ts) {
  for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) ts[at + 3] &= 0xF0;
  return ts;
}

// Packets whose continuity_counter is not the one before plus one (payload) or the same (no
// payload), per PID (2.4.3.3).
int counterBreaks(Bytes& ts) {
  std::map<std::uint16_t, unsigned> last;
  int breaks = 0;
  for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) {
    const PacketView p(std::span<std::uint8_t>(ts).subspan(at, 188));
    if (p.pid() == kNullPid) continue;
    const unsigned cc = p.continuityCounter();
    if (const auto seen = last.find(p.pid()); seen != last.end()) {
      breaks += cc != ((seen->second + (p.hasPayload() ? 1 : 0)) & 0xF);
    }
    last[p.pid()] = cc;
  }
  return breaks;
}

std::map<std::uint16_t, Seen> readBack(Bytes& ts) {
  std::map<std::uint16_t, Seen> seen;
  for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) {
    const PacketView p(std::span<std::uint8_t>(ts).subspan(at, 188));
    Seen& s = seen[p.pid()];
    s.cc.push_back(p.continuityCounter());
    if (p.hasPcr()) s.pcr.push_back(p.pcrBase() * 300 + p.pcrExtension());
    if (!p.payloadUnitStartIndicator()) continue;
    const PesTimestamps pes = findPesTimestamps(p);
    if (!pes.hasPts()) continue;
    s.pts.push_back(PesTimestampField(p.data() + pes.ptsOffset).value());
    s.decode.push_back(
        PesTimestampField(p.data() + (pes.hasDts() ? pes.dtsOffset : pes.ptsOffset)).value());
  }
  return seen;
}

// Steps between consecutive values, the shorter way round the 33-bit clock.
std::vector<std::int64_t> steps(const std::vector<std::int64_t>& v, std::int64_t modulus = kM) {
  std::vector<std::int64_t> out;
  for (std::size_t i = 1; i < v.size(); ++i) {
    std::int64_t d = ((v[i] - v[i - 1]) % modulus + modulus) % modulus;
    if (d >= modulus / 2) d -= modulus;
    out.push_back(d);
  }
  return out;
}

TEST(ContinuousTimelineTest, RestartingClocksBecomeOneTimeline) {
  const SegmentShape shape;  // 25 frames of 3600 ticks: 1 s a segment
  const std::vector<Bytes> files(5, testing::segment(shape));
  ContinuousTimeline rewriter;
  Bytes out = rewriteJoin(rewriter, files);
  ASSERT_EQ(out.size(), plainJoin(files).size());
  auto seen = readBack(out);

  // Video: every DTS step is one frame, across every boundary.
  for (std::int64_t s : steps(seen[testing::kVideoPid].decode)) EXPECT_EQ(s, shape.frameTicks);
  EXPECT_EQ(seen[testing::kVideoPid].decode.front(), shape.videoDts);
  // Audio moved by the same offset: every step one audio frame, and its lead on video kept.
  for (std::int64_t s : steps(seen[testing::kAudioPid].decode)) EXPECT_EQ(s, shape.audioTicks);
  // PCRs rise by one frame's worth of 27 MHz ticks throughout.
  for (std::int64_t s : steps(seen[testing::kVideoPid].pcr, kM * 300)) {
    EXPECT_EQ(s, shape.frameTicks * 300);
  }
  // Each boundary reports the jump back by one segment and the shift that closed it.
  const TimelineSummary& summary = rewriter.summary();
  ASSERT_EQ(summary.boundaries.size(), 4u);
  for (const TimelineBoundary& b : summary.boundaries) {
    SCOPED_TRACE(b.file);
    EXPECT_EQ(b.jump, -shape.frames * shape.frameTicks);
    EXPECT_EQ(b.shift, shape.frames * shape.frameTicks);
    EXPECT_EQ(b.frame, shape.frameTicks);
    EXPECT_TRUE(b.jumped());
  }
  EXPECT_EQ(summary.boundaries[0].file, "2.ts");
  EXPECT_EQ(summary.duration(), 5 * shape.frames * shape.frameTicks);
  EXPECT_EQ(rewriter.offset(), 4 * shape.frames * shape.frameTicks);
}

// A second merge with the same rewriter starts from nothing the first one left (offset, counters,
// tracks, summary); and a copy of the state taken between two files, put back, replays the next
// file byte for byte: what a host needs to forget a file it could not append.
TEST(ContinuousTimelineTest, StateResetsWholeAndACopyReplaysAFile) {
  const std::vector<Bytes> files(3, testing::segment(SegmentShape{}));
  ContinuousTimeline fresh;
  const Bytes expected = rewriteJoin(fresh, files);
  // The first merge: segments of another length, so its counters and offsets differ.
  ContinuousTimeline reused;
  const Bytes shortSegment = testing::segment(SegmentShape{.frames = 7});
  rewriteJoin(reused, {shortSegment, shortSegment});
  EXPECT_EQ(rewriteJoin(reused, files), expected);
  EXPECT_EQ(reused.summary().boundaries.size(), fresh.summary().boundaries.size());

  ContinuousTimeline rewriter;
  rewriter.resetTimelineState();
  auto pass = [&rewriter](const Bytes& file, const std::string& name) {
    Bytes bytes = file;
    rewriter.beginFile(name);
    rewriter.correctBuffer(bytes, true);
    return bytes;
  };
  pass(files[0], "1.ts");
  const Bytes second = pass(files[1], "2.ts");
  const ContinuousTimeline afterTwo = rewriter;
  const Bytes third = pass(files[2], "3.ts");
  ASSERT_NE(third, files[2]);  // shifted, counters renumbered
  rewriter = afterTwo;
  EXPECT_EQ(pass(files[2], "3.ts"), third);
  rewriter.finishMerge();
  Bytes joined = files[0];
  joined.insert(joined.end(), second.begin(), second.end());
  joined.insert(joined.end(), third.begin(), third.end());
  EXPECT_EQ(joined, expected);
  EXPECT_EQ(rewriter.summary().duration(), fresh.summary().duration());
}

TEST(ContinuousTimelineTest, ARunningClockPassesByteForByte) {
  // One stream cut in four, the last cut crossing the 33-bit wrap.
  const struct {
    const char* what;
    std::int64_t firstDts;
  } kCases[] = {
      {"low clock", 126000},
      {"wrap inside the second file", kM - 90000 - 45000},
      {"wrap on a boundary", kM - 2 * 90000},
      {"clock beyond 2^32 (signed 32-bit comparisons would fail)", std::int64_t{1} << 32},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::vector<Bytes> files;
    for (int k = 0; k < 4; ++k) {
      SegmentShape shape;
      shape.videoDts = testing::wrap33(c.firstDts + k * 90000);
      files.push_back(testing::segment(shape));
    }
    ContinuousTimeline rewriter;
    Bytes out = rewriteJoin(rewriter, files);
    // Only the counters change: each file's run on from the file before.
    EXPECT_EQ(withoutCounters(out), withoutCounters(plainJoin(files)));
    EXPECT_EQ(counterBreaks(out), 0);
    EXPECT_EQ(rewriter.offset(), 0);
    ASSERT_EQ(rewriter.summary().boundaries.size(), 3u);
    for (const TimelineBoundary& b : rewriter.summary().boundaries) {
      EXPECT_EQ(b.jump, 0);
      EXPECT_FALSE(b.jumped());
    }
    EXPECT_EQ(rewriter.summary().duration(), 4 * 90000);
  }
}

TEST(ContinuousTimelineTest, WhichJumpsAreClosed) {
  // Second file starts at the first's end plus gap; a frame is 3600 ticks.
  const struct {
    std::int64_t gap;
    std::int64_t shift;
  } kCases[] = {
      {0, 0},
      {-1800, 0},                    // half a frame behind: kept
      {-1801, 1801},                 // more than half a frame behind: closed
      {-90000 * 100, 90000 * 100},   // far behind
      {3600, 0},                     // a frame lost: kept
      {5 * 90000, 0},                // a 5 s gap in the recording: kept
      {kForwardJumpLimit - 1, 0},
      {kForwardJumpLimit, -kForwardJumpLimit},
      {3600 * 90000, -3600 * 90000},  // an hour ahead
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.gap);
    SegmentShape first, second;
    second.videoDts = testing::wrap33(first.videoDts + 90000 + c.gap);
    const std::vector<Bytes> files = {testing::segment(first), testing::segment(second)};
    ContinuousTimeline rewriter;
    Bytes out = rewriteJoin(rewriter, files);
    ASSERT_EQ(rewriter.summary().boundaries.size(), 1u);
    EXPECT_EQ(rewriter.summary().boundaries[0].jump, c.gap);
    EXPECT_EQ(rewriter.summary().boundaries[0].shift, c.shift);
    auto seen = readBack(out);
    const auto& dts = seen[testing::kVideoPid].decode;
    EXPECT_EQ(steps(dts)[24], 3600 + c.gap + c.shift);
    if (c.shift == 0) {
      EXPECT_EQ(withoutCounters(out), withoutCounters(plainJoin(files)));
    }
    EXPECT_EQ(counterBreaks(out), 0);
  }
}

TEST(ContinuousTimelineTest, StartIsTheVideoStreamEvenWhenAudioComesFirst) {
  // Audio starts 0.2 s before video and its packets come first; the boundary is still judged
  // on video, so video runs on exactly and audio keeps its lead.
  SegmentShape shape;
  shape.audioLead = -18000;
  const std::vector<Bytes> files(3, testing::segment(shape));
  ContinuousTimeline rewriter;
  Bytes out = rewriteJoin(rewriter, files);
  auto seen = readBack(out);
  for (std::int64_t s : steps(seen[testing::kVideoPid].decode)) EXPECT_EQ(s, 3600);
  for (std::int64_t s : steps(seen[testing::kAudioPid].decode)) EXPECT_EQ(s, 1800);
  EXPECT_EQ(rewriter.summary().boundaries[0].shift, 90000);
}

TEST(ContinuousTimelineTest, PiecesGiveTheSameBytesAsWholeFiles) {
  // Each file may begin with null packets; with small pieces its first pieces then hold no
  // timestamp at all, and the decision waits for the first piece that does.
  const struct {
    std::size_t nullPackets;
    std::size_t packetsPerPiece;
  } kCases[] = {{0, 5}, {0, 7}, {0, 64}, {10, 5}, {10, 10}, {10, 64}, {25, 5}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.nullPackets << " nulls, pieces of "
                                      << c.packetsPerPiece);
    SegmentShape shape;
    shape.frames = 40;
    std::vector<Bytes> files;
    for (int k = 0; k < 4; ++k) {
      shape.videoDts = 126000 + k * 977;  // clocks that restart, each a little off
      Bytes file;
      for (std::size_t i = 0; i < c.nullPackets; ++i) {
        const Bytes null = testing::packet(kNullPid, false, 0, nullptr, {});
        file.insert(file.end(), null.begin(), null.end());
      }
      const Bytes body = testing::segment(shape);
      file.insert(file.end(), body.begin(), body.end());
      files.push_back(file);
    }
    ContinuousTimeline whole;
    const Bytes expected = rewriteJoin(whole, files, 188 * 100000);
    EXPECT_NE(expected, plainJoin(files));
    ContinuousTimeline pieces;
    EXPECT_EQ(rewriteJoin(pieces, files, 188 * c.packetsPerPiece), expected);
    EXPECT_EQ(pieces.offset(), whole.offset());
    EXPECT_EQ(pieces.summary().boundaries.size(), 3u);
  }
}

TEST(ContinuousTimelineTest, CountersRunOnAtEveryBoundary) {
  // Every file's counters start at 0. File 2 runs on from file 1 (no shift), files 3 and 4
  // restart (shifted): the counters run on at all three boundaries, and nothing else changes
  // in file 2.
  const SegmentShape shape;
  SegmentShape second = shape;
  second.videoDts += 90000;
  const std::vector<Bytes> files = {testing::segment(shape), testing::segment(second),
                                    testing::segment(shape), testing::segment(shape)};
  Bytes plain = plainJoin(files);
  ASSERT_GT(counterBreaks(plain), 0);
  ContinuousTimeline rewriter;
  Bytes out = rewriteJoin(rewriter, files);
  EXPECT_EQ(counterBreaks(out), 0);
  const std::size_t fileBytes = files[0].size();
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + fileBytes, plain.begin()));
  const Bytes outNoCc = withoutCounters(out), plainNoCc = withoutCounters(plain);
  EXPECT_TRUE(std::equal(outNoCc.begin(), outNoCc.begin() + 2 * fileBytes, plainNoCc.begin()));
}

TEST(ContinuousTimelineTest, AdaptationOnlyPacketsKeepTheirCount) {
  // A packet without payload repeats the counter of the packet before (ISO/IEC 13818-1 2.4.3.3);
  // renumbering keeps that.
  Bytes file = testing::segment(SegmentShape{});
  Bytes afOnly = testing::packet(testing::kVideoPid, false, 0, nullptr, {}, false);
  afOnly[3] = 0x20 | 0x2;  // adaptation field only, counter 2 (= the video packet before it)
  afOnly[4] = 183;
  afOnly[5] = 0x00;
  // Put it right behind the first video frame's three packets (PAT, A, A, A, V, V, V).
  Bytes withGap(file.begin(), file.begin() + 7 * 188);
  withGap.insert(withGap.end(), afOnly.begin(), afOnly.end());
  withGap.insert(withGap.end(), file.begin() + 7 * 188, file.end());
  const std::vector<Bytes> files = {file, withGap};
  ContinuousTimeline rewriter;
  Bytes out = rewriteJoin(rewriter, files);
  std::vector<std::pair<unsigned, bool>> video;
  for (std::size_t at = file.size(); at < out.size(); at += 188) {
    const PacketView p(std::span<std::uint8_t>(out).subspan(at, 188));
    if (p.pid() == testing::kVideoPid) video.emplace_back(p.continuityCounter(), p.hasPayload());
  }
  const unsigned lastOfFile1 = (25 * 3 - 1) & 0xF;
  ASSERT_GT(video.size(), 5u);
  EXPECT_EQ(video[0].first, (lastOfFile1 + 1) & 0xF);
  for (std::size_t i = 1; i < video.size(); ++i) {
    const unsigned expected = (video[i - 1].first + (video[i].second ? 1 : 0)) & 0xF;
    EXPECT_EQ(video[i].first, expected) << "packet " << i;
  }
  EXPECT_FALSE(video[3].second);
}

TEST(ContinuousTimelineTest, PacketsThatDoNotParseAreCopiedUnchanged) {
  SegmentShape shape;
  Bytes broken = testing::segment(shape);
  const std::size_t videoPacket = 4 * 188;  // PAT, three audio packets, the first video packet
  ASSERT_EQ(broken[videoPacket + 2], testing::kVideoPid & 0xFF);
  // A PES marker bit cleared in the first audio packet: its header does not parse.
  const std::size_t audioPts = 188 + 4 + 1 + 20 + 9;
  broken[audioPts + 4] &= 0xFE;
  // The second audio packet: transport_error_indicator set.
  broken[2 * 188 + 1] |= 0x80;
  // The second video frame's first packet (PCR and PES header): sync byte lost.
  const std::size_t lostSync = 9 * 188;
  ASSERT_EQ(broken[lostSync + 2], testing::kVideoPid & 0xFF);
  broken[lostSync] = 0x00;
  const std::vector<Bytes> files = {testing::segment(shape), broken};
  ContinuousTimeline rewriter;
  const Bytes out = rewriteJoin(rewriter, files);
  ASSERT_NE(rewriter.offset(), 0);
  const std::size_t base = files[0].size();
  // Packets that do not parse: every byte, counter included.
  for (const std::size_t at : {std::size_t{2 * 188}, lostSync}) {
    SCOPED_TRACE(at);
    EXPECT_TRUE(std::equal(out.begin() + base + at, out.begin() + base + at + 188,
                           broken.begin() + at));
  }
  // The packet parses but its PES header does not: its counter runs on, the rest is as it was.
  EXPECT_TRUE(std::equal(out.begin() + base + 188 + 4, out.begin() + base + 2 * 188,
                         broken.begin() + 188 + 4));
  // The well-formed video packet beside them was rewritten.
  EXPECT_FALSE(std::equal(out.begin() + base + videoPacket,
                          out.begin() + base + videoPacket + 188, broken.begin() + videoPacket));
}

TEST(ContinuousTimelineTest, ATrailingPartialPacketIsLeftAlone) {
  SegmentShape shape;
  Bytes tail = testing::segment(shape);
  // The file ends 100 bytes into a copy of a video packet with PCR and PES header.
  const Bytes copy(tail.begin() + 4 * 188, tail.begin() + 4 * 188 + 100);
  ASSERT_EQ(copy[2], testing::kVideoPid & 0xFF);
  tail.insert(tail.end(), copy.begin(), copy.end());
  const std::vector<Bytes> files = {testing::segment(shape), tail};
  ContinuousTimeline rewriter;
  const Bytes out = rewriteJoin(rewriter, files);
  ASSERT_NE(rewriter.offset(), 0);
  EXPECT_TRUE(std::equal(out.end() - 100, out.end(), tail.end() - 100));
}

TEST(ContinuousTimelineTest, ObserveModeMeasuresButNeverWrites) {
  const std::vector<Bytes> files(3, testing::segment(SegmentShape{}));
  ContinuousTimeline observer(ContinuousTimeline::Mode::Observe);
  EXPECT_EQ(rewriteJoin(observer, files), plainJoin(files));
  ASSERT_EQ(observer.summary().boundaries.size(), 2u);
  for (const TimelineBoundary& b : observer.summary().boundaries) {
    EXPECT_EQ(b.jump, -90000);
    EXPECT_EQ(b.shift, 0);
    EXPECT_TRUE(b.jumped());
  }
  // The timeline of a plain join of restarting clocks spans one segment.
  EXPECT_EQ(observer.summary().duration(), 90000);
}

TEST(ContinuousTimelineTest, ObserverReportsTheShiftOfTheRewriterInside) {
  std::vector<Bytes> files(3, testing::segment(SegmentShape{}));
  ContinuousTimeline inner;
  TimelineObserver observer(&inner);
  const Bytes out = rewriteJoin(observer, files);
  ContinuousTimeline alone;
  EXPECT_EQ(out, rewriteJoin(alone, files));
  const TimelineSummary summary = observer.summary();
  ASSERT_EQ(summary.boundaries.size(), inner.summary().boundaries.size());
  for (std::size_t i = 0; i < summary.boundaries.size(); ++i) {
    EXPECT_EQ(summary.boundaries[i].jump, inner.summary().boundaries[i].jump);
    EXPECT_EQ(summary.boundaries[i].shift, inner.summary().boundaries[i].shift);
  }
  EXPECT_EQ(summary.duration(), 3 * 90000);
}

TEST(ContinuousTimelineTest, StepsBackOfTheReferenceStreamAreCounted) {
  const std::vector<Bytes> restarting(4, testing::segment(SegmentShape{}));
  std::vector<Bytes> running;
  for (int k = 0; k < 4; ++k) {
    SegmentShape shape;
    shape.videoDts = testing::wrap33(kM - 2 * 90000 + k * 90000);  // passes the wrap
    running.push_back(testing::segment(shape));
  }
  const struct {
    const char* what;
    ContinuousTimeline::Mode mode;
    const std::vector<Bytes>* files;
    std::uint64_t stepsBack;
  } kCases[] = {
      {"restarting clocks joined plainly: one per boundary", ContinuousTimeline::Mode::Observe,
       &restarting, 3},
      {"restarting clocks made continuous", ContinuousTimeline::Mode::Rewrite, &restarting, 0},
      {"a clock that runs on across the wrap", ContinuousTimeline::Mode::Observe, &running, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    ContinuousTimeline rewriter(c.mode);
    rewriteJoin(rewriter, *c.files);
    EXPECT_EQ(rewriter.summary().stepsBack, c.stepsBack);
  }

  // The observer measures the sources and the output of the rewriter inside in one pass.
  ContinuousTimeline inner;
  TimelineObserver observer(&inner);
  rewriteJoin(observer, restarting);
  EXPECT_EQ(observer.sources().stepsBack, 3u);
  EXPECT_EQ(observer.output().stepsBack, 0u);
}

}  // namespace
}  // namespace tsmerge
