// The corrector over real segments made by ffmpeg (tools/make_samples.sh): the bundled ones, whose
// clock starts again in every segment, and a set cut from one stream without restarting it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "merge/length_buckets.h"
#include "merge/merge_job.h"
#include "timeline/timeline_corrector.h"

namespace tsmerge {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// The .ts files of a folder, read whole, in merge order (shorter names first).
std::vector<Bytes> segmentsIn(const fs::path& folder) {
  std::vector<std::string> names;
  if (fs::is_directory(folder)) {
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
      if (e.is_regular_file() && e.path().extension() == ".ts") {
        names.push_back(e.path().filename().string());
      }
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : bucketOrderLess(a, b);
  });
  std::vector<Bytes> files;
  for (const std::string& name : names) {
    std::ifstream in(folder / name, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

// Corrects the files as the merge does, piece by piece, and returns them joined.
Bytes correctAsMerge(std::vector<Bytes> files, std::size_t pieceBytes, TimelineState& state) {
  resetTimelineState(state);
  Bytes out;
  for (Bytes& file : files) {
    if (!file.empty() && file[0] == kTsSyncByte) {
      for (std::size_t at = 0; at < file.size(); at += pieceBytes) {
        correctBuffer(state, std::span(file).subspan(at, std::min(pieceBytes, file.size() - at)),
                      at == 0);
      }
    }
    out.insert(out.end(), file.begin(), file.end());
  }
  return out;
}

Bytes joined(const std::vector<Bytes>& files) {
  Bytes out;
  for (const Bytes& f : files) out.insert(out.end(), f.begin(), f.end());
  return out;
}

// Bytes 6..9 of every examined PCR: packets with payload_unit_start_indicator 1 whose adaptation
// field carries a PCR.
std::vector<std::uint32_t> examinedPcrs(const Bytes& stream) {
  std::vector<std::uint32_t> pcrs;
  for (std::size_t p = 0; p + kTsPacketBytes <= stream.size(); p += kTsPacketBytes) {
    const std::uint8_t* b = stream.data() + p;
    if ((b[1] & 0x40) && (b[3] & 0x30) == 0x30 && b[4] >= 7 && (b[5] & 0x10)) {
      pcrs.push_back(std::uint32_t{b[6]} << 24 | std::uint32_t{b[7]} << 16 |
                     std::uint32_t{b[8]} << 8 | b[9]);
    }
  }
  return pcrs;
}

// The index of the first PCR that is not above the one before it, or pcrs.size().
std::size_t firstNotRising(const std::vector<std::uint32_t>& pcrs) {
  for (std::size_t i = 1; i < pcrs.size(); ++i) {
    if (pcrs[i] <= pcrs[i - 1]) return i;
  }
  return pcrs.size();
}

bool allSegmentsAreWholePackets(const std::vector<Bytes>& files) {
  return std::all_of(files.begin(), files.end(),
                     [](const Bytes& f) { return f.size() % kTsPacketBytes == 0; });
}

TEST(TimelineSamples, BundledSegmentsComeOutWithRisingPcrs) {
  const std::vector<Bytes> files = segmentsIn(TSMERGE_SAMPLES_DIR);
  if (files.empty()) GTEST_SKIP() << "no segments in " << TSMERGE_SAMPLES_DIR;
  ASSERT_TRUE(allSegmentsAreWholePackets(files));
  const Bytes input = joined(files);
  const std::vector<std::uint32_t> inputPcrs = examinedPcrs(input);
  ASSERT_LT(firstNotRising(inputPcrs), inputPcrs.size()) << "the samples' clock never restarts";

  TimelineState state;
  const Bytes output = correctAsMerge(files, kPieceBytes, state);
  EXPECT_TRUE(state.rebasing);
  const std::vector<std::uint32_t> pcrs = examinedPcrs(output);
  ASSERT_EQ(pcrs.size(), inputPcrs.size());
  EXPECT_EQ(firstNotRising(pcrs), pcrs.size());

  // Smaller pieces than the merge's give the same bytes.
  TimelineState pieceState;
  EXPECT_EQ(correctAsMerge(files, 64 * kTsPacketBytes, pieceState), output);
}

TEST(TimelineSamples, ContinuousTimelinePassesByteIdentical) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1 && "
                  "command -v perl >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "ffmpeg, ffprobe or perl is missing";
  }
  std::string dirTemplate = (fs::temp_directory_path() / "tsmerge-continuous-XXXXXX").string();
  ASSERT_NE(mkdtemp(dirTemplate.data()), nullptr);
  const fs::path dir = dirTemplate;
  const std::string command = std::string("sh '") + TSMERGE_MAKE_SAMPLES + "' --continuous '" +
                              dir.string() + "' >/dev/null 2>&1";
  const int made = std::system(command.c_str());
  const std::vector<Bytes> files = segmentsIn(dir);
  fs::remove_all(dir);
  ASSERT_EQ(made, 0) << command;
  ASSERT_GE(files.size(), 2u);
  ASSERT_TRUE(allSegmentsAreWholePackets(files));

  const Bytes input = joined(files);
  TimelineState state;
  EXPECT_EQ(correctAsMerge(files, 64 * kTsPacketBytes, state), input);
  EXPECT_FALSE(state.rebasing);
  EXPECT_GT(examinedPcrs(input).size(), files.size());
}

}  // namespace
}  // namespace tsmerge
