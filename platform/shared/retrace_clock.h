// Our own vertical retrace for displays whose presents do not wait for one (SDL's
// vsync flag is set on paths that do not pace at all, and only simulated under Xvfb).
// Retraces fall at fixed absolute times, origin + n x period, so waiting for one never
// drifts however late a frame comes. Pure arithmetic on nanosecond times; the caller
// supplies the clock.
#pragma once

#include <cstdint>

namespace platform {

using Nanoseconds = std::int64_t;

// Refresh rate used when the display does not tell its own.
constexpr int kDefaultRefreshHz = 60;

struct RetraceClock {
  Nanoseconds origin;  // a retrace: the start of a vertical blank
  Nanoseconds period;
  int activeLines;     // lines the raster draws in one refresh
  int totalLines;      // active lines plus the blank
  // Retrace at which the last paced frame appears; frames presented before it are
  // still pending.
  std::int64_t pendingRetrace;
  // Whether the presents themselves wait for the display. Until measured otherwise
  // they are trusted; once they are seen to come faster than the refresh, this clock
  // paces every frame presented at the retrace.
  bool pacesFrames;
  Nanoseconds windowStart;  // window over which unpaced presents are measured
  int windowPresents;
  Nanoseconds lastPresent;
};

// A clock whose retrace 0 is at `now`; refreshHz <= 0 means unknown.
RetraceClock StartRetraceClock(Nanoseconds now, int refreshHz, int activeLines);

Nanoseconds RetraceTime(const RetraceClock& clock, std::int64_t retrace);

// The display now refreshes at another rate (a monitor switched to another mode, a
// laptop docked): retraces fall at the new period from the one the next frame waits
// for, so no two frames share a refresh across the change, and whether the presents
// wait for the display is measured anew against the new period.
void ChangeRefreshRate(RetraceClock& clock, Nanoseconds now, int refreshHz);

// How long a frame presented at the retrace must wait before it may be shown, and
// books the retrace it appears at. Returns the absolute time to wait for, or `now`
// when it may be shown at once (also whenever the presents themselves are trusted to
// wait).
Nanoseconds ScheduleRetraceFrame(RetraceClock& clock, Nanoseconds now);

// The same for a display that never waits for its retrace, whatever the frame asked
// for: a frame goes out at once unless the one before it has not yet reached its
// retrace, so at most one frame is shown per refresh.
Nanoseconds ScheduleFrame(RetraceClock& clock, Nanoseconds now);

// Feeds the time a frame finished presenting; decides whether this clock must pace.
void NotePresented(RetraceClock& clock, Nanoseconds now);

// The line the raster is on at `now`, or false during the vertical blank.
bool ScanLineAt(const RetraceClock& clock, Nanoseconds now, std::uint32_t* line);

}  // namespace platform
