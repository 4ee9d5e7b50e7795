#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "merge/timestamp_rewriter.h"
#include "ts/clock.h"
#include "ts/constants.h"

namespace tsmerge {

// A start that lands this far or more ahead of the previous file's end is taken for a clock that
// jumped, not for a gap in the recording (ffmpeg's demuxers use the same 10 s limit).
inline constexpr std::int64_t kForwardJumpLimit = 10 * kClockHz;

// One boundary between two files that both carry a clock, in 90 kHz ticks.
struct TimelineBoundary {
  std::size_t fileIndex = 0;  // 0-based among the files handed to the rewriter
  std::string file;           // the later file, as listed
  std::int64_t jump = 0;      // its start minus the previous file's end, before any shift here
  std::int64_t shift = 0;     // what was added to the offset here
  std::int64_t frame = 0;     // the previous file's frame duration
  // True when the clock did not run on: the start lies more than half a frame away either way.
  bool jumped() const { return 2 * (jump < 0 ? -jump : jump) > frame; }
};

// What one merge's timeline came to, in output time.
struct TimelineSummary {
  std::vector<TimelineBoundary> boundaries;
  std::size_t filesWithClock = 0;
  std::int64_t start = 0;  // first file's start
  std::int64_t end = 0;    // last file's end
  // How often a decode timestamp (DTS, else PTS) of a file's reference stream lies behind the
  // one before it on the reference stream, within a file or across a boundary: the steps back a
  // player meets. A timeline that runs on has none.
  std::uint64_t stepsBack = 0;
  std::int64_t duration() const { return filesWithClock == 0 ? 0 : wrapTicks(end - start); }
};

// The rewriter of --continuous-timeline: one offset for the whole output, changed only at file
// boundaries where the clock jumped, applied to every PCR, PTS and DTS of every PID.
//
// At each file it finds, before rewriting the file's first piece, where the file's reference
// stream starts: the PID that carries the PCR when it also carries PES timestamps, else the first
// video stream, else the stream that starts earliest. It compares that start (with the offset in
// force) with where the previous file's reference stream ended: its last DTS (PTS when there is
// none) plus one frame, the frame being the commonest step between its timestamps. A start more
// than half a frame behind that end, or kForwardJumpLimit or more ahead of it, moves the offset
// so the start lands on the end exactly; anything else is a clock that runs on and is kept.
//
// A piece that holds no PES timestamp (a file that starts with something else for its whole
// first piece) is rewritten with the offset in force, and the decision waits for the first piece
// that holds one: the file's pieces are never held back.
//
// Once a shift has been applied, the continuity counters of every later file are renumbered per
// PID so that they run on from the previous file's. Until then the output is the plain join.
//
// In observe mode nothing is written: the same measurements are made and the boundaries are
// recorded with no shift, for a report on a join that is not rewritten.
class ContinuousTimeline final : public TimestampRewriter {
 public:
  enum class Mode { Rewrite, Observe };
  explicit ContinuousTimeline(Mode mode = Mode::Rewrite) : mode_(mode) {}

  void resetTimelineState() override;
  void beginFile(const std::string& name) override;
  void correctBuffer(std::span<std::uint8_t> piece, bool startsFile) override;
  void finishMerge() override;

  // The boundaries and duration met so far; complete after finishMerge.
  const TimelineSummary& summary() const { return summary_; }
  std::int64_t offset() const { return offset_; }

 private:
  // Timestamps of one PID within the current file, in the source's clock.
  struct StreamTrack {
    std::int64_t first = 0;     // first decode timestamp (DTS, else PTS)
    std::int64_t last = 0;      // last decode timestamp
    std::int64_t lastRel = 0;   // greatest decode timestamp, relative to first
    std::uint64_t count = 0;
    // The commonest positive step between consecutive decode timestamps.
    struct Step {
      std::int64_t ticks = 0;
      std::uint64_t count = 0;
    };
    std::array<Step, 8> steps{};
    void add(std::int64_t decode);
    std::int64_t frameTicks() const;
  };

  static constexpr std::uint8_t kNoTrack = 0xFF;

  // One PID. lastCc runs over the whole output; the other fields belong to file number `file`
  // and start afresh at the PID's first packet in each file.
  struct PidRecord {
    std::int8_t lastCc = -1;        // the last continuity counter written; −1: none yet
    std::uint32_t file = 0;         // 0: none yet
    std::uint8_t ccDelta = 0;       // added to the file's counters
    std::uint8_t track = kNoTrack;  // the PID's StreamTrack in file_.tracks
  };

  // The file being passed.
  struct FileRecord {
    std::string name;  // as listed
    bool open = false;
    bool decided = false;  // its start has been found and compared
    int refPid = -1;
    std::vector<StreamTrack> tracks;
  };

  void startFile();
  void finishFile();
  bool lookAhead(std::span<std::uint8_t> piece);
  void decide(std::int64_t sourceStart);
  void passPiece(std::span<std::uint8_t> piece);
  StreamTrack* track(std::uint16_t pid);

  // All of the state is a plain value: a default one is where every merge starts, and a copy
  // can be put back.
  Mode mode_;
  std::int64_t offset_ = 0;
  bool stitched_ = false;  // a shift has been applied in this merge
  std::string nextName_;   // from beginFile, for the next file
  std::uint32_t fileNumber_ = 0;  // of the current file, 1-based; 0 before the first file
  FileRecord file_;
  std::array<PidRecord, kPidCount> pids_{};

  // The last decode timestamp of a reference stream, in output time.
  bool haveLastDecode_ = false;
  std::int64_t lastDecode_ = 0;

  // The end of the last file with a clock, in output time.
  bool havePreviousEnd_ = false;
  std::int64_t previousEnd_ = 0;
  std::int64_t previousFrame_ = 0;

  TimelineSummary summary_;
};

// Observes a join before and after another rewriter (or none: a plain join) and puts together
// what happened at each boundary: the jump as the sources had it, and how far the other rewriter
// moved the later file against the earlier one.
class TimelineObserver final : public TimestampRewriter {
 public:
  explicit TimelineObserver(TimestampRewriter* inner = nullptr) : inner_(inner) {}

  void resetTimelineState() override;
  void beginFile(const std::string& name) override;
  void correctBuffer(std::span<std::uint8_t> piece, bool startsFile) override;
  void finishMerge() override;

  // Boundaries as the sources had them, shifts as the output has them, the output's duration.
  TimelineSummary summary() const;
  // The sources as they came (the plain join), and the output as the other rewriter left it.
  const TimelineSummary& sources() const { return before_.summary(); }
  const TimelineSummary& output() const { return after_.summary(); }

 private:
  TimestampRewriter* inner_;
  ContinuousTimeline before_{ContinuousTimeline::Mode::Observe};
  ContinuousTimeline after_{ContinuousTimeline::Mode::Observe};
};

}  // namespace tsmerge
