// Ctrl+C in a terminal, SIGTERM and a hang-up end an interactive program, after the
// display has handed the desktop back. The handler only notes the signal; the display
// backend acts on it at its next call (every frame makes several). Should no call
// come, because the program is busy elsewhere, a backstop ends the process a little
// later all the same, with the same signal.
#pragma once

namespace platform::sdl {

// Installs the handlers; later calls do nothing.
void CatchEndSignals();

// The signal that asked the program to end, or 0.
int PendingEndSignal();

// Ends the process by `signal` as if no handler had been installed, so the shell sees
// the usual status (130 for Ctrl+C).
[[noreturn]] void EndBySignal(int signal);

}  // namespace platform::sdl
