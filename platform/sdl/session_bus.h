// SDL's video start opens a connection to the session bus (D-Bus, for input methods
// and the screen saver) and waits for the bus to answer with no time limit: a bus that
// accepts connections and never answers (a stopped dbus-daemon) would hold the program
// before its window for good. The bus is asked first, with a limit.
#pragma once

namespace platform::sdl {

// When the session bus (the one DBUS_SESSION_BUS_ADDRESS names, else the user's in
// XDG_RUNTIME_DIR) does not answer within a second and a half, points
// DBUS_SESSION_BUS_ADDRESS at an address that refuses at once, so the program starts
// without a bus, as on a machine that has none.
void SkipSilentSessionBus();

}  // namespace platform::sdl
