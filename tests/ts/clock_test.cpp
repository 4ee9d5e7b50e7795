#include "ts/clock.h"

#include <gtest/gtest.h>

namespace tsmerge {
namespace {

constexpr std::int64_t kM = std::int64_t{1} << 33;  // 8589934592

TEST(ClockTest, WrapTicksReducesIntoTheField) {
  const struct {
    std::int64_t value, expected;
  } kCases[] = {
      {0, 0}, {1, 1}, {kM - 1, kM - 1}, {kM, 0}, {kM + 5, 5}, {-1, kM - 1}, {-kM, 0},
      {-kM - 3, kM - 3}, {3 * kM + 7, 7},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(wrapTicks(c.value), c.expected);
  }
}

TEST(ClockTest, AddTicksWrapsBothWays) {
  const struct {
    std::int64_t clock, delta, expected;
  } kCases[] = {
      {100, 50, 150},
      {kM - 10, 10, 0},            // onto the wrap
      {kM - 10, 25, 15},           // across it
      {5, -10, kM - 5},            // back across it
      {126000, -126000, 0},
      {0, kM, 0},                  // a whole turn is no change
      {7, -3 * kM - 1, 6},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.clock << " + " << c.delta);
    EXPECT_EQ(addTicks(c.clock, c.delta), c.expected);
  }
}

TEST(ClockTest, TickDeltaTakesTheShorterWayRound) {
  const struct {
    std::int64_t later, earlier, expected;
  } kCases[] = {
      {150, 100, 50},
      {100, 150, -50},
      {0, kM - 1, 1},              // a step over the wrap is one tick forward
      {kM - 1, 0, -1},
      {3600, kM - 3600, 7200},
      {kM / 2, 0, -kM / 2},        // exactly half a turn reads as backward
      {kM / 2 - 1, 0, kM / 2 - 1},
      {126000, 270000, -144000},   // a clock that restarted 1.6 s back
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.later << " - " << c.earlier);
    EXPECT_EQ(tickDelta(c.later, c.earlier), c.expected);
    // Adding the difference to the earlier value gives the later one back.
    EXPECT_EQ(addTicks(c.earlier, c.expected), wrapTicks(c.later));
  }
}

TEST(ClockTest, AddPcrTicksCountsTheSystemClock) {
  constexpr std::int64_t kPm = kM * 300;
  const struct {
    std::int64_t pcr, delta, expected;
  } kCases[] = {
      {0, 1, 300},
      {299, 1, 599},                      // the extension stays, the base moves
      {126000 * 300 + 17, 144000, 270000 * 300 + 17},
      {kPm - 1, 1, 299},                  // across the wrap of base × 300 + extension
      {(kM - 2) * 300 + 150, 5, 3 * 300 + 150},
      {300, -1, 0},
      {100, -1, kPm - 200},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.pcr << " + " << c.delta);
    EXPECT_EQ(addPcrTicks(c.pcr, c.delta), c.expected);
  }
}

// The corrector's wrap: the low 32 bits of the sum, read back as signed, whatever the sum.
TEST(ClockTest, Wrap32KeepsTheLow32BitsAsSigned) {
  const struct {
    std::int64_t value;
    std::int32_t expected;
  } kCases[] = {
      {0, 0},
      {2147483647, 2147483647},
      {2147483648, -2147483647 - 1},        // 2^31 wraps to the lowest value
      {4294967295, -1},                     // 2^32 - 1
      {4294967296, 0},                      // 2^32
      {-1, -1},
      {-2147483649, 2147483647},            // one below the lowest wraps to the highest
      {(std::int64_t{1} << 40) + 9000, 9000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(wrap32(c.value), c.expected);
  }
}

}  // namespace
}  // namespace tsmerge
