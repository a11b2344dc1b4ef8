// What the end-to-end tests need to run a program under a real Wayland compositor: a
// private sway, headless and drawing on the processor, with one output of a given size;
// screenshots of that output as `grim` takes them; and sway's own commands, as a user
// gives them through `swaymsg`. The child processes are x_session.h's.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/e2e/x_session.h"

namespace e2e {

struct Compositor {
  Child process;
  std::string runtimeDir;  // XDG_RUNTIME_DIR of the compositor and its clients
  std::string socket;      // WAYLAND_DISPLAY, the socket's name in runtimeDir
  XServer x;               // weston's: the X server its output is a window on
};

// The programs a compositor needs here that are missing ("sway, grim"), or empty.
std::string MissingWaylandTools();
// The same for weston.
std::string MissingWestonTools();

// Starts sway with its output of width x height pixels, shown at `scale` (2: a HiDPI
// panel, whose clients count in logical pixels of 2 x 2), as the unprivileged user
// nobody when the tests run as root (sway refuses root). False, with what sway said in
// `log`, when the output cannot be shot within the limit.
bool StartCompositor(Compositor* compositor, int width, int height, milliseconds limit, std::string* log,
                     int scale = 1);
// Starts weston on a private Xvfb (its X11 backend, drawing on the processor) with one
// output of width x height pixels at `scale`, its window covering the X server's
// screen: weston has no virtual keyboard, so the tests type through XTest on that X
// server, and screenshots are of its root window. False, with weston's log, when its
// desktop is not drawn within the limit.
bool StartWeston(Compositor* compositor, int width, int height, int scale, milliseconds limit, std::string* log);
// Ends it (either compositor) and removes its runtime folder.
void StopCompositor(Compositor* compositor);

std::string SocketPath(const Compositor& compositor);
// A client's environment: the compositor's runtime folder and socket, and no X display.
std::vector<std::string> ClientEnvironment(const Compositor& compositor);

// Has sway carry out a command, e.g. "[pid=42] kill"; false when it did not.
bool SwayCommand(const Compositor& compositor, const std::string& command);
// Whether sway gives the keyboard focus to a window of the process.
bool HasKeyboardFocus(const Compositor& compositor, pid_t pid);

// Parses a binary portable pixmap (P6) of 8 bits a channel.
bool ParsePpm(const std::vector<unsigned char>& bytes, Screenshot* shot, std::string* error);
// The compositor's output, as grim shoots it, with the cursor drawn in or not.
bool TakeScreenshot(const Compositor& compositor, Screenshot* shot, std::string* error, bool withCursor = false);

}  // namespace e2e
