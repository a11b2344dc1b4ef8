// The display going away under a running program: the X server ends (a log-out, a
// crash, an ssh forwarding that drops), the Wayland compositor ends. Nothing is left
// to hand back, and any further call into the dead connection fails or, in Xlib, ends
// the process through exit, whose handlers then call into the connection once more
// and may spin there for ever. So the program ends at once, from whichever thread
// learns of it first: one line on standard error naming the display, exit status 1
// (as X clients end when their server goes), no exit handler run.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// Takes over Xlib's handler of a broken connection; does nothing off X11. Called once
// SDL's video runs.
void CatchLostDisplay();

// Watches the connection of `window`'s display from a thread of its own, so the end
// comes within moments whatever the program is doing. Later calls do nothing until
// StopWatchingDisplay.
void WatchDisplay(SDL_Window* window);
// An orderly end: the watch stops before the connection is closed.
void StopWatchingDisplay();

// Says "<program>: the display <name> went away" and ends the process with status 1.
[[noreturn]] void EndByLostDisplay(const char* name);

}  // namespace platform::sdl
