#include "platform/shared/retrace_clock.h"

#include <algorithm>

namespace platform {
namespace {

constexpr Nanoseconds kSecond = 1'000'000'000;
// Presents measured over this many frames decide whether the display paces them.
constexpr int kMeasuredPresents = 16;
// Slower than this share of the refresh counts as paced: real refresh rates are
// reported rounded to whole hertz, while Xvfb's simulated vsync runs at 62.5 Hz.
constexpr double kPacedShare = 0.97;

std::int64_t RetraceAfter(const RetraceClock& clock, Nanoseconds t) {
  return (t - clock.origin) / clock.period + 1;
}

Nanoseconds PeriodOf(int refreshHz) { return kSecond / (refreshHz > 0 ? refreshHz : kDefaultRefreshHz); }

}  // namespace

RetraceClock StartRetraceClock(Nanoseconds now, int refreshHz, int activeLines) {
  RetraceClock clock{};
  clock.origin = now;
  clock.period = PeriodOf(refreshHz);
  clock.activeLines = std::max(activeLines, 1);
  // The blank takes what it takes on a 525-line, 480-visible-line display.
  clock.totalLines = clock.activeLines + std::max(1, (clock.activeLines * 45 + 479) / 480);
  clock.windowStart = now;
  clock.lastPresent = now;
  return clock;
}

Nanoseconds RetraceTime(const RetraceClock& clock, std::int64_t retrace) {
  return clock.origin + retrace * clock.period;
}

void ChangeRefreshRate(RetraceClock& clock, Nanoseconds now, int refreshHz) {
  const Nanoseconds period = PeriodOf(refreshHz);
  if (period == clock.period) return;
  clock.origin = std::max(now, RetraceTime(clock, clock.pendingRetrace));
  clock.pendingRetrace = 0;
  clock.period = period;
  clock.windowStart = now;
  clock.windowPresents = 0;
  clock.lastPresent = now;
}

Nanoseconds ScheduleRetraceFrame(RetraceClock& clock, Nanoseconds now) {
  return clock.pacesFrames ? ScheduleFrame(clock, now) : now;
}

Nanoseconds ScheduleFrame(RetraceClock& clock, Nanoseconds now) {
  const Nanoseconds shownAt = std::max(now, RetraceTime(clock, clock.pendingRetrace));
  clock.pendingRetrace = RetraceAfter(clock, shownAt);
  return shownAt;
}

void NotePresented(RetraceClock& clock, Nanoseconds now) {
  if (clock.pacesFrames) return;
  const Nanoseconds sinceLast = now - clock.lastPresent;
  clock.lastPresent = now;
  if (sinceLast > 2 * clock.period) {
    // A pause (the program was busy or in the background) says nothing about pacing.
    clock.windowStart = now;
    clock.windowPresents = 0;
    return;
  }
  if (++clock.windowPresents < kMeasuredPresents) return;
  const double expected = double(kMeasuredPresents) * double(clock.period);
  if (double(now - clock.windowStart) < kPacedShare * expected) {
    clock.pacesFrames = true;
    clock.pendingRetrace = RetraceAfter(clock, now);
  }
  clock.windowStart = now;
  clock.windowPresents = 0;
}

bool ScanLineAt(const RetraceClock& clock, Nanoseconds now, std::uint32_t* line) {
  const Nanoseconds phase = (now - clock.origin) % clock.period;
  const std::int64_t position = phase * clock.totalLines / clock.period;
  const std::int64_t blankLines = clock.totalLines - clock.activeLines;
  if (position < blankLines) return false;
  *line = static_cast<std::uint32_t>(position - blankLines);
  return true;
}

}  // namespace platform
