#include "continuous/continuous_timeline.h"

#include <algorithm>
#include <cstdio>

#include "ts/packet.h"
#include "ts/pes.h"

namespace tsmerge {
namespace {

// PIDs followed per file; a file with more streams than this has its further ones rewritten but
// not measured.
constexpr std::size_t kMaxTracks = 64;

// How far past its first PCR the look-ahead reads for the starts of the other streams: a
// multiplexer interleaves its streams far closer than this (the T-STD buffers hold about 1 s).
constexpr std::int64_t kLookAheadPcrTicks = 2 * kClockHz * kSystemTicksPerTick;

std::int64_t decodeTimestamp(const PacketView& packet, const PesTimestamps& pes) {
  const std::size_t at = pes.hasDts() ? pes.dtsOffset : pes.ptsOffset;
  return PesTimestampField(packet.data() + at).value();
}

// Packet i of a piece that holds at least i + 1 whole packets.
PacketView packetAt(std::span<std::uint8_t> piece, std::size_t i) {
  return PacketView(piece.subspan(i * kTsPacketBytes, kTsPacketBytes));
}

// The PCR of a packet that has one, in 27 MHz ticks; −1 when its extension is out of range.
std::int64_t pcrOf(const PacketView& packet) {
  const unsigned extension = packet.pcrExtension();
  if (extension >= kSystemTicksPerTick) return -1;
  return packet.pcrBase() * kSystemTicksPerTick + extension;
}

// later − earlier on the PCR's 2^33 × 300 circle, the shorter way round.
std::int64_t pcrDelta(std::int64_t later, std::int64_t earlier) {
  std::int64_t d = (later - earlier) % kPcrModulus;
  if (d < 0) d += kPcrModulus;
  return d >= kPcrModulus / 2 ? d - kPcrModulus : d;
}

// One audio frame header: its length in bytes and samples, and the sampling rate; length 0 when
// the bytes are no header known here.
struct AudioFrameHeader {
  std::uint32_t bytes = 0;
  std::uint32_t samples = 0;
  std::uint32_t rate = 0;
};

// ADTS (ISO/IEC 13818-7, 6.2): syncword 0xFFF, layer 00; 1,024 samples per raw data block.
AudioFrameHeader readAdts(const std::uint8_t* h) {
  static constexpr std::uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                             22050, 16000, 12000, 11025, 8000,  7350};
  AudioFrameHeader f;
  if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) return f;
  const unsigned rateIndex = (h[2] >> 2) & 0xF;
  if (rateIndex >= std::size(kRates)) return f;
  const std::uint32_t length = (h[3] & 0x3u) << 11 | std::uint32_t{h[4]} << 3 | h[5] >> 5;
  if (length < 7) return f;
  f.bytes = length;
  f.samples = 1024 * ((h[6] & 0x3u) + 1);
  f.rate = kRates[rateIndex];
  return f;
}

// MPEG audio (ISO/IEC 11172-3 and 13818-3): 11-bit sync, layers I, II and III.
AudioFrameHeader readMpegAudio(const std::uint8_t* h) {
  static constexpr std::uint16_t kKbps[5][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 II, III
  };
  static constexpr std::uint32_t kRates[] = {44100, 48000, 32000};
  AudioFrameHeader f;
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return f;
  const unsigned version = (h[1] >> 3) & 0x3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
  const unsigned layer = 4 - ((h[1] >> 1) & 0x3);
  const unsigned bitrateIndex = h[2] >> 4;
  const unsigned rateIndex = (h[2] >> 2) & 0x3;
  if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
    return f;
  }
  const bool mpeg1 = version == 3;
  const std::uint32_t kbps = kKbps[mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4)][bitrateIndex];
  const std::uint32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const std::uint32_t padding = (h[2] >> 1) & 0x1;
  if (layer == 1) {
    f.bytes = (12 * kbps * 1000 / rate + padding) * 4;
    f.samples = 384;
  } else {
    const std::uint32_t samples = layer == 3 && !mpeg1 ? 576 : 1152;
    f.bytes = samples / 8 * kbps * 1000 / rate + padding;
    f.samples = samples;
  }
  f.rate = rate;
  return f;
}

}  // namespace

void ContinuousTimeline::AudioFrames::feed(const std::uint8_t* bytes, std::size_t count) {
  std::size_t i = 0;
  while (i < count && !lost) {
    if (skip > 0) {
      const std::size_t n = std::min<std::size_t>(skip, count - i);
      i += n;
      skip -= static_cast<std::uint32_t>(n);
      continue;
    }
    header[have++] = bytes[i++];
    if (have < header.size()) continue;
    AudioFrameHeader f = readAdts(header.data());
    if (f.bytes == 0) f = readMpegAudio(header.data());
    if (f.bytes < header.size()) {
      lost = true;
      break;
    }
    pesSamples += f.samples;
    rate = f.rate;
    skip = f.bytes - have;
    have = 0;
  }
}

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

std::int64_t ContinuousTimeline::StreamTrack::endRel() const {
  const std::int64_t lastUnit = tickDelta(last, first);
  if (!streamIdIsVideo(streamId)) {
    // The frames of the last PES, from their headers.
    if (!frames.lost && frames.rate != 0 && frames.pesSamples != 0) {
      return lastUnit + static_cast<std::int64_t>(frames.pesSamples * kClockHz / frames.rate);
    }
    // Else the last PES's bytes at the duration per byte of the PESs before it.
    if (bytesBeforeLast != 0 && lastUnit > 0) {
      return lastUnit + static_cast<std::int64_t>(lastPesBytes * static_cast<std::uint64_t>(lastUnit) /
                                                  bytesBeforeLast);
    }
  }
  return lastRel + frameTicks();
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
  if (file_.havePcr) {
    previousPcr_ = (file_.lastPcr + wrapTicks(offset_) * kSystemTicksPerTick) % kPcrModulus;
    havePreviousPcr_ = true;
  }
  if (file_.refPid < 0) return;
  const PidRecord& refRecord = pids_[static_cast<std::size_t>(file_.refPid)];
  if (refRecord.file != fileNumber_ || refRecord.track == kNoTrack) return;
  previousEnds_.clear();
  for (std::size_t pid = 0; pid < pids_.size(); ++pid) {
    const PidRecord& r = pids_[pid];
    if (r.file != fileNumber_ || r.track == kNoTrack) continue;
    const StreamTrack& t = file_.tracks[r.track];
    previousEnds_.push_back({static_cast<std::uint16_t>(pid), addTicks(t.first + t.endRel(), offset_)});
  }
  const StreamTrack& ref = file_.tracks[refRecord.track];
  std::int64_t frame = ref.frameTicks();
  if (frame == 0) frame = previousFrame_;
  previousEnd_ = addTicks(ref.first + ref.endRel(), offset_);
  previousFrame_ = frame;
  havePreviousEnd_ = true;
  summary_.end = previousEnd_;
  summary_.filesDuration += ref.endRel();
}

// Reads the piece without changing it: where each stream starts and the first PCR; picks the
// file's reference stream. Returns false when the piece holds no PES timestamp at all.
bool ContinuousTimeline::lookAhead(std::span<std::uint8_t> piece) {
  int pcrPid = -1;
  bool havePcr = false;
  std::int64_t firstPcr = 0;
  std::vector<StreamStart> starts;
  const std::size_t packets = piece.size() / kTsPacketBytes;
  for (std::size_t i = 0; i < packets; ++i) {
    const PacketView packet = packetAt(piece, i);
    if (!packet.parses()) continue;
    const std::uint16_t pid = packet.pid();
    if (packet.hasPcr() && (pcrPid < 0 || static_cast<int>(pid) == pcrPid)) {
      const std::int64_t pcr = pcrOf(packet);
      if (pcr >= 0 && !havePcr) {
        pcrPid = pid;
        havePcr = true;
        firstPcr = pcr;
      } else if (pcr >= 0 && pcrDelta(pcr, firstPcr) > kLookAheadPcrTicks) {
        break;
      }
    }
    if (!packet.payloadUnitStartIndicator() || !packet.hasPayload()) continue;
    const PesTimestamps pes = findPesTimestamps(packet);
    if (!pes.hasPts()) continue;
    const bool known = std::any_of(starts.begin(), starts.end(),
                                   [&](const StreamStart& s) { return s.pid == pid; });
    if (!known && starts.size() < kMaxTracks) {
      starts.push_back({pid, pes.streamId, decodeTimestamp(packet, pes)});
    }
  }
  if (starts.empty()) return false;

  std::size_t reference = starts.size();
  for (std::size_t i = 0; i < starts.size() && reference == starts.size(); ++i) {
    if (static_cast<int>(starts[i].pid) == pcrPid) reference = i;
  }
  for (std::size_t i = 0; i < starts.size() && reference == starts.size(); ++i) {
    if (streamIdIsVideo(starts[i].streamId)) reference = i;
  }
  if (reference == starts.size()) {
    reference = 0;
    for (std::size_t i = 1; i < starts.size(); ++i) {
      if (tickDelta(starts[i].decode, starts[reference].decode) < 0) reference = i;
    }
  }
  file_.refPid = starts[reference].pid;
  decide(starts, reference, havePcr, firstPcr);
  return true;
}

void ContinuousTimeline::decide(const std::vector<StreamStart>& starts, std::size_t reference,
                                bool havePcr, std::int64_t firstPcr) {
  const std::int64_t start = addTicks(starts[reference].decode, offset_);
  if (summary_.filesWithClock++ == 0) summary_.start = start;
  if (!havePreviousEnd_) return;
  TimelineBoundary boundary;
  boundary.fileIndex = fileNumber_ - 1;
  boundary.file = file_.name;
  boundary.jump = tickDelta(start, previousEnd_);
  boundary.frame = previousFrame_;
  const auto previousEndOf = [&](std::uint16_t pid) -> const StreamEnd* {
    for (const StreamEnd& e : previousEnds_) {
      if (e.pid == pid) return &e;
    }
    return nullptr;
  };
  const bool behind = 2 * boundary.jump < -previousFrame_;
  const bool farAhead = boundary.jump >= kForwardJumpLimit;
  if (mode_ == Mode::Rewrite && (behind || farAhead)) {
    // The reference stream lands on its end; any other stream that would start before its own
    // end, or a PCR that would not rise past the last one by its interval, moves it further.
    std::int64_t shift = -boundary.jump;
    for (const StreamStart& s : starts) {
      if (const StreamEnd* e = previousEndOf(s.pid)) {
        shift = std::max(shift, tickDelta(e->end, addTicks(s.decode, offset_)));
      }
    }
    if (havePcr && havePreviousPcr_) {
      const std::int64_t pcr = (firstPcr + wrapTicks(offset_) * kSystemTicksPerTick) % kPcrModulus;
      // The first PCR must rise past the last one. Not by a whole interval: PCRs come with the
      // packets that carry them, and in a recording cut into segments the first PCR of a file
      // often follows the last of the file before by less than the usual step.
      const std::int64_t short27 = pcrDelta(previousPcr_ + 1, pcr);
      const std::int64_t shortTicks =
          short27 <= 0 ? 0 : (short27 + kSystemTicksPerTick - 1) / kSystemTicksPerTick;
      // A PCR that would move the streams by more than a second is not tied to them: left out.
      if (shortTicks - shift <= kClockHz) shift = std::max(shift, shortTicks);
    }
    boundary.shift = shift;
    offset_ = addTicks(offset_, shift);
  }
  for (const StreamStart& s : starts) {
    if (const StreamEnd* e = previousEndOf(s.pid)) {
      const std::int64_t gap = tickDelta(addTicks(s.decode, offset_), e->end);
      if (gap > boundary.gap) {
        boundary.gap = gap;
        boundary.gapPid = s.pid;
      }
    }
  }
  summary_.boundaries.push_back(std::move(boundary));
}

// The PID's track in the current file, made at its first timestamp; null when the file already
// has kMaxTracks. The PID's record belongs to the current file already (passPiece sees to it).
ContinuousTimeline::StreamTrack* ContinuousTimeline::track(std::uint16_t pid,
                                                           std::uint8_t streamId) {
  PidRecord& record = pids_[pid];
  if (record.track != kNoTrack) return &file_.tracks[record.track];
  if (file_.tracks.size() == kMaxTracks) return nullptr;
  record.track = static_cast<std::uint8_t>(file_.tracks.size());
  StreamTrack& t = file_.tracks.emplace_back();
  t.streamId = streamId;
  return &t;
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
    // the count. Each file's counters run on from the previous file's.
    PidRecord& record = pids_[pid];
    unsigned cc = packet.continuityCounter();
    if (record.file != fileNumber_) {
      const std::int8_t lastCc = record.lastCc;
      record = PidRecord{};
      record.file = fileNumber_;
      record.lastCc = lastCc;
      if (rewrite && lastCc >= 0) {
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

    if (packet.hasPcr()) {
      const std::int64_t pcr = pcrOf(packet);
      // An extension of 300 or more is out of range; such a PCR is left as it is.
      if (pcr >= 0 && (file_.pcrPid < 0 || static_cast<int>(pid) == file_.pcrPid)) {
        file_.pcrPid = pid;
        file_.havePcr = true;
        file_.lastPcr = pcr;
      }
      if (pcr >= 0 && rewrite && offset_ != 0) {
        const std::int64_t moved = addPcrTicks(pcr, offset_);
        packet.setPcr(moved / kSystemTicksPerTick,
                      static_cast<unsigned>(moved % kSystemTicksPerTick));
      }
    }

    if (!packet.hasPayload()) continue;
    StreamTrack* t = record.track != kNoTrack ? &file_.tracks[record.track] : nullptr;
    std::size_t payload = packet.payloadOffset();
    if (packet.payloadUnitStartIndicator()) {
      const PesTimestamps pes = findPesTimestamps(packet);
      if (pes.hasPts()) {
        const std::int64_t decode = decodeTimestamp(packet, pes);
        t = track(pid, pes.streamId);
        if (t != nullptr) {
          t->add(decode);
          t->bytesBeforeLast += t->lastPesBytes;
          t->lastPesBytes = 0;
          t->frames.pesSamples = 0;
          // The PES's data bytes follow its header (PES_header_data_length at byte 8).
          payload += 9 + packet.data()[payload + 8];
        }
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
      } else if (t != nullptr && packet.holds(payload + 8) && packet.data()[payload] == 0 &&
                 packet.data()[payload + 1] == 0 && packet.data()[payload + 2] == 1) {
        // A PES without a timestamp: its data bytes belong to the unit before.
        payload += 9 + std::size_t{packet.data()[payload + 8]};
      }
    }
    if (t == nullptr || t->count == 0 || streamIdIsVideo(t->streamId)) continue;
    if (payload >= kTsPacketBytes) continue;
    t->lastPesBytes += kTsPacketBytes - payload;
    t->frames.feed(packet.data() + payload, kTsPacketBytes - payload);
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
    b.gap = 0;
    for (const TimelineBoundary& out : after_.summary().boundaries) {
      if (out.fileIndex != b.fileIndex) continue;
      b.shift = out.jump - b.jump;
      b.gap = out.gap;
      b.gapPid = out.gapPid;
    }
  }
  // A join that is not rewritten lasts as long as its files together; a player of the joined
  // file sees that much, however its clock jumps.
  if (inner_ == nullptr) result.end = addTicks(result.start, before_.summary().filesDuration);
  return result;
}

}  // namespace tsmerge
