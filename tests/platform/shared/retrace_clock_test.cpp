#include "platform/shared/retrace_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

constexpr Nanoseconds kStart = 5'000'000'000;
constexpr Nanoseconds kMs = 1'000'000;

// Presents `count` frames `interval` apart and reports whether the clock took over.
bool PacesAfter(Nanoseconds interval, int count) {
  RetraceClock clock = StartRetraceClock(kStart, 60, 480);
  for (int i = 1; i <= count; ++i) NotePresented(clock, kStart + i * interval);
  return clock.pacesFrames;
}

RetraceClock PacingClock() {
  RetraceClock clock = StartRetraceClock(kStart, 60, 480);
  for (int i = 1; i <= 16; ++i) NotePresented(clock, kStart + i * kMs);
  EXPECT_TRUE(clock.pacesFrames);
  return clock;
}

TEST(RetraceClock, RunsAtTheDisplayRefreshOrSixtyHertzWhenUnknown) {
  struct Case {
    int refreshHz;
    Nanoseconds period;
  };
  for (Case c : std::vector<Case>{{60, 16'666'666}, {0, 16'666'666}, {-1, 16'666'666},
                                  {75, 13'333'333}, {144, 6'944'444}}) {
    EXPECT_EQ(StartRetraceClock(kStart, c.refreshHz, 480).period, c.period) << c.refreshHz;
  }
  EXPECT_EQ(StartRetraceClock(kStart, 60, 480).totalLines, 525);
  EXPECT_GT(StartRetraceClock(kStart, 60, 1).totalLines, 1);
}

TEST(RetraceClock, TakesOverOnlyFromPresentsThatComeFasterThanTheRefresh) {
  struct Case {
    const char* what;
    Nanoseconds interval;
    bool paces;
  };
  for (Case c : std::vector<Case>{
           {"no pacing at all", kMs / 3, true},
           {"vsync simulated in whole milliseconds (62.5 Hz)", 16 * kMs, true},
           {"a display that really waits for its retrace", 16'666'666, false},
           {"a display a little faster than its rounded rate", 16'600'000, false},
           {"a program slower than the refresh", 25 * kMs, false},
       }) {
    EXPECT_EQ(PacesAfter(c.interval, 64), c.paces) << c.what;
  }
  EXPECT_FALSE(PacesAfter(kMs, 15)) << "decided before a whole window was measured";
}

TEST(RetraceClock, APauseInsideTheMeasuringWindowStartsItAnew) {
  RetraceClock clock = StartRetraceClock(kStart, 60, 480);
  Nanoseconds t = kStart;
  for (int i = 0; i < 10; ++i) NotePresented(clock, t += 16 * kMs);
  NotePresented(clock, t += 500 * kMs);  // the program was in the background
  for (int i = 0; i < 15; ++i) NotePresented(clock, t += 16 * kMs);
  EXPECT_FALSE(clock.pacesFrames);
  NotePresented(clock, t += 16 * kMs);
  EXPECT_TRUE(clock.pacesFrames);
}

TEST(RetraceClock, UntrustedPresentsWaitForTheRetraceAtAbsoluteTimesWithoutDrift) {
  RetraceClock clock = PacingClock();
  // A fast program presents again 0.3 ms after each frame was let through; every
  // frame leaves on a retrace of the original grid, one retrace after the other.
  Nanoseconds now = kStart + 16 * kMs;
  const Nanoseconds first = ScheduleRetraceFrame(clock, now);
  EXPECT_GE(first, now);
  for (int frame = 1; frame <= 1000; ++frame) {
    now = ScheduleRetraceFrame(clock, now + kMs * 3 / 10);
    EXPECT_EQ((now - kStart) % clock.period, 0) << frame;
    ASSERT_EQ(now, first + frame * clock.period) << frame;
  }
}

TEST(RetraceClock, ALateFrameIsNotHeldBackAndTheNextWaitsForItsRetrace) {
  RetraceClock clock = PacingClock();
  const Nanoseconds due = ScheduleRetraceFrame(clock, kStart + 16 * kMs);
  // Drawing took one and a half refreshes: the pending frame has long appeared.
  const Nanoseconds late = due + clock.period * 3 / 2;
  EXPECT_EQ(ScheduleRetraceFrame(clock, late), late);
  EXPECT_EQ(ScheduleRetraceFrame(clock, late + kMs), due + 2 * clock.period);
}

TEST(RetraceClock, TrustedPresentsAreNeverHeld) {
  RetraceClock clock = StartRetraceClock(kStart, 60, 480);
  for (Nanoseconds t : {kStart, kStart + 1, kStart + 3 * kMs})
    EXPECT_EQ(ScheduleRetraceFrame(clock, t), t);
}

TEST(RetraceClock, ADisplayThatNeverWaitsShowsAtMostOneFramePerRefreshFromTheFirstFrame) {
  // No measurement first: the first frame goes out at once, each following one at the
  // retrace after the one before it, whether it came 0.3 ms or most of a refresh later.
  RetraceClock clock = StartRetraceClock(kStart, 60, 480);
  const Nanoseconds first = kStart + 5 * kMs;
  EXPECT_EQ(ScheduleFrame(clock, first), first);
  EXPECT_EQ(ScheduleFrame(clock, first + kMs * 3 / 10), kStart + clock.period);
  EXPECT_EQ(ScheduleFrame(clock, kStart + clock.period + 15 * kMs), kStart + 2 * clock.period);
  // A frame that comes after its retrace has passed is not held back.
  const Nanoseconds late = kStart + 4 * clock.period + kMs;
  EXPECT_EQ(ScheduleFrame(clock, late), late);
  EXPECT_FALSE(clock.pacesFrames) << "the measured pacing of retrace frames is left alone";
}

// The display switched to another rate while frames flow: from the change on, frames
// presented as fast as they come go out one per new refresh, the first of them not
// before the frame already booked on the old rate has had its refresh.
TEST(RetraceClock, FramesFollowARefreshRateThatChangesWhileTheyFlow) {
  struct Case {
    int from, to;
  };
  for (Case c : std::vector<Case>{{30, 60}, {60, 30}, {60, 144}, {144, 60}}) {
    SCOPED_TRACE(testing::Message() << c.from << " Hz to " << c.to << " Hz");
    RetraceClock clock = StartRetraceClock(kStart, c.from, 480);
    Nanoseconds now = kStart;
    for (int frame = 0; frame < 10; ++frame) now = ScheduleFrame(clock, now + kMs / 3);
    const Nanoseconds booked = RetraceTime(clock, clock.pendingRetrace);
    ChangeRefreshRate(clock, now + kMs, c.to);
    EXPECT_EQ(clock.period, 1'000'000'000 / c.to);
    Nanoseconds shown = ScheduleFrame(clock, now + 2 * kMs);
    EXPECT_EQ(shown, std::max(booked, now + 2 * kMs));
    for (int frame = 1; frame <= 100; ++frame) {
      const Nanoseconds next = ScheduleFrame(clock, shown + kMs / 3);
      ASSERT_EQ(next - shown, clock.period) << frame;
      shown = next;
    }
  }
}

// A display that paces its presents at 30 Hz, switched to 60 Hz: presents then come
// twice as often, still one per refresh, and the clock goes on trusting them.
TEST(RetraceClock, PresentsPacedAtTheNewRateAreStillTrusted) {
  RetraceClock clock = StartRetraceClock(kStart, 30, 480);
  Nanoseconds t = kStart;
  for (int i = 0; i < 40; ++i) NotePresented(clock, t += clock.period);
  ChangeRefreshRate(clock, t, 60);
  for (int i = 0; i < 40; ++i) NotePresented(clock, t += clock.period);
  EXPECT_FALSE(clock.pacesFrames);
  for (int i = 0; i < 16; ++i) NotePresented(clock, t += kMs);
  EXPECT_TRUE(clock.pacesFrames) << "unpaced presents at the new rate went unnoticed";
}

TEST(RetraceClock, TheScanLineFollowsTheSameClockWithTheBlankAtEachRetrace) {
  const RetraceClock clock = StartRetraceClock(kStart, 60, 480);
  const Nanoseconds linePeriod = clock.period / clock.totalLines;
  struct Case {
    const char* where;
    Nanoseconds at;
    bool drawing;
    std::uint32_t line;
  };
  for (Case c : std::vector<Case>{
           {"at the retrace", kStart, false, 0},
           {"late in the blank", kStart + 44 * linePeriod + linePeriod / 2, false, 0},
           {"the first line", kStart + 45 * linePeriod + linePeriod / 2, true, 0},
           {"line 330, where mode 2 flips", kStart + 375 * linePeriod + linePeriod / 2, true, 330},
           {"the last line", kStart + clock.period - 1, true, 479},
           {"the next retrace", kStart + clock.period, false, 0},
           {"a thousand refreshes on", kStart + 1000 * clock.period + 45 * linePeriod + linePeriod / 2,
            true, 0},
       }) {
    std::uint32_t line = 9999;
    EXPECT_EQ(ScanLineAt(clock, c.at, &line), c.drawing) << c.where;
    if (c.drawing) {
      EXPECT_EQ(line, c.line) << c.where;
    }
  }
}

}  // namespace
}  // namespace platform
