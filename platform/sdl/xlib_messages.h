// Xlib's own lines on standard error, which would stand beside the program's.
#pragma once

namespace platform::sdl {

// An X server without an extension SDL asks after (RANDR, on some VNC servers) is no
// fault: SDL goes on without it, and Xlib says nothing of it.
void QuietMissingExtensions();

}  // namespace platform::sdl
