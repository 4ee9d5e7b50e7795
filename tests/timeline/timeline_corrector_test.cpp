#include "timeline/timeline_corrector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "merge/merge_job.h"
#include "support/ts_stream.h"

namespace tsmerge {
namespace {

using namespace tsmerge::testing;

// The values a state carries from packet to packet and file to file.
auto carried(const TimelineState& s) {
  return std::tuple(s.rebasing, s.outputPcr, s.pcrStep, s.ptsBase, s.lastTimestamp, s.fieldBytes);
}

void correctWhole(TimelineState& state, Bytes& file) { correctBuffer(state, file, true); }

// A state that rebases from the next examined PCR on, with outputPcr and pcrStep as given.
TimelineState rebasingState(std::int32_t outputPcr, std::int32_t pcrStep) {
  TimelineState s;
  s.rebasing = true;
  s.outputPcr = outputPcr;
  s.pcrStep = pcrStep;
  return s;
}

Bytes withoutPusi(Bytes p) {
  p[1] &= ~0x40;
  return p;
}

Bytes withoutPcrFlag(Bytes p) {
  p[5] &= ~0x10;
  return p;
}

// A file of PCR packets without PES headers, padded to three packets.
Bytes pcrFile(const std::vector<std::uint32_t>& pcrs) {
  Bytes file;
  for (const std::uint32_t pcr : pcrs) {
    const Bytes p = pcrPacket(pcr);
    file.insert(file.end(), p.begin(), p.end());
  }
  return tsFile({file});
}

// A PES header with a PTS only.
PesHeader ptsOnly(std::uint64_t pts) { return {0x80, 5, pts, std::nullopt}; }

// In the units of bytes 6..9: a first file with examined PCRs 100, 190, 280 and a second with
// 50, 140, 20, each with a PTS-only PES header behind the PCR.
TEST(TimelineCorrector, WorkedExample) {
  TimelineState state;
  Bytes first = tsFile({pcrPacket(100), pcrPacket(190), pcrPacket(280)});
  const Bytes firstIn = first;
  correctWhole(state, first);
  EXPECT_EQ(first, firstIn);
  EXPECT_FALSE(state.rebasing);
  EXPECT_EQ(state.outputPcr, 280);
  EXPECT_EQ(state.pcrStep, 90);

  // The PTS's bits 32..30 come from the source and stay.
  const std::uint64_t top = std::uint64_t{1} << 32;
  Bytes second =
      tsFile({pcrPesPacket(50, ptsOnly(top | 700000)), fillerPacket(),
              pcrPesPacket(140, ptsOnly(top | 703600)), pcrPesPacket(20, ptsOnly(top | 707200))});
  correctWhole(state, second);
  const struct {
    std::size_t packet;
    std::uint32_t pcr;
    std::uint64_t pts;  // ptsBase = (pcr + 4500) * 2
  } kWritten[] = {{0, 370, top | 9740}, {2, 460, top | 9920}, {3, 550, top | 10100}};
  for (const auto& w : kWritten) {
    SCOPED_TRACE(w.packet);
    const auto p = packetOf(second, w.packet);
    EXPECT_EQ(pcrBits(p), w.pcr);
    EXPECT_EQ(timestampAt(p, ptsAfterAdaptation(7)), w.pts);
    EXPECT_EQ(p[10], 0xFE);  // base bit 0 and extension keep their source values
    EXPECT_EQ(p[11], 0x55);
  }
  EXPECT_TRUE(state.rebasing);
  EXPECT_EQ(state.outputPcr, 550);
  EXPECT_EQ(state.pcrStep, 90);
  EXPECT_EQ(state.ptsBase, 10100);
  EXPECT_EQ(state.lastTimestamp, 707200);  // the old PTS, bits 29..0
}

TEST(TimelineCorrector, RisingPcrsPassUnchangedAcrossFiles) {
  TimelineState state;
  Bytes first = tsFile({pcrPesPacket(1000, ptsOnly(5000)), pesPacket(ptsOnly(6000)),
                        pcrPacket(1500), pcrPacket(2100)});
  Bytes second = tsFile({pesPacket(ptsOnly(7000)), pcrPesPacket(2200, {0xC0, 10, 9000, 8000})});
  const Bytes firstIn = first, secondIn = second;
  correctWhole(state, first);
  EXPECT_EQ(state.outputPcr, 2100);
  EXPECT_EQ(state.pcrStep, 600);
  correctWhole(state, second);
  EXPECT_EQ(first, firstIn);
  EXPECT_EQ(second, secondIn);
  EXPECT_FALSE(state.rebasing);
  EXPECT_EQ(state.outputPcr, 2200);
  EXPECT_EQ(state.pcrStep, 100);
  EXPECT_EQ(state.lastTimestamp, 0);
}

TEST(TimelineCorrector, RebasingFromTheFirstPcrThatDoesNotRise) {
  const struct {
    const char* name;
    std::vector<std::uint32_t> firstPcrs;
    std::vector<std::uint32_t> secondPcrs;
    std::vector<std::uint32_t> written;
  } kCases[] = {
      {"equal PCR ends pass-through", {100, 200}, {200, 300}, {300, 400}},
      {"one PCR before the drop: the step is its value", {5000}, {10, 20}, {10000, 15000}},
      {"later PCRs far above are still rebased", {100, 200}, {50, 90000, 10}, {300, 400, 500}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TimelineState state;
    Bytes first = pcrFile(c.firstPcrs);
    Bytes second = pcrFile(c.secondPcrs);
    correctWhole(state, first);
    correctWhole(state, second);
    for (std::size_t i = 0; i < c.written.size(); ++i) {
      EXPECT_EQ(pcrBits(packetOf(second, i)), c.written[i]) << "packet " << i;
    }
  }
}

TEST(TimelineCorrector, PesHeadersBeforeTheFirstDropKeepTheirTimestamps) {
  TimelineState state;
  Bytes first = tsFile({pcrPacket(100), pcrPacket(200)});
  correctWhole(state, first);
  Bytes second = tsFile({pesPacket(ptsOnly(90000)), pcrPesPacket(50, ptsOnly(93600))});
  correctWhole(state, second);
  EXPECT_EQ(timestampAt(packetOf(second, 0), kPesOnlyPts), 90000u);
  EXPECT_EQ(pcrBits(packetOf(second, 1)), 300u);
  EXPECT_EQ(timestampAt(packetOf(second, 1), ptsAfterAdaptation(7)), (300u + 4500) * 2);
}

// Rebasing from outputPcr 1000 with step 100: the packet gets PCR 1100 and ptsBase 11200.
TEST(TimelineCorrector, PcrPathHeaderTable) {
  constexpr std::uint32_t kPcr = 1100;
  constexpr std::uint64_t kBase = (kPcr + 4500) * 2;
  const struct {
    const char* name;
    std::uint8_t adaptationLength;
    PesHeader in;
    PesHeader out;
    std::int32_t lastTimestamp;  // afterwards; 1 when no field was decoded
  } kCases[] = {
      {"0x80, length 5: PTS = ptsBase", 7, {0x80, 5, 90000, {}}, {0x80, 5, kBase, {}}, 90000},
      {"0x80, length 5, A = 60", 60, {0x80, 5, 90000, {}}, {0x80, 5, kBase, {}}, 90000},
      {"0x80, length 10: untouched", 7, {0x80, 10, 90000, {}}, {0x80, 10, 90000, {}}, 1},
      {"0x80, length 0: untouched", 7, {0x80, 0, 90000, {}}, {0x80, 0, 90000, {}}, 1},
      // DTS = ptsBase, and the PTS keeps its distance from the DTS, whatever the header length.
      {"0xC0", 7, {0xC0, 10, 93600, 90000}, {0xC0, 10, kBase + 3600, kBase}, 90000},
      {"0xC0, PTS before DTS", 7, {0xC0, 10, 87000, 90000}, {0xC0, 10, kBase - 3000, kBase}, 90000},
      {"0xC0, length 3", 7, {0xC0, 3, 93600, 90000}, {0xC0, 3, kBase + 3600, kBase}, 90000},
      {"0x81: untouched", 7, {0x81, 5, 90000, {}}, {0x81, 5, 90000, {}}, 1},
      {"0xC4: untouched", 7, {0xC4, 10, 93600, 90000}, {0xC4, 10, 93600, 90000}, 1},
      {"0x00: untouched", 7, {0x00, 0, {}, {}}, {0x00, 0, {}, {}}, 1},
      {"0x40: untouched", 7, {0x40, 5, 90000, {}}, {0x40, 5, 90000, {}}, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TimelineState state = rebasingState(1000, 100);
    state.lastTimestamp = 1;
    Bytes file = tsFile({pcrPesPacket(0x12345, c.in, c.adaptationLength)});
    Bytes expected = tsFile({pcrPesPacket(kPcr, c.out, c.adaptationLength)});
    correctWhole(state, file);
    EXPECT_EQ(file, expected);
    EXPECT_EQ(state.outputPcr, 1100);
    EXPECT_EQ(state.ptsBase, 11200);
    EXPECT_EQ(state.lastTimestamp, c.lastTimestamp);
  }
}

TEST(TimelineCorrector, PusiZeroAndAdaptationFieldWithoutPcrAreUntouched) {
  const Bytes kPackets[] = {withoutPusi(pcrPesPacket(10, ptsOnly(90000))),
                            withoutPcrFlag(pcrPesPacket(10, ptsOnly(90000))),
                            withoutPcrFlag(pcrPesPacket(10, {0xC0, 10, 93600, 90000}))};
  for (const bool rebasing : {false, true}) {
    for (std::size_t i = 0; i < std::size(kPackets); ++i) {
      SCOPED_TRACE(::testing::Message() << "rebasing " << rebasing << ", packet " << i);
      TimelineState state = rebasingState(500, 100);
      state.rebasing = rebasing;
      Bytes file = tsFile({kPackets[i], kPackets[i], kPackets[i]});
      const Bytes in = file;
      const auto before = carried(state);
      correctWhole(state, file);
      EXPECT_EQ(file, in);
      EXPECT_EQ(carried(state), before);
    }
  }
  // During pass-through a PCR in a PUSI 0 packet is not read: the lower 50 starts no rebasing.
  TimelineState state;
  Bytes file = tsFile({pcrPacket(100), withoutPusi(pcrPacket(50)), pcrPacket(200)});
  const Bytes in = file;
  correctWhole(state, file);
  EXPECT_EQ(file, in);
  EXPECT_FALSE(state.rebasing);
  EXPECT_EQ(state.pcrStep, 100);
}

TEST(TimelineCorrector, PesOnlyHeadersChainThroughLastTimestamp) {
  TimelineState state;
  Bytes first = tsFile({pcrPacket(1000), pcrPacket(1100)});
  correctWhole(state, first);
  // The drop: PCR 1200, ptsBase 11400; its PTS 50000 becomes 11400 and lastTimestamp 50000.
  Bytes second = tsFile({
      pcrPesPacket(500, ptsOnly(50000)),
      pesPacket(ptsOnly(53600)),                       // 11400 + 53600 - 50000
      pesPacket(ptsOnly(57200)),                       // 11400 + 57200 - 53600
      pesPacket({0xC0, 10, 60000, 59000}),             // untouched
      pesPacket({0x80, 6, 61000, {}}),                 // header length not 5: untouched
      pesPacket({0x81, 5, 61000, {}}),                 // other flags: untouched
      pesPacket(ptsOnly(62000), Afc::AdaptationOnly),  // 11400 + 62000 - 57200
      pesPacket(ptsOnly(63000), Afc::Reserved),        // 11400 + 63000 - 62000
      pcrPacket(600),                                  // PCR 1300, ptsBase 11600
      pesPacket(ptsOnly(64000)),                       // 11600 + 64000 - 63000
  });
  Bytes noStartCode = pesPacket(ptsOnly(70000));
  noStartCode[6] = 0x02;
  second.insert(second.end(), noStartCode.begin(), noStartCode.end());
  const Bytes in = second;
  correctWhole(state, second);

  const struct {
    std::size_t packet;
    std::size_t at;
    std::uint64_t pts;
  } kExpected[] = {
      {0, ptsAfterAdaptation(7), 11400}, {1, kPesOnlyPts, 15000}, {2, kPesOnlyPts, 15000},
      {6, kPesOnlyPts, 16200},           {7, kPesOnlyPts, 12400}, {9, kPesOnlyPts, 12600},
  };
  for (const auto& e : kExpected) {
    EXPECT_EQ(timestampAt(packetOf(second, e.packet), e.at), e.pts) << "packet " << e.packet;
  }
  for (const std::size_t unchanged : {3, 4, 5, 10}) {
    EXPECT_TRUE(std::ranges::equal(packetOf(second, unchanged), packetOf(in, unchanged)))
        << "packet " << unchanged;
  }
  EXPECT_EQ(state.lastTimestamp, 64000);
}

TEST(TimelineCorrector, PesOnlyPathWaitsForRebasing) {
  TimelineState state;
  state.lastTimestamp = 70000;  // left by an earlier merge
  Bytes file = tsFile({pesPacket(ptsOnly(90000)), pcrPacket(1000), pesPacket(ptsOnly(91000))});
  const Bytes in = file;
  correctWhole(state, file);
  EXPECT_EQ(file, in);
  EXPECT_EQ(state.lastTimestamp, 70000);
}

TEST(TimelineCorrector, ResetKeepsStepBaseAndLastTimestamp) {
  TimelineState state;
  Bytes first = tsFile({pcrPacket(1000), pcrPacket(1100)});
  Bytes second = tsFile({pcrPesPacket(10, ptsOnly(70000))});
  correctWhole(state, first);
  correctWhole(state, second);
  ASSERT_TRUE(state.rebasing);

  resetTimelineState(state);
  EXPECT_FALSE(state.rebasing);
  EXPECT_EQ(state.outputPcr, 0);
  EXPECT_EQ(state.fieldBytes, (std::array<std::uint8_t, 4>{}));
  EXPECT_EQ(state.pcrStep, 100);
  EXPECT_EQ(state.ptsBase, (1200 + 4500) * 2);
  EXPECT_EQ(state.lastTimestamp, 70000);

  // The next merge: a first PCR of 0 does not rise above 0 and rebases with the old step; the
  // PES-only rewrite after it measures from the lastTimestamp of the previous merge.
  Bytes next = tsFile({pcrPacket(0), pesPacket(ptsOnly(73000))});
  correctWhole(state, next);
  EXPECT_EQ(pcrBits(packetOf(next, 0)), 100u);
  EXPECT_EQ(timestampAt(packetOf(next, 1), kPesOnlyPts), (100u + 4500) * 2 + 3000);
}

TEST(TimelineCorrector, SyncProbe) {
  // Would be rebased if walked.
  const Bytes kFile = tsFile({pcrPesPacket(10, ptsOnly(90000)), pcrPacket(20), pcrPacket(30)});
  const struct {
    const char* name;
    std::size_t length;
    std::size_t brokenSync;  // 0 for none
    bool corrected;
  } kCases[] = {
      {"three packets", 3 * kPacket, 0, true},
      {"byte 376 is the last", 2 * kPacket + 1, 0, true},
      {"byte 188 not 0x47", 3 * kPacket, kPacket, false},
      {"byte 376 not 0x47", 3 * kPacket, 2 * kPacket, false},
      {"no byte 376", 2 * kPacket, 0, false},
      {"no byte 188", kPacket, 0, false},
      {"one byte", 1, 0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Bytes file(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(c.length));
    if (c.brokenSync != 0) file[c.brokenSync] = 0x48;
    const Bytes in = file;
    TimelineState state = rebasingState(1000, 100);
    state.lastTimestamp = 5;
    const auto before = carried(state);
    correctWhole(state, file);
    EXPECT_EQ(file != in, c.corrected);
    EXPECT_EQ(carried(state) != before, c.corrected);
  }
  // The first byte is the caller's test, and holds here too.
  Bytes file = kFile;
  file[0] = 0x00;
  const Bytes in = file;
  TimelineState state = rebasingState(1000, 100);
  correctWhole(state, file);
  EXPECT_EQ(file, in);
  EXPECT_EQ(state.outputPcr, 1000);
}

// PCRs compare as unsigned 32-bit values: bytes 6..9 from 80 00 00 00 are bases of 2^32 or more.
TEST(TimelineCorrector, PcrsCompareUnsigned) {
  {
    SCOPED_TRACE("a clock near the 33-bit wrap passes unchanged");
    TimelineState state;
    Bytes first = tsFile({pcrPesPacket(0xFFFF0000, ptsOnly(0x1FFFE0000 + 9000)),
                          pcrPacket(0xFFFF8000), pcrPacket(0xFFFFC000)});
    Bytes second = tsFile({pcrPacket(0xFFFFD000), pcrPacket(0xFFFFE000)});
    const Bytes firstIn = first, secondIn = second;
    correctWhole(state, first);
    correctWhole(state, second);
    EXPECT_EQ(first, firstIn);
    EXPECT_EQ(second, secondIn);
    EXPECT_FALSE(state.rebasing);
    EXPECT_EQ(state.pcrStep, 0x1000);
    EXPECT_EQ(static_cast<std::uint32_t>(state.outputPcr), 0xFFFFE000u);

    // Only the real wrap ends pass-through; the written PCR wraps as well.
    Bytes third = tsFile({pcrPacket(0x00000100), pcrPacket(0x00001100)});
    correctWhole(state, third);
    EXPECT_TRUE(state.rebasing);
    EXPECT_EQ(pcrBits(packetOf(third, 0)), 0xFFFFF000u);
    EXPECT_EQ(pcrBits(packetOf(third, 1)), 0x00000000u);
    EXPECT_EQ(state.ptsBase, 9000);
  }
  {
    SCOPED_TRACE("7F FF FF FF to 80 00 00 00 rises");
    TimelineState state;
    Bytes file = tsFile({pcrPacket(0x7FFFFF00), pcrPacket(0x7FFFFFFF), pcrPacket(0x80000000)});
    const Bytes in = file;
    correctWhole(state, file);
    EXPECT_EQ(file, in);
    EXPECT_FALSE(state.rebasing);
    EXPECT_EQ(state.pcrStep, 1);
  }
  {
    SCOPED_TRACE("a first PCR of zero rebases at once with the step left over");
    TimelineState state;
    Bytes file = tsFile({pcrPesPacket(0, ptsOnly(90000)), pcrPacket(1000)});
    correctWhole(state, file);
    EXPECT_TRUE(state.rebasing);
    EXPECT_EQ(pcrBits(packetOf(file, 0)), 0u);
    EXPECT_EQ(pcrBits(packetOf(file, 1)), 0u);
    EXPECT_EQ(timestampAt(packetOf(file, 0), ptsAfterAdaptation(7)), 9000u);
  }
}

TEST(TimelineCorrector, SumsWrapModulo2To32) {
  {
    SCOPED_TRACE("outputPcr + pcrStep beyond 2^31 - 1");
    TimelineState state;
    Bytes first = tsFile({pcrPacket(0x7FFFFE00), pcrPacket(0x7FFFFF00)});
    Bytes second = tsFile({pcrPesPacket(5, ptsOnly(1000))});
    correctWhole(state, first);
    correctWhole(state, second);
    EXPECT_EQ(pcrBits(packetOf(second, 0)), 0x80000000u);
    EXPECT_EQ(state.outputPcr, -2147483647 - 1);
    // (-2^31 + 4500) * 2 wraps to 9000.
    EXPECT_EQ(state.ptsBase, 9000);
    EXPECT_EQ(timestampAt(packetOf(second, 0), ptsAfterAdaptation(7)), 9000u);
  }
  {
    SCOPED_TRACE("ptsBase once outputPcr + 4500 reaches 2^30");
    TimelineState state = rebasingState((1 << 30) - 4500 - 100, 100);
    // The PTS's bit 32 stays; bits 29..0 of -2^31 are zero.
    Bytes file = tsFile({pcrPesPacket(5, ptsOnly((std::uint64_t{1} << 32) | 1000))});
    correctWhole(state, file);
    EXPECT_EQ(state.ptsBase, -2147483647 - 1);
    EXPECT_EQ(timestampAt(packetOf(file, 0), ptsAfterAdaptation(7)), std::uint64_t{1} << 32);
  }
}

// A file of three whole packets and a last one cut to `length` bytes.
Bytes withShortLast(const Bytes& last, std::size_t length) {
  Bytes file = tsFile({pcrPacket(1), fillerPacket(), fillerPacket()});
  file.insert(file.end(), last.begin(), last.begin() + static_cast<std::ptrdiff_t>(length));
  return file;
}

// A last packet shorter than 188 bytes: each step is taken only when its bytes are there; what
// earlier steps did stands.
TEST(TimelineCorrector, ShortLastPacket) {
  const struct {
    const char* name;
    Bytes packet;
    std::size_t pcrNeeds;    // length from which bytes 6..9 are rebased (0: never)
    std::size_t fieldsNeed;  // length from which the PES fields are rewritten
    std::size_t fieldsLast;  // offset of the last rewritten byte
  } kCases[] = {
      {"PCR and PTS", pcrPesPacket(1, ptsOnly(90000)), 10, 26, 25},
      {"PCR, DTS and PTS together", pcrPesPacket(1, {0xC0, 10, 93600, 90000}), 10, 31, 30},
      {"PES-only", pesPacket(ptsOnly(90000)), 0, 18, 17},
  };
  for (const auto& c : kCases) {
    const Bytes whole = withShortLast(c.packet, kPacket);
    TimelineState wholeState = rebasingState(1000, 100);
    wholeState.lastTimestamp = 7;
    Bytes corrected = whole;
    correctWhole(wholeState, corrected);
    const auto lastOf = [](const Bytes& f) { return std::span(f).subspan(3 * kPacket); };
    for (std::size_t length = 0; length < kPacket; ++length) {
      SCOPED_TRACE(::testing::Message() << c.name << ", last packet of " << length << " bytes");
      Bytes file = withShortLast(c.packet, length);
      TimelineState state = rebasingState(1000, 100);
      state.lastTimestamp = 7;
      correctWhole(state, file);
      Bytes expected(c.packet.begin(), c.packet.begin() + static_cast<std::ptrdiff_t>(length));
      const bool pcr = c.pcrNeeds != 0 && length >= c.pcrNeeds;
      const bool fields = length >= c.fieldsNeed;
      for (std::size_t i = 0; i < length; ++i) {
        if ((pcr && i >= 6 && i <= 9) || (fields && i >= 14 && i <= c.fieldsLast)) {
          expected[i] = lastOf(corrected)[i];
        }
      }
      EXPECT_TRUE(std::ranges::equal(lastOf(file), expected));
      EXPECT_EQ(state.outputPcr, pcr ? wholeState.outputPcr : 1100);
      EXPECT_EQ(state.lastTimestamp, fields ? wholeState.lastTimestamp : 7);
    }
  }
}

// adaptation_field_length that puts PES header fields past the packet's end: the PCR is rebased,
// the header is left alone, and the next packet is never written.
TEST(TimelineCorrector, HeaderFieldsOutsideThePacketAreIgnored) {
  const struct {
    std::uint8_t adaptationLength;
    std::uint8_t flags;
    bool rewritten;
  } kCases[] = {
      {169, 0x80, true},  {170, 0x80, false}, {174, 0x80, false}, {175, 0x80, false},
      {164, 0xC0, true},  {165, 0xC0, false}, {169, 0xC0, false}, {176, 0x80, false},
      {183, 0x80, false}, {255, 0xC0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message()
                 << "A = " << int{c.adaptationLength} << ", flags 0x" << std::hex << int{c.flags});
    // The header as far as it fits into the packet: flags byte at A + 12, length at A + 13, PTS
    // field bytes at A + 14.., DTS field bytes at A + 19...
    Bytes big(2 * kPacket, 0x00);
    putPesHeader(big, std::size_t{c.adaptationLength} + 5,
                 {c.flags, static_cast<std::uint8_t>(c.flags == 0xC0 ? 10 : 5), 93600,
                  c.flags == 0xC0 ? std::optional<std::uint64_t>(90000) : std::nullopt});
    Bytes packet = pcrPacket(1, c.adaptationLength);
    std::copy(big.begin() + 12, big.begin() + kPacket, packet.begin() + 12);
    // The next packet starts with bytes a field spilling over would hit.
    Bytes next = pesPacket(ptsOnly(5000));

    TimelineState state = rebasingState(1000, 100);
    state.lastTimestamp = 7;
    Bytes file = tsFile({packet, next, fillerPacket()});
    const Bytes in = file;
    correctWhole(state, file);

    EXPECT_EQ(pcrBits(packetOf(file, 0)), 1100u);
    EXPECT_EQ(state.ptsBase, 11200);
    const auto header = [](const Bytes& f) { return std::span(f).subspan(12, kPacket - 12); };
    EXPECT_EQ(!std::ranges::equal(header(file), header(in)), c.rewritten);
    // The next packet, PES-only, is placed from the lastTimestamp the first one left: its PTS
    // 5000 becomes ptsBase + 5000 - lastTimestamp, bits 29..0.
    const std::int64_t lastTimestamp = c.rewritten ? (c.flags == 0xC0 ? 90000 : 93600) : 7;
    EXPECT_EQ(timestampAt(packetOf(file, 1), kPesOnlyPts),
              static_cast<std::uint64_t>(11200 + 5000 - lastTimestamp) & 0x3FFFFFFF);
    EXPECT_TRUE(std::ranges::equal(packetOf(file, 1).first(14), packetOf(in, 1).first(14)));
    EXPECT_TRUE(std::ranges::equal(packetOf(file, 1).subspan(18), packetOf(in, 1).subspan(18)));
  }
}

// The merge hands a file over in pieces; corrected piece by piece it must come out as corrected
// whole. A stream of random packets, with drops, PES headers and short or out-of-packet fields,
// cut into files, some of which fail the sync probe.
std::vector<Bytes> randomFiles(std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  std::vector<Bytes> files;
  std::uint32_t pcr = 1000;
  for (int f = 0; f < 8; ++f) {
    Bytes file;
    const std::uint32_t packets = 3 + pick(40);
    if (pick(3) == 0) pcr = pick(2000);  // the clock starts again
    for (std::uint32_t i = 0; i < packets; ++i) {
      pcr += pick(300);
      const std::uint64_t pts = std::uint64_t{pcr} * 2 + pick(20000);
      Bytes p;
      switch (pick(7)) {
        case 0:
          p = fillerPacket();
          break;
        case 1:
          p = pcrPacket(pcr, static_cast<std::uint8_t>(7 + pick(170)));
          break;
        case 2:
          p = pcrPesPacket(pcr, ptsOnly(pts), static_cast<std::uint8_t>(7 + pick(163)));
          break;
        case 3:
          p = pcrPesPacket(pcr, {0xC0, 10, pts + 3600, pts});
          break;
        case 4:
          p = pesPacket(ptsOnly(pts));
          break;
        case 5:
          p = withoutPusi(pcrPacket(pcr / 2));
          break;
        default:
          p = pcrPacket(pcr);
          break;
      }
      file.insert(file.end(), p.begin(), p.end());
    }
    if (pick(3) == 0) file.resize(file.size() - 1 - pick(187));           // a short last packet
    if (pick(5) == 0) file[pick(2) == 0 ? kPacket : 2 * kPacket] = 0x00;  // fails the probe
    files.push_back(std::move(file));
  }
  return files;
}

Bytes correctFiles(std::vector<Bytes> files, std::size_t pieceBytes, TimelineState& state) {
  Bytes out;
  for (Bytes& file : files) {
    for (std::size_t at = 0; at < file.size(); at += pieceBytes) {
      const std::size_t n = std::min(pieceBytes, file.size() - at);
      correctBuffer(state, std::span(file).subspan(at, n), at == 0);
    }
    out.insert(out.end(), file.begin(), file.end());
  }
  return out;
}

TEST(TimelineCorrector, PiecesGiveTheBytesOfTheWholeFile) {
  int corrected = 0;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const std::vector<Bytes> files = randomFiles(seed);
    Bytes input;
    for (const Bytes& f : files) input.insert(input.end(), f.begin(), f.end());
    TimelineState wholeState;
    const Bytes whole = correctFiles(files, SIZE_MAX, wholeState);
    for (const std::size_t pieceBytes : {3 * kPacket, 4 * kPacket, 7 * kPacket, kPieceBytes}) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", pieces of " << pieceBytes);
      TimelineState state;
      EXPECT_EQ(correctFiles(files, pieceBytes, state), whole);
      EXPECT_EQ(carried(state), carried(wholeState));
    }
    corrected += whole != input;
  }
  EXPECT_GE(corrected, 30);  // most streams have something to correct
}

TEST(TimelineCorrector, LaterPiecesOfAFileThatFailsTheProbeAreNotWalked) {
  TimelineState state = rebasingState(1000, 100);
  Bytes file = tsFile({pcrPacket(1), fillerPacket(), fillerPacket(), pcrPesPacket(2, ptsOnly(9)),
                       pcrPacket(3), pcrPacket(4)});
  file[2 * kPacket] = 0x00;
  const Bytes in = file;
  correctBuffer(state, std::span(file).first(3 * kPacket), true);
  correctBuffer(state, std::span(file).subspan(3 * kPacket), false);
  EXPECT_EQ(file, in);
  EXPECT_EQ(state.outputPcr, 1000);

  // The next file is probed afresh.
  Bytes next = tsFile({pcrPacket(1)});
  correctBuffer(state, next, true);
  EXPECT_EQ(pcrBits(packetOf(next, 0)), 1100u);
}

TEST(TimelineCorrector, CorrectsThroughTheRewriterInterface) {
  TimelineState state;
  state.pcrStep = 100;
  TimelineCorrector corrector(state);
  TimestampRewriter& rewriter = corrector;
  rewriter.resetTimelineState();
  Bytes file = tsFile({pcrPacket(0)});
  rewriter.correctBuffer(file, true);
  EXPECT_EQ(pcrBits(packetOf(file, 0)), 100u);
  EXPECT_TRUE(state.rebasing);
  EXPECT_EQ(&corrector.state(), &state);
  rewriter.resetTimelineState();
  EXPECT_FALSE(state.rebasing);
  EXPECT_EQ(state.pcrStep, 100);
}

}  // namespace
}  // namespace tsmerge
