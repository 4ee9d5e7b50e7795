// The joined output as ffprobe and ffmpeg see it, on segment sets made with ffmpeg at test time.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "continuous/continuous_timeline.h"
#include "join_folder.h"
#include "support/test_files.h"
#include "ts/packet.h"
#include "ts/pes.h"

namespace tsmerge {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
  int status = -1;
  std::string output;
};

CommandResult run(const std::string& command) {
  CommandResult r;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return r;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) r.output.append(chunk.data(), n);
  r.status = ::pclose(pipe);
  return r;
}

bool haveFfmpeg() {
  return run("ffprobe -version").status == 0 && run("ffmpeg -version").status == 0;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

using testing::readFile;

// One packet as ffprobe lists it.
struct ProbedPacket {
  int stream = 0;
  std::int64_t pts = 0, dts = 0, duration = 0, pos = 0;
  bool hasPts = false, hasDts = false;
  std::int64_t decode() const { return hasDts ? dts : pts; }
};

struct Probe {
  std::map<int, std::string> codecType;  // stream index → video, audio
  std::vector<ProbedPacket> packets;
  int streamOf(const std::string& type) const {
    for (const auto& [index, t] : codecType) {
      if (t == type) return index;
    }
    return -1;
  }
};

Probe probe(const fs::path& file) {
  Probe p;
  std::istringstream streams(
      run("ffprobe -v error -show_entries stream=index,codec_type -of csv=p=0 " + quoted(file))
          .output);
  for (std::string line; std::getline(streams, line);) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    std::string type = line.substr(comma + 1);
    if (auto c = type.find(','); c != std::string::npos) type.resize(c);
    p.codecType[std::stoi(line.substr(0, comma))] = type;
  }
  std::istringstream packets(run("ffprobe -v error -show_entries "
                                 "packet=stream_index,pts,dts,duration,pos -of csv=p=0 " +
                                 quoted(file))
                                 .output);
  for (std::string line; std::getline(packets, line);) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
    if (f.size() < 5 || f[0].empty()) continue;
    ProbedPacket k;
    k.stream = std::stoi(f[0]);
    k.hasPts = f[1] != "N/A" && !f[1].empty();
    k.hasDts = f[2] != "N/A" && !f[2].empty();
    if (k.hasPts) k.pts = std::stoll(f[1]);
    if (k.hasDts) k.dts = std::stoll(f[2]);
    if (f[3] != "N/A" && !f[3].empty()) k.duration = std::stoll(f[3]);
    if (f[4] != "N/A" && !f[4].empty()) k.pos = std::stoll(f[4]);
    if (k.hasPts || k.hasDts) p.packets.push_back(k);
  }
  return p;
}

// Start (earliest PTS) and end (latest PTS + duration) of one stream, and its frame duration.
struct Span {
  std::int64_t start = INT64_MAX, end = INT64_MIN, frame = 0;
  std::int64_t length() const { return end - start; }
};
Span spanOf(const std::vector<ProbedPacket>& packets, int stream, std::int64_t fromPos = 0,
            std::int64_t toPos = INT64_MAX) {
  Span s;
  for (const ProbedPacket& k : packets) {
    if (k.stream != stream || !k.hasPts || k.pos < fromPos || k.pos >= toPos) continue;
    s.start = std::min(s.start, k.pts);
    s.end = std::max(s.end, k.pts + k.duration);
    s.frame = k.duration;
  }
  return s;
}

// A set of segments in a folder of its own, with its plain and continuous joins.
struct SegmentSet {
  std::string name;
  fs::path folder;
  std::vector<fs::path> segments;  // in merge order
  fs::path plain, continuous;
  bool runsOn = false;  // the clock already runs on across the segments
};

class FfprobeJudgedTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!haveFfmpeg()) return;
    char pattern[] = "/tmp/tsmerge-continuous-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    root_ = new fs::path(pattern);
    sets_ = new std::vector<SegmentSet>;
    // Six 1-second segments: 25 fps H.264 with B-frames, AAC at 48 kHz.
    const std::string source =
        "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=160x90:rate=25:duration=6 "
        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=6 -map 0:v -map 1:a "
        "-c:v libx264 -preset ultrafast -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 "
        "-c:a aac -b:a 32k -ac 1 ";
    const std::string segmenter =
        "-f segment -segment_format mpegts -segment_time 1 -segment_start_number 1 ";
    const struct {
      const char* name;
      std::string options;
      bool runsOn;
    } kSets[] = {
        {"restart", "-reset_timestamps 1", false},
        {"continuous", "-reset_timestamps 0", true},
        // 95441 s + 1.4 s of encoder delay puts the 33-bit wrap (95443.7 s) inside segment 2.
        {"wrap", "-output_ts_offset 95441 -reset_timestamps 0", true},
    };
    for (const auto& s : kSets) {
      SegmentSet set{s.name, *root_ / s.name, {}, {}, {}, s.runsOn};
      fs::create_directories(set.folder);
      const CommandResult made = run(source + s.options + " " + segmenter + quoted(set.folder / "%d.ts"));
      if (made.status != 0) {
        ADD_FAILURE() << "ffmpeg could not make the " << s.name << " set: " << made.output;
        continue;
      }
      sets_->push_back(set);
    }
    sets_->push_back({"samples", TSMERGE_SAMPLES_DIR, {}, {}, {}, false});
    for (SegmentSet& set : *sets_) {
      std::vector<std::pair<std::size_t, std::string>> names;
      for (const auto& entry : fs::directory_iterator(set.folder)) {
        const std::string n = entry.path().filename().string();
        names.emplace_back(n.size(), n);
      }
      std::sort(names.begin(), names.end());
      for (const auto& [len, n] : names) set.segments.push_back(set.folder / n);
      set.plain = *root_ / (set.name + "-plain.ts");
      set.continuous = *root_ / (set.name + "-continuous.ts");
      testing::joinFolder(set.folder.string(), set.plain.string(), nullptr);
      ContinuousTimeline rewriter;
      testing::joinFolder(set.folder.string(), set.continuous.string(), &rewriter);
    }
  }
  static void TearDownTestSuite() {
    if (root_ != nullptr) fs::remove_all(*root_);
    delete root_;
    delete sets_;
    root_ = nullptr;
    sets_ = nullptr;
  }
  void SetUp() override {
    if (sets_ == nullptr) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
  }

  static fs::path* root_;
  static std::vector<SegmentSet>* sets_;
};

fs::path* FfprobeJudgedTest::root_ = nullptr;
std::vector<SegmentSet>* FfprobeJudgedTest::sets_ = nullptr;

TEST_F(FfprobeJudgedTest, NoStreamStepsBackOrLeapsOverASecond) {
  for (const SegmentSet& set : *sets_) {
    SCOPED_TRACE(set.name);
    ASSERT_TRUE(fs::exists(set.continuous));
    const Probe out = probe(set.continuous);
    ASSERT_GE(out.codecType.size(), 2u);
    for (const auto& [stream, type] : out.codecType) {
      SCOPED_TRACE(type);
      std::int64_t previous = 0;
      int count = 0, backward = 0, leaps = 0;
      for (const ProbedPacket& k : out.packets) {
        if (k.stream != stream) continue;
        if (count++ > 0) {
          backward += k.decode() < previous;
          leaps += k.decode() - previous > 90000;
        }
        previous = k.decode();
      }
      EXPECT_GT(count, 100);
      EXPECT_EQ(backward, 0);
      EXPECT_EQ(leaps, 0);
    }
    if (!set.runsOn) {
      // The plain join of restarting clocks does step back: the set exercises the rewriter.
      const Probe plain = probe(set.plain);
      const int video = plain.streamOf("video");
      std::int64_t previous = INT64_MIN;
      int backward = 0;
      for (const ProbedPacket& k : plain.packets) {
        if (k.stream != video) continue;
        backward += k.decode() < previous;
        previous = k.decode();
      }
      EXPECT_GE(backward, static_cast<int>(set.segments.size()) - 1);
    }
  }
}

TEST_F(FfprobeJudgedTest, VideoSpansTheSumOfTheSegmentsAndAudioKeepsItsPlace) {
  for (const SegmentSet& set : *sets_) {
    SCOPED_TRACE(set.name);
    const Probe out = probe(set.continuous);
    const int video = out.streamOf("video");
    const int audio = out.streamOf("audio");
    ASSERT_GE(video, 0);
    ASSERT_GE(audio, 0);
    std::int64_t sum = 0;
    std::int64_t filePos = 0;
    for (const fs::path& segment : set.segments) {
      SCOPED_TRACE(segment.filename().string());
      const Probe in = probe(segment);
      const Span v = spanOf(in.packets, in.streamOf("video"));
      const Span a = spanOf(in.packets, in.streamOf("audio"));
      sum += v.length();
      // The same segment inside the output, found by byte position.
      const std::int64_t size = static_cast<std::int64_t>(fs::file_size(segment));
      const Span vOut = spanOf(out.packets, video, filePos, filePos + size);
      const Span aOut = spanOf(out.packets, audio, filePos, filePos + size);
      filePos += size;
      EXPECT_LE(std::abs((aOut.start - vOut.start) - (a.start - v.start)), v.frame);
      EXPECT_LE(std::abs(vOut.length() - v.length()), v.frame);
    }
    const Span all = spanOf(out.packets, video);
    EXPECT_GT(all.frame, 0);
    EXPECT_LE(std::abs(all.length() - sum), all.frame) << "span " << all.length() << " sum " << sum;
  }
}

TEST_F(FfprobeJudgedTest, FfmpegDecodesWithoutAWord) {
  for (const SegmentSet& set : *sets_) {
    SCOPED_TRACE(set.name);
    const CommandResult decoded = run("ffmpeg -nostdin -v error -i " + quoted(set.continuous) + " -f null -");
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.output, "");
  }
}

TEST_F(FfprobeJudgedTest, RunningClocksComeOutAsThePlainJoinButForCounters) {
  // The counters run on at every boundary; where the clock runs on nothing else changes.
  const auto withoutCounters = [](std::string ts) {
    for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) ts[at + 3] &= '\xF0';
    return ts;
  };
  int checked = 0;
  for (const SegmentSet& set : *sets_) {
    SCOPED_TRACE(set.name);
    const std::string plain = readFile(set.plain);
    ASSERT_FALSE(plain.empty());
    if (set.runsOn) {
      ++checked;
      EXPECT_TRUE(withoutCounters(plain) == withoutCounters(readFile(set.continuous)));
    } else {
      EXPECT_EQ(plain.size(), fs::file_size(set.continuous));
      EXPECT_FALSE(plain == readFile(set.continuous));
    }
  }
  EXPECT_EQ(checked, 2);
}

TEST_F(FfprobeJudgedTest, StitchedOutputHasNoCounterBreaks) {
  // ffmpeg's demuxer marks the PES it is assembling as corrupt at a continuity-counter break;
  // with -fflags +discardcorrupt such packets are dropped. Once the timeline is stitched, the
  // counters run on and nothing is marked.
  for (const SegmentSet& set : *sets_) {
    if (set.runsOn) continue;
    SCOPED_TRACE(set.name);
    const auto count = [](const fs::path& f, const std::string& flags) {
      const CommandResult r = run("ffmpeg -nostdin -v error " + flags + " -i " + quoted(f) +
                        " -map 0 -c copy -f framecrc -");
      int n = 0;
      std::istringstream lines(r.output);
      for (std::string line; std::getline(lines, line);) n += !line.empty() && line[0] != '#';
      return n;
    };
    const int all = count(set.continuous, "");
    EXPECT_GT(all, 100);
    EXPECT_EQ(count(set.continuous, "-fflags +discardcorrupt"), all);
    // The plain join loses packets that way: the check can fail.
    EXPECT_LT(count(set.plain, "-fflags +discardcorrupt"), count(set.plain, ""));
  }
}

TEST_F(FfprobeJudgedTest, ParserFindsTheFirstTimestampsFfprobeReports) {
  for (const SegmentSet& set : *sets_) {
    SCOPED_TRACE(set.name);
    const fs::path& first = set.segments.front();
    std::string raw = readFile(first);
    std::vector<std::uint8_t> bytes(raw.begin(), raw.end());
    std::map<std::uint16_t, std::int64_t> firstDecode;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
      const PacketView p(std::span<std::uint8_t>(bytes).subspan(at, 188));
      if (!p.parses() || !p.payloadUnitStartIndicator() || !p.hasPayload()) continue;
      const PesTimestamps pes = findPesTimestamps(p);
      if (!pes.hasPts() || firstDecode.count(p.pid())) continue;
      firstDecode[p.pid()] =
          PesTimestampField(p.data() + (pes.hasDts() ? pes.dtsOffset : pes.ptsOffset)).value();
    }
    const Probe in = probe(first);
    std::vector<std::int64_t> probed;
    for (const auto& [stream, type] : in.codecType) {
      for (const ProbedPacket& k : in.packets) {
        if (k.stream == stream) {
          // ffprobe unwraps a clock that wrapped before its first packet into negative values.
          probed.push_back(((k.decode() % kClockModulus) + kClockModulus) % kClockModulus);
          break;
        }
      }
    }
    std::vector<std::int64_t> parsed;
    for (const auto& [pid, v] : firstDecode) parsed.push_back(v);
    std::sort(probed.begin(), probed.end());
    std::sort(parsed.begin(), parsed.end());
    EXPECT_EQ(parsed, probed);
  }
}

}  // namespace
}  // namespace tsmerge
