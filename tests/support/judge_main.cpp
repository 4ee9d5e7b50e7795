// judge_ts: prints what every installed reader makes of one transport stream, as one line of
// name=value fields, for tools/timeline_table.sh.
//
//   judge_ts OUTPUT [SOURCE[:BYTES]]...
//   judge_ts --span FILE...      (the sum of the files' own spans, by ffprobe: video, else audio)
//
// The SOURCEs are the files joined into OUTPUT, back to back, each taking BYTES of it (its size
// when not given); with them, each stream's offset to the video is compared per source.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "stream_judges.h"

int main(int argc, char** argv) {
  using namespace tsmerge::testing;
  if (argc < 2) {
    std::fprintf(stderr, "usage: judge_ts OUTPUT [SOURCE[:BYTES]]...\n");
    return 2;
  }
  if (std::string(argv[1]) == "--span") {
    std::int64_t sum = 0;
    for (int i = 2; i < argc; ++i) sum += probeStreams(argv[i]).referenceSpan();
    std::printf("%.3f\n", static_cast<double>(sum) / 90000.0);
    return 0;
  }
  std::vector<SourceRange> sources;
  std::int64_t at = 0;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    std::int64_t bytes = -1;
    if (const auto colon = arg.rfind(':'); colon != std::string::npos) {
      bytes = std::stoll(arg.substr(colon + 1));
      arg.resize(colon);
    }
    if (bytes < 0) bytes = static_cast<std::int64_t>(std::filesystem::file_size(arg));
    sources.push_back({arg, at, at + bytes});
    at += bytes;
  }
  const Judgement j = judgeStream(argv[1], sources);
  const auto frame = [&](const char* type) {
    const StreamJudgement* s = j.stream(type);
    return s == nullptr ? 0.0 : static_cast<double>(s->frame) / 90000.0;
  };
  std::printf("packets=%d cc_breaks=%d pcr_back=%d dts_back=%d gaps=%d span=%.3f", j.packets,
              j.counterBreaks, j.pcrStepsBack, j.dtsStepsBack(), j.gapsOverFrame(),
              j.spanSeconds());
  std::int64_t largestGap = 0;
  for (const StreamJudgement& s : j.streams) largestGap = std::max(largestGap, s.largestGap);
  std::printf(" ref_span=%.3f", static_cast<double>(j.referenceSpan()) / 90000.0);
  std::printf(" largest_gap=%.3f video_frame=%.3f audio_frame=%.3f",
              static_cast<double>(largestGap) / 90000.0, frame("video"), frame("audio"));
  if (j.offsetError) std::printf(" offset_err=%.3f", static_cast<double>(*j.offsetError) / 90000.0);
  if (j.ffmpegMessages) {
    int lines = 0;
    for (char c : *j.ffmpegMessages) lines += c == '\n';
    std::printf(" ffmpeg_msgs=%d", lines);
  }
  if (j.gstResets) std::printf(" gst_resets=%d gst_discont=%d", *j.gstResets, *j.gstDiscontinuities);
  if (j.gstDuration) std::printf(" gst_duration=%.3f", *j.gstDuration);
  if (j.mkvWarnings) std::printf(" mkv_warnings=%d", *j.mkvWarnings);
  if (j.mkvDuration) std::printf(" mkv_duration=%.3f", *j.mkvDuration);
  std::printf("\n");
  return 0;
}
