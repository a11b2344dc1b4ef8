// Why no display could be had, for the one line a program says then: what the X
// server, the Wayland compositor or the KMS device that the environment points at
// answered, in a few words.
#pragma once

#include <string>

namespace platform::sdl {

// Standard error goes to a hidden file while it is held: the libraries behind the
// display write there when a display refuses them (libxcb writes the X server's
// refusal), and the program is to say it in its own line instead.
struct HeldStderr {
  int saved;  // the real standard error, or -1 when it was closed
  int file;
};
HeldStderr HoldStderr();
// Standard error is back; returns what was written meanwhile.
std::string ReleaseStderr(HeldStderr held);

// One line, without a full stop: "DISPLAY=:7 but no X server answers there".
std::string WhyNoDisplay();

}  // namespace platform::sdl
