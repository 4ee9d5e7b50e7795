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
  // The widest stretch a stream is left without data between its end in the previous file and
  // its start in this one, after the shift (0: none), and that stream's PID.
  std::int64_t gap = 0;
  std::uint16_t gapPid = 0;
  // True when the clock did not run on: the start lies more than half a frame away either way.
  bool jumped() const { return 2 * (jump < 0 ? -jump : jump) > frame; }
};

// What one merge's timeline came to, in output time.
struct TimelineSummary {
  std::vector<TimelineBoundary> boundaries;
  std::size_t filesWithClock = 0;
  std::int64_t start = 0;  // first file's start
  std::int64_t end = 0;    // last file's end
  // The files' own durations added up: each from its reference stream's start to its end.
  std::int64_t filesDuration = 0;
  // How often a decode timestamp (DTS, else PTS) of a file's reference stream lies behind the
  // one before it on the reference stream, within a file or across a boundary: the steps back a
  // player meets. A timeline that runs on has none.
  std::uint64_t stepsBack = 0;
  std::int64_t duration() const { return filesWithClock == 0 ? 0 : wrapTicks(end - start); }
};

// The rewriter of --continuous-timeline: one offset for the whole output, changed only at file
// boundaries where the clock jumped, applied to every PCR, PTS and DTS of every PID.
//
// Each stream of a file ends where its last access unit ends: for video the greatest DTS (PTS when
// there is none) plus one frame, the frame being the commonest step between its timestamps; for
// audio the last PES's PTS plus the frames that PES holds, counted from their headers (ADTS 1,024
// samples, MPEG audio 384 or 1,152 or 576), or when the frames cannot be read, the last PES's
// bytes at the earlier PESs' duration per byte.
//
// At each file it finds, before rewriting the file's first piece, where each stream starts and
// the first PCR, and picks the reference stream: the PID that carries the PCR when it also
// carries PES timestamps, else the first video stream, else the stream that starts earliest. A
// reference start more than half a frame behind the previous file's reference end, or
// kForwardJumpLimit or more ahead of it, is a clock that jumped; anything else runs on and is
// kept as it is. Where the clock jumped the offset moves by the least that lets no stream start
// before its own end in the previous file and keeps the first PCR rising past the previous
// file's last PCR; the reference stream lands on its end unless another stream needs more.
//
// A piece that holds no PES timestamp (a file that starts with something else for its whole
// first piece) is rewritten with the offset in force, and the decision waits for the first piece
// that holds one: the file's pieces are never held back.
//
// The continuity counters (2.4.3.3) of every file after the first are renumbered per PID so that
// they run on from the previous file's, whether the clock jumped or not.
//
// In observe mode nothing is written: the same measurements are made and the boundaries are
// recorded with no shift, for a report on a join that is not rewritten.
//
// All state is held in plain values: a copy of the object is a saved state.
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
  // Audio access units counted from their frame headers as a PES's payload passes, so that a
  // stream's end is known even when its last PES holds fewer frames than the others.
  struct AudioFrames {
    std::array<std::uint8_t, 7> header{};
    std::uint8_t have = 0;         // header bytes collected
    std::uint32_t skip = 0;        // bytes left of the frame being passed
    bool lost = false;             // a frame header was not where one was due: framing unknown
    std::uint32_t rate = 0;        // samples per second, of the last header read
    std::uint64_t pesSamples = 0;  // samples of the frames that begin in the current PES
    void feed(const std::uint8_t* bytes, std::size_t count);
  };

  // Timestamps of one PID within the current file, in the source's clock.
  struct StreamTrack {
    std::uint8_t streamId = 0;
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
    // PES payload bytes: of every PES before the last one with a timestamp, and of that one.
    std::uint64_t bytesBeforeLast = 0;
    std::uint64_t lastPesBytes = 0;
    AudioFrames frames;
    void add(std::int64_t decode);
    std::int64_t frameTicks() const;
    // Where its last access unit ends, relative to first.
    std::int64_t endRel() const;
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
    // Its PCR (2.4.3.5), in the source's clock: the PID that carries it and the last value.
    int pcrPid = -1;
    bool havePcr = false;
    std::int64_t lastPcr = 0;
  };

  // One stream's start found by the look-ahead, in the source's clock.
  struct StreamStart {
    std::uint16_t pid = 0;
    std::uint8_t streamId = 0;
    std::int64_t decode = 0;
  };
  // One stream's end in the previous file with a clock, in output time.
  struct StreamEnd {
    std::uint16_t pid = 0;
    std::int64_t end = 0;
  };

  void startFile();
  void finishFile();
  bool lookAhead(std::span<std::uint8_t> piece);
  void decide(const std::vector<StreamStart>& starts, std::size_t reference, bool havePcr,
              std::int64_t firstPcr);
  void passPiece(std::span<std::uint8_t> piece);
  StreamTrack* track(std::uint16_t pid, std::uint8_t streamId);

  // All of the state is a plain value: a default one is where every merge starts, and a copy
  // can be put back.
  Mode mode_;
  std::int64_t offset_ = 0;
  std::string nextName_;          // from beginFile, for the next file
  std::uint32_t fileNumber_ = 0;  // of the current file, 1-based; 0 before the first file
  FileRecord file_;
  std::array<PidRecord, kPidCount> pids_{};

  // The last decode timestamp of a reference stream, in output time.
  bool haveLastDecode_ = false;
  std::int64_t lastDecode_ = 0;

  // The end of the last file with a clock, in output time: its reference stream's, every
  // stream's, and its last PCR.
  bool havePreviousEnd_ = false;
  std::int64_t previousEnd_ = 0;
  std::int64_t previousFrame_ = 0;
  std::vector<StreamEnd> previousEnds_;
  bool havePreviousPcr_ = false;
  std::int64_t previousPcr_ = 0;

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
