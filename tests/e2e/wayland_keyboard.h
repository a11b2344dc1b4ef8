// The tests' keyboard on a Wayland compositor: a virtual keyboard of its seat
// (zwp_virtual_keyboard_v1), with the default US keymap, typing into whichever window
// the compositor gives the keyboard focus. It is made before the program under test
// starts, so the seat has a keyboard from the program's first look at it.
#pragma once

#include <string>

namespace e2e {

struct WaylandKeyboard;

// Connects to the compositor's socket (a full path) and uploads the keymap; null when
// the compositor refuses or offers no virtual keyboards.
WaylandKeyboard* ConnectKeyboard(const std::string& socketPath);
void DisconnectKeyboard(WaylandKeyboard* keyboard);

// Presses or releases a key by its keysym name ("Escape", "Alt_L", "F4"), with the
// modifiers it changes, as a keyboard would; false when the name has no key or the
// compositor did not take it.
bool PressKey(WaylandKeyboard* keyboard, const std::string& key, bool down);

}  // namespace e2e
