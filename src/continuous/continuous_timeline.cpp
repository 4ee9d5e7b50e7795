#include "continuous/continuous_timeline.h"

#include <cstdio>

#include "ts/packet.h"
#include "ts/pes.h"

namespace tsmerge {
namespace {

// PIDs followed per file; a file with more streams than this has its further ones rewritten but
// not measured.
constexpr std::size_t kMaxTracks = 64;

// One candidate start found by the look-ahead.
struct StartCandidate {
  std::uint16_t pid;
  std::uint8_t streamId;
  std::int64_t decode;
};

std::int64_t decodeTimestamp(const PacketView& packet, const PesTimestamps& pes) {
  const std::size_t at = pes.hasDts() ? pes.dtsOffset : pes.ptsOffset;
  return PesTimestampField(packet.data() + at).value();
}

// Room for every track index below the record's "no track" mark.
static_assert(kMaxTracks < 0xFF);

// Packet i of a piece that holds at least i + 1 whole packets.
PacketView packetAt(std::span<std::uint8_t> piece, std::size_t i) {
  return PacketView(piece.subspan(i * kTsPacketBytes, kTsPacketBytes));
}

}  // namespace

void ContinuousTimeline::StreamTrack::add(std::int64_t decode) {
  if (count == 0) {
    first = decode;
  } else {
    const std::int64_t step = tickDelta(decode, last);
    if (step > 0) {
      for (Step& s : steps) {
        if (s.count != 0 && s.ticks != step) continue;
        s.ticks = step;
        ++s.count;
        break;
      }
    }
    const std::int64_t rel = tickDelta(decode, first);
    if (rel > lastRel) lastRel = rel;
  }
  last = decode;
  ++count;
}

std::int64_t ContinuousTimeline::StreamTrack::frameTicks() const {
  const Step* best = nullptr;
  for (const Step& s : steps) {
    if (s.count != 0 && (best == nullptr || s.count > best->count)) best = &s;
  }
  return best == nullptr ? 0 : best->ticks;
}

void ContinuousTimeline::resetTimelineState() { *this = ContinuousTimeline(mode_); }

void ContinuousTimeline::beginFile(const std::string& name) { nextName_ = name; }

void ContinuousTimeline::correctBuffer(std::span<std::uint8_t> piece, bool startsFile) {
  if (startsFile || !file_.open) startFile();
  if (!file_.decided) file_.decided = lookAhead(piece);
  passPiece(piece);
}

void ContinuousTimeline::finishMerge() { finishFile(); }

void ContinuousTimeline::startFile() {
  finishFile();
  ++fileNumber_;
  file_ = FileRecord{};
  file_.open = true;
  file_.name = std::move(nextName_);
  nextName_.clear();
}

void ContinuousTimeline::finishFile() {
  if (!file_.open) return;
  file_.open = false;
  if (file_.refPid < 0) return;
  const PidRecord& refRecord = pids_[static_cast<std::size_t>(file_.refPid)];
  if (refRecord.file != fileNumber_ || refRecord.track == kNoTrack) return;
  const StreamTrack& ref = file_.tracks[refRecord.track];
  std::int64_t frame = ref.frameTicks();
  if (frame == 0) frame = previousFrame_;
  previousEnd_ = addTicks(ref.first + ref.lastRel + frame, offset_);
  previousFrame_ = frame;
  havePreviousEnd_ = true;
  summary_.end = previousEnd_;
}

// Reads the piece without changing it and picks the file's reference stream and its start.
// Returns false when the piece holds no PES timestamp at all.
bool ContinuousTimeline::lookAhead(std::span<std::uint8_t> piece) {
  int pcrPid = -1;
  std::vector<StartCandidate> candidates;
  const StartCandidate* onPcrPid = nullptr;
  const std::size_t packets = piece.size() / kTsPacketBytes;
  for (std::size_t i = 0; i < packets && onPcrPid == nullptr; ++i) {
    const PacketView packet = packetAt(piece, i);
    if (!packet.parses()) continue;
    const std::uint16_t pid = packet.pid();
    if (pcrPid < 0 && packet.hasPcr()) pcrPid = pid;
    if (!packet.payloadUnitStartIndicator() || !packet.hasPayload()) continue;
    const PesTimestamps pes = findPesTimestamps(packet);
    if (!pes.hasPts()) continue;
    bool known = false;
    for (const StartCandidate& c : candidates) known = known || c.pid == pid;
    if (!known && candidates.size() < kMaxTracks) {
      candidates.push_back({pid, pes.streamId, decodeTimestamp(packet, pes)});
    }
    for (const StartCandidate& c : candidates) {
      if (static_cast<int>(c.pid) == pcrPid) onPcrPid = &c;
    }
  }
  if (candidates.empty()) return false;

  const StartCandidate* chosen = onPcrPid;
  for (const StartCandidate& c : candidates) {
    if (chosen == nullptr && streamIdIsVideo(c.streamId)) chosen = &c;
  }
  if (chosen == nullptr) {
    chosen = &candidates.front();
    for (const StartCandidate& c : candidates) {
      if (tickDelta(c.decode, chosen->decode) < 0) chosen = &c;
    }
  }
  file_.refPid = chosen->pid;
  decide(chosen->decode);
  return true;
}

void ContinuousTimeline::decide(std::int64_t sourceStart) {
  const std::int64_t start = addTicks(sourceStart, offset_);
  if (summary_.filesWithClock++ == 0) summary_.start = start;
  if (!havePreviousEnd_) return;
  TimelineBoundary boundary;
  boundary.fileIndex = fileNumber_ - 1;
  boundary.file = file_.name;
  boundary.jump = tickDelta(start, previousEnd_);
  boundary.frame = previousFrame_;
  const bool behind = 2 * boundary.jump < -previousFrame_;
  const bool farAhead = boundary.jump >= kForwardJumpLimit;
  if (mode_ == Mode::Rewrite && (behind || farAhead)) {
    boundary.shift = -boundary.jump;
    offset_ = addTicks(offset_, boundary.shift);
    stitched_ = true;
  }
  summary_.boundaries.push_back(std::move(boundary));
}

// The PID's track in the current file, made at its first timestamp; null when the file already
// has kMaxTracks. The PID's record belongs to the current file already (passPiece sees to it).
ContinuousTimeline::StreamTrack* ContinuousTimeline::track(std::uint16_t pid) {
  PidRecord& record = pids_[pid];
  if (record.track != kNoTrack) return &file_.tracks[record.track];
  if (file_.tracks.size() == kMaxTracks) return nullptr;
  record.track = static_cast<std::uint8_t>(file_.tracks.size());
  return &file_.tracks.emplace_back();
}

void ContinuousTimeline::passPiece(std::span<std::uint8_t> piece) {
  const bool rewrite = mode_ == Mode::Rewrite;
  const std::size_t packets = piece.size() / kTsPacketBytes;
  for (std::size_t i = 0; i < packets; ++i) {
    PacketView packet = packetAt(piece, i);
    // A packet that does not parse passes as it is, counter included.
    if (!packet.parses()) continue;
    const std::uint16_t pid = packet.pid();
    if (pid == kNullPid) continue;

    // Continuity counters (2.4.3.3): a packet with payload counts one up, one without repeats
    // the count.
    PidRecord& record = pids_[pid];
    unsigned cc = packet.continuityCounter();
    if (record.file != fileNumber_) {
      const std::int8_t lastCc = record.lastCc;
      record = PidRecord{};
      record.file = fileNumber_;
      record.lastCc = lastCc;
      if (rewrite && stitched_ && lastCc >= 0) {
        const unsigned expected =
            (static_cast<unsigned>(lastCc) + (packet.hasPayload() ? 1 : 0)) & 0xF;
        record.ccDelta = static_cast<std::uint8_t>((expected - cc) & 0xF);
      }
    }
    if (record.ccDelta != 0) {
      cc = (cc + record.ccDelta) & 0xF;
      packet.setContinuityCounter(cc);
    }
    record.lastCc = static_cast<std::int8_t>(cc);

    if (packet.hasPcr() && rewrite && offset_ != 0) {
      const unsigned extension = packet.pcrExtension();
      // An extension of 300 or more is out of range; such a PCR is left as it is.
      if (extension < kSystemTicksPerTick) {
        const std::int64_t pcr = addPcrTicks(
            packet.pcrBase() * kSystemTicksPerTick + extension, offset_);
        packet.setPcr(pcr / kSystemTicksPerTick, static_cast<unsigned>(pcr % kSystemTicksPerTick));
      }
    }

    if (!packet.payloadUnitStartIndicator() || !packet.hasPayload()) continue;
    const PesTimestamps pes = findPesTimestamps(packet);
    if (!pes.hasPts()) continue;
    const std::int64_t decode = decodeTimestamp(packet, pes);
    if (StreamTrack* t = track(pid)) t->add(decode);
    if (static_cast<int>(pid) == file_.refPid) {
      const std::int64_t written = rewrite ? addTicks(decode, offset_) : decode;
      if (haveLastDecode_ && tickDelta(written, lastDecode_) < 0) ++summary_.stepsBack;
      haveLastDecode_ = true;
      lastDecode_ = written;
    }
    if (rewrite && offset_ != 0) {
      PesTimestampField pts(packet.data() + pes.ptsOffset);
      pts.setValue(addTicks(pts.value(), offset_));
      if (pes.hasDts()) {
        PesTimestampField dts(packet.data() + pes.dtsOffset);
        dts.setValue(addTicks(dts.value(), offset_));
      }
    }
  }
}

void TimelineObserver::resetTimelineState() {
  before_.resetTimelineState();
  if (inner_ != nullptr) inner_->resetTimelineState();
  after_.resetTimelineState();
}

void TimelineObserver::beginFile(const std::string& name) {
  before_.beginFile(name);
  if (inner_ != nullptr) inner_->beginFile(name);
  after_.beginFile(name);
}

void TimelineObserver::correctBuffer(std::span<std::uint8_t> piece, bool startsFile) {
  before_.correctBuffer(piece, startsFile);
  if (inner_ != nullptr) inner_->correctBuffer(piece, startsFile);
  after_.correctBuffer(piece, startsFile);
}

void TimelineObserver::finishMerge() {
  before_.finishMerge();
  if (inner_ != nullptr) inner_->finishMerge();
  after_.finishMerge();
}

TimelineSummary TimelineObserver::summary() const {
  TimelineSummary result = after_.summary();
  result.boundaries = before_.summary().boundaries;
  for (TimelineBoundary& b : result.boundaries) {
    for (const TimelineBoundary& out : after_.summary().boundaries) {
      if (out.fileIndex == b.fileIndex) b.shift = out.jump - b.jump;
    }
  }
  return result;
}

}  // namespace tsmerge
