#pragma once

// Independent readers of a joined transport stream, for the tests and tools/timeline_table.sh:
// the packets walked here (continuity counters, PCR), ffprobe (per-stream timestamps), ffmpeg
// (a full decode), GStreamer (tsdemux warnings, gst-discoverer's duration) and mkvmerge (-J, and
// a remux to Matroska). A reader that is not installed leaves its figures unset.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tsmerge::testing {

// One stream as ffprobe's packets show it, in 90 kHz ticks.
struct StreamJudgement {
  int index = 0;
  std::string type;        // "video", "audio", ...
  std::int64_t start = 0;  // earliest PTS
  std::int64_t end = 0;    // latest PTS plus that packet's duration
  std::int64_t frame = 0;  // the commonest packet duration
  std::int64_t decodeStart = 0;  // first decode timestamp (DTS, else PTS)
  std::int64_t decodeEnd = 0;    // last decode timestamp plus that packet's duration
  int packets = 0;
  int dtsStepsBack = 0;         // decode timestamps (DTS, else PTS) lower than the one before
  int gapsOverFrame = 0;        // decode steps that leave more than one frame free
  std::int64_t largestGap = 0;  // the widest such free stretch
};

// Where one source sits inside a joined output: its bytes at [from, to).
struct SourceRange {
  std::filesystem::path file;
  std::int64_t from = 0;
  std::int64_t to = 0;
};

struct Judgement {
  // Read from the packets themselves (ISO/IEC 13818-1, 2.4.3.2 and 2.4.3.5).
  int packets = 0;
  int counterBreaks = 0;  // continuity_counter not one up (or a repeat) without discontinuity
  int pcrStepsBack = 0;   // a PCR below the previous one of its PID
  // ffprobe.
  std::vector<StreamJudgement> streams;
  std::int64_t span = 0;  // earliest start to latest end over all streams, in ticks
  // The stream of each source's offset to the video, compared with the source's own: the largest
  // difference in ticks (only when the source ranges are given).
  std::optional<std::int64_t> offsetError;
  // ffmpeg -v error -i OUT -f null -: what it printed.
  std::optional<std::string> ffmpegMessages;
  // gst-launch-1.0 filesrc ! tsdemux ! fakesink: warnings counted; gst-discoverer-1.0: duration.
  std::optional<int> gstResets;
  std::optional<int> gstDiscontinuities;
  std::optional<double> gstDuration;
  // mkvmerge -J and a remux to Matroska: warnings and errors met, the Matroska file's duration.
  std::optional<int> mkvWarnings;
  std::optional<double> mkvDuration;

  const StreamJudgement* stream(const std::string& type) const;
  // The video's span, or the first stream's when there is no video: what a segment's duration is
  // taken as (its other streams start a little before or end a little after the video).
  std::int64_t referenceSpan() const;
  int dtsStepsBack() const;   // over all streams
  int gapsOverFrame() const;  // over all streams
  double spanSeconds() const { return static_cast<double>(span) / 90000.0; }
};

// True when the program can be started (it answers -version or --version).
bool haveProgram(const std::string& name);
bool haveFfprobe();
bool haveGstreamer();
bool haveMkvmerge();

// Counts packets, continuity-counter breaks and PCR steps back in bytes taken as 188-byte packets
// from offset 0 (a packet without the sync byte is passed over).
void judgePackets(std::string_view bytes, Judgement& j);

// Reads file with every reader there is. With sources (the segments, each with its byte range
// in file), also compares each stream's offset to the video per source.
Judgement judgeStream(const std::filesystem::path& file,
                      const std::vector<SourceRange>& sources = {});

// ffprobe alone: streams and span of one file (what a segment's own duration is taken from).
Judgement probeStreams(const std::filesystem::path& file);

}  // namespace tsmerge::testing
