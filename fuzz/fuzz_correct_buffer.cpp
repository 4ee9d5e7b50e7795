// libFuzzer target over correctBuffer. The input is a state and one or two source files; each file
// is corrected whole and, with a second state, piece by piece as the merge hands it over. Besides
// what the sanitizers catch (a read or write outside a buffer, undefined arithmetic), it aborts
// when the pieces come out different from the whole, or when a byte changes that the corrector
// never writes.
//
// Input layout (missing bytes count as zero):
//   byte 0      bit 0: rebasing; bit 1: put the sync byte at every 188th byte; bit 2: two files;
//               bits 3..5: pieces of 3 + n packets; bit 6: reset the state before the files
//   bytes 1-16  outputPcr, pcrStep, ptsBase, lastTimestamp, little-endian
//   byte 17     the first file's length in packets (modulo 64), when there are two files
//   the rest    the file bytes

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "timeline/timeline_corrector.h"
#include "timeline/timestamp_codec.h"
#include "ts/constants.h"

namespace {

using tsmerge::TimelineState;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderBytes = 18;

std::int32_t readInt32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                   std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
}

bool sameCarried(const TimelineState& a, const TimelineState& b) {
  return a.rebasing == b.rebasing && a.outputPcr == b.outputPcr && a.pcrStep == b.pcrStep &&
         a.ptsBase == b.ptsBase && a.lastTimestamp == b.lastTimestamp &&
         a.fieldBytes == b.fieldBytes && a.walkingFile == b.walkingFile;
}

void check(bool ok) {
  if (!ok) std::abort();
}

// Offsets in a packet that the corrector never writes: the packet header, the adaptation field
// length and flags, the PCR's bit 0 and extension, and byte 0 of a PES-only PTS field.
bool neverWritten(std::size_t offsetInPacket) {
  return offsetInPacket <= 5 || (offsetInPacket >= 10 && offsetInPacket <= 13);
}

void correctOneFile(const Bytes& source, std::size_t pieceBytes, TimelineState& wholeState,
                    TimelineState& pieceState) {
  if (source.empty() || source[0] != tsmerge::kTsSyncByte) return;  // the merge's own test

  Bytes whole = source;  // its own allocation, so that the sanitizer sees its end
  tsmerge::correctBuffer(wholeState, whole, true);

  Bytes joined;
  for (std::size_t at = 0; at < source.size(); at += pieceBytes) {
    const std::size_t n = std::min(pieceBytes, source.size() - at);
    Bytes piece(source.begin() + static_cast<std::ptrdiff_t>(at),
                source.begin() + static_cast<std::ptrdiff_t>(at + n));
    tsmerge::correctBuffer(pieceState, piece, at == 0);
    joined.insert(joined.end(), piece.begin(), piece.end());
  }

  check(joined == whole);
  check(sameCarried(wholeState, pieceState));
  for (std::size_t i = 0; i < source.size(); ++i) {
    if (neverWritten(i % tsmerge::kTsPacketBytes)) check(whole[i] == source[i]);
  }

  // The codec leaves a field alone that does not lie wholly inside the buffer.
  const Bytes before = whole;
  const std::int32_t lastTimestamp = wholeState.lastTimestamp;
  for (std::size_t back = 0; back < tsmerge::kTimestampBytes && back <= whole.size(); ++back) {
    const std::size_t at = whole.size() - back;
    check(!tsmerge::rewriteTimestamp(wholeState, whole, at, wholeState.ptsBase,
                                     tsmerge::TimestampMode::Relative));
    tsmerge::rewritePtsKeepingOffset(wholeState, whole, at, lastTimestamp, wholeState.ptsBase);
  }
  check(whole == before && wholeState.lastTimestamp == lastTimestamp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t header[kHeaderBytes] = {};
  std::memcpy(header, data, std::min(size, kHeaderBytes));
  const std::span<const std::uint8_t> body =
      size > kHeaderBytes ? std::span(data + kHeaderBytes, size - kHeaderBytes)
                          : std::span<const std::uint8_t>();

  const std::uint8_t options = header[0];
  TimelineState state;
  state.rebasing = (options & 0x01) != 0;
  state.outputPcr = readInt32(header + 1);
  state.pcrStep = readInt32(header + 5);
  state.ptsBase = readInt32(header + 9);
  state.lastTimestamp = readInt32(header + 13);
  if (options & 0x40) tsmerge::resetTimelineState(state);
  TimelineState pieceState = state;
  const std::size_t pieceBytes = tsmerge::kTsPacketBytes * (3 + ((options >> 3) & 0x07));

  Bytes all(body.begin(), body.end());
  if (options & 0x02) {
    for (std::size_t i = 0; i < all.size(); i += tsmerge::kTsPacketBytes) all[i] = tsmerge::kTsSyncByte;
  }
  std::size_t firstLength = all.size();
  if (options & 0x04) {
    // A whole number of packets, so that the second file too is aligned.
    firstLength = std::min(all.size(), std::size_t{header[17]} % 64 * tsmerge::kTsPacketBytes);
  }
  const auto split = all.begin() + static_cast<std::ptrdiff_t>(firstLength);
  correctOneFile(Bytes(all.begin(), split), pieceBytes, state, pieceState);
  correctOneFile(Bytes(split, all.end()), pieceBytes, state, pieceState);
  return 0;
}
